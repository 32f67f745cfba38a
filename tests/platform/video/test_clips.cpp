#include "platform/video/test_clips.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace mirelo::test {

namespace {

// Grey level of one digit: inside the limited video range, 28 levels apart so that coding
// noise cannot move a digit.
constexpr int kDigitBase = 24;
constexpr int kDigitStep = 28;

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Average red level of a block around (x, y).
double BlockLevel(const imaging::Image& image, int cx, int cy) {
  double sum = 0;
  int count = 0;
  for (int y = cy - 3; y <= cy + 3; ++y) {
    for (int x = cx - 3; x <= cx + 3; ++x) {
      sum += image.row(y)[x * 3];
      ++count;
    }
  }
  return sum / count;
}

int Digit(double rgbLevel) {
  const double luma = rgbLevel * 219.0 / 255.0 + 16.0;  // back to the video range
  const double digit = (luma - kDigitBase) / kDigitStep;
  const int rounded = static_cast<int>(std::lround(digit));
  if (std::abs(digit - rounded) > 0.4 || rounded < 0 || rounded > 7) return -1;
  return rounded;
}

// Gives the video track header of an MP4/MOV file a transposing display matrix.
void TransposeTrack(const std::filesystem::path& path) {
  std::string data;
  {
    std::ifstream in(path, std::ios::binary);
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const auto word = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 3]));
  };
  bool patched = false;
  for (std::size_t at = data.find("tkhd"); at != std::string::npos; at = data.find("tkhd", at + 4)) {
    // Version 1 headers hold 64-bit times and duration.
    const std::size_t matrix = at + (data[at + 4] == 1 ? 56 : 44);
    if (matrix + 44 > data.size() || word(matrix + 36) == 0) continue;  // no picture: an audio track
    const std::uint32_t transpose[9] = {0, 0x10000, 0, 0x10000, 0, 0, 0, 0, 0x40000000};
    for (int i = 0; i < 9; ++i) {
      for (int b = 0; b < 4; ++b) data[matrix + 4 * i + b] = static_cast<char>(transpose[i] >> (24 - 8 * b));
    }
    patched = true;
  }
  if (!patched) throw std::runtime_error("no video track header in " + path.string());
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// The stored picture back from a shown one: the shown picture was mirrored, then turned clockwise.
imaging::Image Stored(const imaging::Image& shown, const ClipKind& kind) {
  const bool quarter = kind.rotation == 90 || kind.rotation == 270;
  const int w = quarter ? shown.height : shown.width;
  const int h = quarter ? shown.width : shown.height;
  imaging::Image stored = imaging::Image::blank(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int mx = kind.mirrored ? w - 1 - x : x;
      int sx = mx;
      int sy = y;
      if (kind.rotation == 90) {
        sx = h - 1 - y;
        sy = mx;
      } else if (kind.rotation == 180) {
        sx = w - 1 - mx;
        sy = h - 1 - y;
      } else if (kind.rotation == 270) {
        sx = y;
        sy = w - 1 - mx;
      }
      for (int c = 0; c < 3; ++c) stored.row(y)[x * 3 + c] = shown.row(sy)[sx * 3 + c];
    }
  }
  return stored;
}

}  // namespace

void PrintTo(const ClipKind& kind, std::ostream* out) { *out << kind.file; }

