#include "platform/video/ffmpeg_support.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/log.h>
}

#include "platform/error.h"
#include "platform/video/media_probe.h"
#include "platform/video/video_errors.h"

namespace mirelo::video {

void QuietFfmpegLog() {
  static std::once_flag once;
  // The CLI's stderr carries the error log lines; FFmpeg's own complaints about damaged clips
  // would drown them. Failures reach the user through our error numbers instead.
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

namespace detail {

namespace {

// Demuxers of real media containers and plain audio files. Probing picks the demuxer by content,
// so a clip stored under the wrong extension still opens; what is left out are the demuxers that
// open further files or URLs (playlists, concat scripts, image sequences) and text formats.
constexpr const char* kAllowedDemuxers =
    "avi,mpeg,mpegts,mpegvideo,asf,flv,live_flv,mov,matroska,ogg,rm,nut,h261,h263,h264,hevc,m4v,"
    "mjpeg,dv,ivf,yuv4mpegpipe,vc1,cavsvideo,mp3,aac,ac3,eac3,wav,w64,flac,au,aiff,amr,wv,ape,"
    "mpc,mpc8,tta,dts,truehd,mlp,xwma,voc,caf,gsm";

// Read position in a clip held in memory; the opaque pointer of its AVIOContext.
struct MemoryReader {
  std::span<const std::uint8_t> bytes;
  std::size_t position = 0;
};

int ReadMemory(void* opaque, std::uint8_t* buffer, int size) {
  auto* reader = static_cast<MemoryReader*>(opaque);
  const std::size_t left = reader->bytes.size() - reader->position;
  if (left == 0) return AVERROR_EOF;
  const std::size_t count = std::min(left, static_cast<std::size_t>(std::max(size, 0)));
  std::memcpy(buffer, reader->bytes.data() + reader->position, count);
  reader->position += count;
  return static_cast<int>(count);
}

std::int64_t SeekMemory(void* opaque, std::int64_t offset, int whence) {
  auto* reader = static_cast<MemoryReader*>(opaque);
  const auto size = static_cast<std::int64_t>(reader->bytes.size());
  if ((whence & ~AVSEEK_FORCE) == AVSEEK_SIZE) return size;
  std::int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<std::int64_t>(reader->position); break;
    case SEEK_END: base = size; break;
    default: return AVERROR(EINVAL);
  }
  // Offsets come from the file's own fields: compare before adding so nothing overflows.
  if (offset < -base || offset > size - base) return AVERROR(EINVAL);
  reader->position = static_cast<std::size_t>(base + offset);
  return base + offset;
}

void FreeMemoryIo(AVIOContext* io) {
  if (!io) return;
  delete static_cast<MemoryReader*>(io->opaque);
  av_freep(&io->buffer);
  avio_context_free(&io);
}

AVIOContext* MakeMemoryIo(const Input& input) {
  constexpr int kBufferSize = 32 * 1024;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
  if (!buffer) Fail(err::kOutOfMemory, "out of memory (reader)", input.path);
  auto* reader = new MemoryReader{input.bytes};
  AVIOContext* io = avio_alloc_context(buffer, kBufferSize, 0, reader, ReadMemory, nullptr, SeekMemory);
  if (!io) {
    delete reader;
    av_free(buffer);
    Fail(err::kOutOfMemory, "out of memory (reader)", input.path);
  }
  return io;
}

}  // namespace

void FormatCloser::operator()(AVFormatContext* context) const {
  if (!context) return;
  AVIOContext* custom = (context->flags & AVFMT_FLAG_CUSTOM_IO) ? context->pb : nullptr;
  avformat_close_input(&context);
  FreeMemoryIo(custom);
}

FramePtr MakeFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw Error(err::kOutOfMemory, "out of memory (frame)");
  return frame;
}

PacketPtr MakePacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw Error(err::kOutOfMemory, "out of memory (packet)");
  return packet;
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return "error " + std::to_string(code);
  return text;
}

void Fail(std::int32_t number, const std::string& what, const std::filesystem::path& path, int ffmpegCode) {
  std::string message = what + ": " + path.string();
  if (ffmpegCode != 0) message += " (" + ErrorText(ffmpegCode) + ")";
  throw Error(number, message);
}

std::int32_t OpenErrorNumber(int ffmpegCode) {
  switch (ffmpegCode) {
    case AVERROR(ENOENT):
    case AVERROR(ENOTDIR):
      return err::kFileNotFound;
    case AVERROR(EACCES):
    case AVERROR(EPERM):
    case AVERROR(EISDIR):
      return err::kAccessDenied;
    case AVERROR(ENOMEM):
      return err::kOutOfMemory;
    case AVERROR(EIO):
      return err::kReadFault;
    default:
      return err::kUnsupportedFormat;
  }
}

