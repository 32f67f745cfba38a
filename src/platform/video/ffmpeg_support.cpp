#include "platform/video/ffmpeg_support.h"

#include <cerrno>
#include <mutex>

extern "C" {
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

}  // namespace

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

FormatPtr OpenInput(const std::filesystem::path& path) {
  QuietFfmpegLog();
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  av_dict_set(&options, "format_whitelist", kAllowedDemuxers, 0);

  // "file:" keeps a name with a colon in it from being taken for a protocol.
  const std::string url = "file:" + path.string();
  AVFormatContext* raw = nullptr;
  int ret = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (ret < 0) {
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

}  // namespace detail

const char* AllowedDemuxers() { return detail::kAllowedDemuxers; }
}  // namespace mirelo::video