const std::vector<ClipKind>& ContainerClips() {
  const std::string kH264 =
      "-c:v libx264 -preset veryfast -crf 10 -g 50 -bf 3 -x264-params scenecut=0 -pix_fmt yuv420p";
  const std::string kHdrHevc = "-c:v libx265 -preset veryfast -pix_fmt yuv420p10le "
                               "-x265-params log-level=error:keyint=50:min-keyint=50:scenecut=0:bframes=3:";
  static const std::vector<ClipKind> kinds = {
      {"mpeg4.avi", "-c:v mpeg4 -q:v 2 -g 50 -sc_threshold 1000000000", "-c:a mp2 -b:a 64k"},
      {"mjpeg.avi", "-c:v mjpeg -q:v 2", ""},
      // AVI keeps no presentation times: with B-frames the frames have to be timed another way.
      // (No audio: the muxer would delay the video by a frame that ffprobe cannot report.)
      {.file = "bframes.avi",
       .videoArgs = "-c:v mpeg4 -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000",
       .bFrames = true,
       .decodesAll = true},
      {.file = "h264.avi", .videoArgs = kH264, .bFrames = true, .decodesAll = true},
      // Packets of 256 bytes give every one of these tiny frames its own time stamp, as the frames
      // of real program streams have; with several frames in one packet FFmpeg's demuxer times
      // frames after a seek differently than when reading from the start.
      {"mpeg1.mpg", "-c:v mpeg1video -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000 -f mpeg -packetsize 256", "-c:a mp2 -b:a 64k", true},
      {"mpeg2.mpeg", "-c:v mpeg2video -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000 -f vob -packetsize 256", "-c:a mp2 -b:a 64k", true},
      {"wmv2.wmv", "-c:v wmv2 -q:v 2 -g 50 -sc_threshold 1000000000", "-c:a wmav2 -b:a 64k"},
      {"wmv1.asf", "-c:v wmv1 -q:v 2 -g 50 -sc_threshold 1000000000", "-c:a wmav2 -b:a 64k"},
      {"flv1.flv", "-c:v flv -q:v 2 -g 50 -sc_threshold 1000000000", "-c:a libmp3lame -b:a 64k"},
      {"h264.flv", "-c:v libx264 -preset veryfast -crf 10 -g 50 -bf 3 -x264-params scenecut=0 -pix_fmt yuv420p",
       "-c:a libmp3lame -b:a 64k", true},
      // Today's containers.
      {"h264.mp4", kH264, "-c:a aac -b:a 64k", true},
      {"mpeg4.m4v", "-c:v mpeg4 -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000 -f mp4", "-c:a aac -b:a 64k", true},
      {"h264.mov", kH264, "-c:a aac -b:a 64k", true},
      {"h264.mkv", kH264, "-c:a libvorbis", true},
      {"vp9.webm", "-c:v libvpx-vp9 -crf 4 -b:v 0 -g 50 -deadline realtime -cpu-used 8", "-c:a libopus -b:a 32k"},
      {"mpeg4.3gp", "-c:v mpeg4 -q:v 2 -g 50 -sc_threshold 1000000000", "-c:a aac -b:a 32k"},
      {"theora.ogv", "-c:v libtheora -q:v 9 -g 50", "-c:a libvorbis"},
      // Small packs for the reason given at mpeg1.mpg: DVD frames are far larger than a pack.
      {"mpeg2.vob", "-c:v mpeg2video -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000 -f vob -packetsize 256",
       "-c:a ac3 -b:a 64k", true},
      // MPEG-TS starts at 1.4 s; this M2TS (192-byte packets) ten minutes later.
      {"mpeg2.ts", "-c:v mpeg2video -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000 -f mpegts", "-c:a mp2 -b:a 64k", true},
      {"h264.m2ts", kH264 + " -f mpegts -mpegts_m2ts_mode 1 -output_ts_offset 600", "-c:a ac3 -b:a 64k", true},
      // Phone clips: a display matrix (rotate=90 is a quarter turn counter-clockwise), a mirror
      // image, and pixels that are not square.
      {.file = "turned90.mp4", .videoArgs = kH264, .audioArgs = "-c:a aac", .bFrames = true, .rotation = 270,
       .copyArgs = "-metadata:s:v:0 rotate=90"},
      {.file = "turned180.mov", .videoArgs = kH264, .bFrames = true, .rotation = 180,
       .copyArgs = "-metadata:s:v:0 rotate=180"},
      {.file = "turned270.mov", .videoArgs = "-c:v mpeg4 -q:v 2 -g 50", .rotation = 90,
       .copyArgs = "-metadata:s:v:0 rotate=270"},
      {.file = "transposed.mov", .videoArgs = kH264, .bFrames = true, .rotation = 270, .mirrored = true,
       .transposed = true},
      {.file = "anamorphic.mp4", .videoArgs = kH264 + " -vf setsar=32/27", .bFrames = true, .shownWidth = 75,
       .shownHeight = 48},
      {.file = "tall.mkv", .videoArgs = kH264 + " -vf setsar=8/9", .bFrames = true, .shownWidth = 64,
       .shownHeight = 54},
      {.file = "anamorphic270.mp4", .videoArgs = kH264 + " -vf setsar=32/27", .bFrames = true, .rotation = 270,
       .shownWidth = 48, .shownHeight = 75, .copyArgs = "-metadata:s:v:0 rotate=90"},
      // Phone HDR: 10-bit HEVC tagged HLG (as phones film) and PQ (HDR10), both with BT.2020 primaries.
      {"hlg.mov",
       kHdrHevc + "colorprim=bt2020:transfer=arib-std-b67:colormatrix=bt2020nc -color_primaries bt2020 "
                  "-color_trc arib-std-b67 -colorspace bt2020nc -tag:v hvc1",
       "-c:a aac", true},
      {"pq.mkv",
       kHdrHevc + "colorprim=bt2020:transfer=smpte2084:colormatrix=bt2020nc -color_primaries bt2020 "
                  "-color_trc smpte2084 -colorspace bt2020nc",
       "", true},
  };
  return kinds;
}