FormatPtr OpenInput(const Input& input) {
  QuietFfmpegLog();
  const std::filesystem::path& path = input.path;
  AVDictionary* options = nullptr;
  // From memory no protocol is needed at all; "none" names no protocol, so a demuxer that tries
  // to open a further file or URL fails.
  av_dict_set(&options, "protocol_whitelist", input.inMemory ? "none" : "file", 0);
  av_dict_set(&options, "format_whitelist", kAllowedDemuxers, 0);

  AVFormatContext* raw = nullptr;
  AVIOContext* io = nullptr;
  std::string url;
  if (input.inMemory) {
    raw = avformat_alloc_context();
    if (!raw) {
      av_dict_free(&options);
      Fail(err::kOutOfMemory, "out of memory (format)", path);
    }
    try {
      io = MakeMemoryIo(input);
    } catch (...) {
      avformat_free_context(raw);
      av_dict_free(&options);
      throw;
    }
    raw->pb = io;
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  } else {
    // "file:" keeps a name with a colon in it from being taken for a protocol.
    url = "file:" + path.string();
  }
  int ret = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (ret < 0) {
    // On failure FFmpeg has freed the format context but not our reader.
    FreeMemoryIo(io);
    // A demuxer outside the allowed list reports EINVAL: the file is not media we read.
    Fail(OpenErrorNumber(ret), "cannot open as media", path, ret);
  }
  FormatPtr format(raw);
  ret = avformat_find_stream_info(format.get(), nullptr);
  if (ret < 0) Fail(OpenErrorNumber(ret), "cannot read the stream headers", path, ret);
  return format;
}

int FindVideoStream(AVFormatContext* format) {
  int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (best >= 0 && !(format->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC)) return best;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

Orientation OrientationOf(const AVStream* stream) {
  std::size_t size = 0;
  const auto* matrix =
      reinterpret_cast<const std::int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size));
  if (!matrix || size < 9 * sizeof(std::int32_t)) return {};
  // The matrix maps a stored point (p, q), y down, to (a p + c q, b p + d q) on screen (16.16
  // fixed point). Written as "mirror left to right, then turn clockwise": with the mirror taken
  // off, what is left is a rotation whose first column gives its angle. Counting clockwise in
  // y-down coordinates is the opposite sign of av_display_rotation_get's counter-clockwise one
  // (a "rotate=90" clip is shown turned 90 degrees counter-clockwise, 270 clockwise).
  const double a = matrix[0] / 65536.0;
  const double b = matrix[1] / 65536.0;
  const double c = matrix[3] / 65536.0;
  const double d = matrix[4] / 65536.0;
  const double determinant = a * d - b * c;
  if (!std::isfinite(determinant) || std::fabs(determinant) < 1e-6) return {};
  Orientation orientation;
  orientation.mirrored = determinant < 0;
  // Mirroring first negates the first column: the rotation's first column is (-a, -b) then.
  const double x = orientation.mirrored ? -a : a;
  const double y = orientation.mirrored ? -b : b;
  const double degrees = std::atan2(y, x) * 180.0 / std::numbers::pi;
  const long quarter = std::lround(degrees / 90.0);
  orientation.rotation = static_cast<int>(((quarter % 4) + 4) % 4) * 90;
  return orientation;
}

AVRational SampleAspectOf(const AVStream* stream, AVRational bitstream) {
  AVRational aspect = stream->sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = bitstream;
  if (aspect.num <= 0 || aspect.den <= 0) return {1, 1};
  AVRational reduced{1, 1};
  av_reduce(&reduced.num, &reduced.den, aspect.num, aspect.den, 1 << 30);
  if (reduced.num <= 0 || reduced.den <= 0) return {1, 1};
  return reduced;
}

ShownSize ShownSizeOf(int width, int height, AVRational sampleAspect, int rotation) {
  std::int64_t shownWidth = width;
  std::int64_t shownHeight = height;
  // Sides and ratio terms are below 2^31, so the products fit 64 bits.
  if (sampleAspect.num > sampleAspect.den && sampleAspect.den > 0) {
    shownWidth = shownWidth * sampleAspect.num / sampleAspect.den;
  } else if (sampleAspect.den > sampleAspect.num && sampleAspect.num > 0) {
    shownHeight = shownHeight * sampleAspect.den / sampleAspect.num;
  }
  const auto side = [](std::int64_t value) { return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX)); };
  if (rotation == 90 || rotation == 270) return {side(shownHeight), side(shownWidth)};
  return {side(shownWidth), side(shownHeight)};
}

}  // namespace detail

const char* AllowedDemuxers() { return detail::kAllowedDemuxers; }
}  // namespace mirelo::video
