#include "platform/video/media_probe.h"

#include "platform/video/ffmpeg_support.h"

namespace mirelo::video {

namespace {

double Seconds(std::int64_t value, AVRational timeBase) {
  return static_cast<double>(value) * av_q2d(timeBase);
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

  const AVRational aspect = detail::SampleAspectOf(stream, parameters->sample_aspect_ratio);
  info.sampleAspectNum = aspect.num;
  info.sampleAspectDen = aspect.den;
  const detail::Orientation orientation = detail::OrientationOf(stream);
  info.rotation = orientation.rotation;
  info.mirrored = orientation.mirrored;
  const detail::ShownSize shown = detail::ShownSizeOf(info.width, info.height, aspect, info.rotation);
  info.shownWidth = shown.width;
  info.shownHeight = shown.height;
  // Read as numbers: a stream can put any value in these fields.
  const int transfer = detail::FieldValue(parameters->color_trc);
  info.hdrOrWideGamut = transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67 ||
                        detail::FieldValue(parameters->color_primaries) == AVCOL_PRI_BT2020;

  if (info.duration == 0.0 && stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
    info.duration = Seconds(stream->duration, stream->time_base);
  }

  AVRational rate = stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) {
    info.frameRate = av_q2d(rate);
    info.frameDuration = av_q2d(av_inv_q(rate));
  }
  return info;
}

}  // namespace

MediaInfo ProbeMedia(const std::filesystem::path& path) { return Probe(detail::Input::File(path)); }

MediaInfo ProbeMedia(std::span<const std::uint8_t> bytes) { return Probe(detail::Input::Memory(bytes)); }

}  // namespace mirelo::video