const std::vector<ClipKind>& CodecClips() {
  const std::string kHevc = "-c:v libx265 -preset veryfast -pix_fmt yuv420p "
                            "-x265-params log-level=error:keyint=50:min-keyint=50:scenecut=0:bframes=3";
  static const std::vector<ClipKind> kinds = {
      {"hevc.mp4", kHevc + " -tag:v hvc1", "-c:a aac -b:a 64k", true},
      {"hevc.ts", kHevc + " -f mpegts", "-c:a mp2 -b:a 64k", true},
      // Unreferenced B-frames in a second temporal sub-layer.
      {.file = "hevc_layers.mkv",
       .videoArgs = kHevc + ":temporal-layers=1",
       .bFrames = true,
       .decodesAll = true},
      {"av1.mkv", "-c:v libaom-av1 -cpu-used 8 -g 50 -pix_fmt yuv420p", "-c:a libopus -b:a 32k"},
      // A raw stream: the parser times packets in decoding order.
      {.file = "raw.h264",
       .videoArgs = "-c:v libx264 -preset veryfast -crf 10 -g 50 -bf 3 -x264-params scenecut=0 "
                    "-pix_fmt yuv420p -f h264",
       .bFrames = true,
       .decodesAll = true},
  };
  return kinds;
}

void RunFfmpeg(const std::string& arguments) {
  const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments;
  if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
}

