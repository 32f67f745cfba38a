#include "platform/video/media_probe.h"

#include <cmath>

extern "C" {
#include <libavutil/display.h>
}

#include "platform/video/ffmpeg_support.h"

namespace mirelo::video {

namespace {

double Seconds(std::int64_t value, AVRational timeBase) {
  return static_cast<double>(value) * av_q2d(timeBase);
}

int RotationOf(const AVStream* stream) {
  const auto* matrix =
      reinterpret_cast<const std::int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
  if (!matrix) return 0;
  // av_display_rotation_get counts counter-clockwise; players rotate clockwise by the opposite.
  const double angle = -av_display_rotation_get(matrix);
  if (std::isnan(angle)) return 0;
  const long quarter = std::lround(angle / 90.0);
  return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

MediaInfo Probe(const detail::Input& input) {
  detail::FormatPtr format = detail::OpenInput(input);
  MediaInfo info;
  info.hasAudio = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
  if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
    info.duration = static_cast<double>(format->duration) / AV_TIME_BASE;
  }

  const int index = detail::FindVideoStream(format.get());
  if (index < 0) return info;
  const AVStream* stream = format->streams[index];
  const AVCodecParameters* parameters = stream->codecpar;
  info.hasVideo = true;
  info.decoderAvailable = avcodec_find_decoder(parameters->codec_id) != nullptr;
  info.width = parameters->width;
  info.height = parameters->height;

  AVRational aspect = stream->sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = parameters->sample_aspect_ratio;
  if (aspect.num > 0 && aspect.den > 0) {
    av_reduce(&info.sampleAspectNum, &info.sampleAspectDen, aspect.num, aspect.den, 1 << 30);
  }

  if (info.duration == 0.0 && stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    info.duration = Seconds(stream->duration, stream->time_base);
  }

  AVRational rate = stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) {
    info.frameRate = av_q2d(rate);
    info.frameDuration = av_q2d(av_inv_q(rate));
  }
  info.rotation = RotationOf(stream);
  return info;
}

}  // namespace

MediaInfo ProbeMedia(const std::filesystem::path& path) { return Probe(detail::Input::File(path)); }

MediaInfo ProbeMedia(std::span<const std::uint8_t> bytes) { return Probe(detail::Input::Memory(bytes)); }

}  // namespace mirelo::video
