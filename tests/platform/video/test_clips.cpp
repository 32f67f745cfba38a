#include "platform/video/test_clips.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

}  // namespace

void PrintTo(const ClipKind& kind, std::ostream* out) { *out << kind.file; }

const std::vector<ClipKind>& ContainerClips() {
  static const std::vector<ClipKind> kinds = {
      {"mpeg4.avi", "-c:v mpeg4 -q:v 2 -g 50 -sc_threshold 1000000000", "-c:a mp2 -b:a 64k"},
      {"mjpeg.avi", "-c:v mjpeg -q:v 2", ""},
      // AVI keeps no presentation times: with B-frames the frames have to be timed another way.
      // (No audio: the muxer would delay the video by a frame that ffprobe cannot report.)
      {"bframes.avi", "-c:v mpeg4 -q:v 2 -g 50 -bf 2 -sc_threshold 1000000000", "", true},
      {"h264.avi", "-c:v libx264 -preset veryfast -crf 10 -g 50 -bf 3 -x264-params scenecut=0 -pix_fmt yuv420p", "",
       true},
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
  arguments += " " + Quote(path.string());
  RunFfmpeg(arguments);
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

double VideoLead(const std::filesystem::path& clip) {
  const std::string command = "ffprobe -v error -select_streams v:0 -show_entries format=start_time:stream=start_time "
                              "-of default=noprint_wrappers=1 " + Quote(clip.string());
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("ffprobe failed");
  // The stream's start comes first, then the format's.
  std::vector<double> starts;
  char line[256];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string text = line;
    if (text.rfind("start_time=", 0) == 0) starts.push_back(std::atof(text.c_str() + 11));
  }
  ::pclose(pipe);
  if (starts.size() != 2) throw std::runtime_error("ffprobe gave no start times for " + clip.string());
  return starts[0] - starts[1];
}

int ExpectedIndex(double seconds, double lead) {
  const int index = static_cast<int>(std::floor((seconds - lead) * kClipFps + 1e-9));
  return std::clamp(index, 0, kClipFrames - 1);
}

}  // namespace mirelo::test