std::filesystem::path MakeCounterClip(const std::filesystem::path& folder, const ClipKind& kind, int width,
                                      int height) {
  const std::filesystem::path path = folder / kind.file;
  const std::string digit = std::to_string(kDigitBase) + "+" + std::to_string(kDigitStep) + "*";
  const std::string luma = "if(lt(X,W/3)," + digit + "mod(N,8),if(lt(X,2*W/3)," + digit + "mod(floor(N/8),8)," +
                           digit + "floor(N/64)))";
  const std::string video = "color=c=black:s=" + std::to_string(width) + "x" + std::to_string(height) +
                            ":r=" + std::to_string(kClipFps) + ":d=" + std::to_string(kClipFrames / kClipFps) +
                            ",format=yuv420p,geq=lum='" + luma + "':cb=128:cr=128";
  std::string arguments = "-f lavfi -i " + Quote(video);
  if (!kind.audioArgs.empty()) {
    arguments += " -f lavfi -i " + Quote("sine=frequency=440:sample_rate=22050:duration=" +
                                         std::to_string(kClipFrames / kClipFps));
  }
  arguments += " " + kind.videoArgs;
  if (!kind.audioArgs.empty()) arguments += " " + kind.audioArgs + " -ac 1";
  const std::filesystem::path encoded = kind.copyArgs.empty() ? path : folder / ("encoded_" + kind.file);
  arguments += " " + Quote(encoded.string());
  RunFfmpeg(arguments);
  if (!kind.copyArgs.empty()) {
    RunFfmpeg("-i " + Quote(encoded.string()) + " -map 0 -c copy " + kind.copyArgs + " " + Quote(path.string()));
    std::filesystem::remove(encoded);
  }
  if (kind.transposed) TransposeTrack(path);
  return path;
}

std::filesystem::path CachedCounterClip(const ClipKind& kind) {
  // Bump the number when the recipe of the clips changes.
  const std::filesystem::path folder = std::filesystem::path(MIRELO_BINARY_DIR) / "test-clips" / "video-4";
  const std::filesystem::path path = folder / kind.file;
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(folder);
  ClipKind privateKind = kind;
  privateKind.file = "tmp" + std::to_string(::getpid()) + "_" + kind.file;
  const std::filesystem::path made = MakeCounterClip(folder, privateKind);
  std::filesystem::rename(made, path);
  return path;
}

void CopyPrefix(const std::filesystem::path& source, const std::filesystem::path& target, std::uintmax_t bytes) {
  std::ifstream in(source, std::ios::binary);
  std::string data(static_cast<std::size_t>(bytes), '\0');
  in.read(data.data(), static_cast<std::streamsize>(bytes));
  data.resize(static_cast<std::size_t>(in.gcount()));
  std::ofstream(target, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

int CounterIndex(const imaging::Image& image) {
  if (image.format != imaging::PixelFormat::Rgb24 || image.width < 16 || image.height < 8) return -1;
  int index = 0;
  for (int stripe = 2; stripe >= 0; --stripe) {
    const int digit = Digit(BlockLevel(image, image.width * (2 * stripe + 1) / 6, image.height / 2));
    if (digit < 0) return -1;
    index = index * 8 + digit;
  }
  return index;
}

int CounterIndex(const imaging::Image& shown, const ClipKind& kind) {
  if (shown.format != imaging::PixelFormat::Rgb24) return -1;
  return CounterIndex(kind.rotation == 0 && !kind.mirrored ? shown : Stored(shown, kind));
}

imaging::Size ShownSize(const ClipKind& kind) {
  if (kind.shownWidth > 0) return {kind.shownWidth, kind.shownHeight};
  if (kind.rotation == 90 || kind.rotation == 270) return {kClipHeight, kClipWidth};
  return {kClipWidth, kClipHeight};
}

double VideoLead(const std::filesystem::path& clip) {
  const std::string command = "ffprobe -v error -select_streams v:0 -show_entries format=start_time:stream=start_time "
                              "-of default=noprint_wrappers=1 " + Quote(clip.string());
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("ffprobe failed");
  // The stream's start comes first, the format's last.
  std::vector<double> starts;
  char line[256];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string text = line;
    if (text.rfind("start_time=", 0) == 0) starts.push_back(std::atof(text.c_str() + 11));
  }
  ::pclose(pipe);
  // MPEG-TS lists the stream once more under its program.
  if (starts.size() < 2) throw std::runtime_error("ffprobe gave no start times for " + clip.string());
  return starts.front() - starts.back();
}

int ExpectedIndex(double seconds, double lead) {
  const int index = static_cast<int>(std::floor((seconds - lead) * kClipFps + 1e-9));
  return std::clamp(index, 0, kClipFrames - 1);
}

}  // namespace mirelo::test
