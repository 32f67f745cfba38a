#include "platform/video/frame_capture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/video/ffmpeg_support.h"
#include "platform/video/video_errors.h"

namespace mirelo::video {

namespace {

using detail::Fail;

// Time arithmetic on values read from the file (start times, frame steps from any rate, guessed
// times) saturates instead of overflowing: an absurd clip gets an absurd position, not UB.
constexpr std::int64_t kMaxTs = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinTs = std::numeric_limits<std::int64_t>::min();

std::int64_t Add(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? kMaxTs : kMinTs;
  return sum;
}

std::int64_t Sub(std::int64_t a, std::int64_t b) {
  std::int64_t difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) return b < 0 ? kMaxTs : kMinTs;
  return difference;
}

std::int64_t Mul(std::int64_t a, std::int64_t b) {
  std::int64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) return (a < 0) != (b < 0) ? kMinTs : kMaxTs;
  return product;
}

// How many times a seek that landed after the target is retried further back before the clip
// is decoded from its start.
constexpr int kSeekRetries = 6;

// One open clip with its video decoder.
struct Clip {
  std::filesystem::path path;
  detail::FormatPtr format;
  detail::CodecPtr decoder;
  AVStream* stream = nullptr;
  int index = -1;
  std::int64_t startTs = 0;     // start of the clip in stream time base
  std::int64_t frameTicks = 0;  // one frame in stream time base, 0 when unknown
  bool indexTimed = false;      // the container times frames only by their index (AVI)
  bool decodeOrderTimed = false;  // packet times are made up in decoding order (AVI, raw streams)
};

// Raw elementary streams: the parser makes up packet times in decoding order.
bool IsRawStream(const AVInputFormat* format) {
  static constexpr std::string_view kRaw[] = {"h261", "h263",      "h264", "hevc",
                                              "m4v",  "mpegvideo", "vc1",  "cavsvideo"};
  if (format->flags & AVFMT_NOTIMESTAMPS) return true;
  return std::find(std::begin(kRaw), std::end(kRaw), std::string_view(format->name)) != std::end(kRaw);
}

Clip OpenClip(const detail::Input& input, const CaptureOptions& options) {
  const std::filesystem::path& path = input.path;
  Clip clip;
  clip.path = path;
  clip.format = detail::OpenInput(input);
  clip.index = detail::FindVideoStream(clip.format.get());
  if (clip.index < 0) Fail(err::kNoVideoStream, "no video stream", path);
  clip.stream = clip.format->streams[clip.index];
  for (unsigned i = 0; i < clip.format->nb_streams; ++i) {
    if (static_cast<int>(i) != clip.index) clip.format->streams[i]->discard = AVDISCARD_ALL;
  }

  const AVCodec* codec = avcodec_find_decoder(clip.stream->codecpar->codec_id);
  if (!codec) Fail(err::kNoDecoder, "no decoder for the video codec", path);
  clip.decoder.reset(avcodec_alloc_context3(codec));
  if (!clip.decoder) Fail(err::kOutOfMemory, "out of memory (decoder)", path);
  int ret = avcodec_parameters_to_context(clip.decoder.get(), clip.stream->codecpar);
  if (ret < 0) Fail(err::kNoDecoder, "decoder refused the stream parameters", path, ret);
  clip.decoder->pkt_timebase = clip.stream->time_base;
  clip.decoder->thread_count = std::max(0, options.threads);
  ret = avcodec_open2(clip.decoder.get(), codec, nullptr);
  if (ret < 0) Fail(ret == AVERROR(ENOMEM) ? err::kOutOfMemory : err::kNoDecoder, "cannot open the decoder", path, ret);

  // Players count positions from the container's start, and so does ffmpeg's -ss.
  const AVRational timeBase = clip.stream->time_base;
  if (clip.format->start_time != AV_NOPTS_VALUE) {
    clip.startTs = av_rescale_q(clip.format->start_time, AV_TIME_BASE_Q, timeBase);
  } else if (clip.stream->start_time != AV_NOPTS_VALUE) {
    clip.startTs = clip.stream->start_time;
  }
  clip.indexTimed = std::string_view(clip.format->iformat->name) == "avi";
  clip.decodeOrderTimed = clip.indexTimed || IsRawStream(clip.format->iformat);
  AVRational rate = clip.stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = clip.stream->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) clip.frameTicks = av_rescale_q(1, av_inv_q(rate), timeBase);
  return clip;
}

// What one pass of seek and decode found.
struct Pass {
  detail::FramePtr best;  // the answer, or empty
  std::int64_t bestPts = 0;
  // The first key frame (or first decoded frame) came after the target, or nothing was found
  // after a seek, so an earlier start is needed; holds that time.
  std::optional<std::int64_t> landedAfter;
  // A packet sent while non-reference frames were skipped had a time in (bestPts, target]: the
  // skipped frame may have been the answer, so the pass has to be repeated without skipping.
  bool skipUnsafe = false;
};

// Gives decoded frames their presentation times. A frame normally carries the time of the packet
// that held it; MPEG program streams and AVI leave some frames without, and FFmpeg's guess for
// those (from the decoding time) is off by the reordering delay right after a seek. Frames follow
// one another at one frame's step in display order, so such a frame is timed from a neighbour
// that carries a time: forward from the last one, or backward from the next one, held back until
// it arrives.
class Timeline {
 public:
  // Receives each frame with its time, in display order; returns false to stop.
  using Sink = std::function<bool(detail::FramePtr, std::int64_t)>;

  Timeline(std::int64_t frameTicks, std::int64_t startTs) : ticks_(frameTicks), start_(startTs) {}

  // From now on every frame is timed by FFmpeg's guess moved earlier by `delay` (see
  // DecodeForward); the times frames carry are ignored.
  void GuessEarlierBy(std::function<std::int64_t()> delay) { delay_ = std::move(delay); }

  bool Push(detail::FramePtr frame, const Sink& sink) {
    if (delay_) {
      const std::int64_t pts = Sub(Guess(*frame), delay_());
      return Emit(std::move(frame), pts, sink);
    }
    if (frame->pts != AV_NOPTS_VALUE && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
      const std::int64_t pts = frame->best_effort_timestamp;
      const auto waiting = static_cast<std::int64_t>(pending_.size());
      for (std::int64_t i = 0; i < waiting; ++i) {
        const std::int64_t time = Sub(pts, Mul(waiting - i, ticks_));
        if (!Emit(std::move(pending_[static_cast<std::size_t>(i)]), time, sink)) return false;
      }
      pending_.clear();
      anchored_ = true;
      return Emit(std::move(frame), pts, sink);
    }
    if (anchored_ || ticks_ <= 0) {
      const std::int64_t step = frame->pkt_duration > 0 ? frame->pkt_duration : std::max<std::int64_t>(1, ticks_);
      const std::int64_t pts = last_ != AV_NOPTS_VALUE ? Add(last_, step) : Guess(*frame);
      return Emit(std::move(frame), pts, sink);
    }
    pending_.push_back(std::move(frame));
    // A stream that never carries frame times (AVI with B-frames): fall back on FFmpeg's guess.
    if (pending_.size() > kMaxPending) {
      anchored_ = true;
      return Flush(sink);
    }
    return true;
  }

  // End of the data: frames still waiting for a timed neighbour get FFmpeg's guess.
  bool Flush(const Sink& sink) {
    std::vector<detail::FramePtr> frames = std::move(pending_);
    pending_.clear();
    for (auto& frame : frames) {
      const std::int64_t pts = last_ != AV_NOPTS_VALUE && ticks_ > 0 ? Add(last_, ticks_) : Guess(*frame);
      if (!Emit(std::move(frame), pts, sink)) return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kMaxPending = 16;

  std::int64_t Guess(const AVFrame& frame) const {
    if (frame.best_effort_timestamp != AV_NOPTS_VALUE) return frame.best_effort_timestamp;
    return last_ != AV_NOPTS_VALUE ? Add(last_, 1) : start_;
  }

  bool Emit(detail::FramePtr frame, std::int64_t pts, const Sink& sink) {
    last_ = pts;
    return sink(std::move(frame), pts);
  }

  std::int64_t ticks_;
  std::int64_t start_;
  std::int64_t last_ = AV_NOPTS_VALUE;
  bool anchored_ = false;
  std::function<std::int64_t()> delay_;
  std::vector<detail::FramePtr> pending_;
};

// A pass that looks for the first frame a test accepts instead of the frame at the target.
struct Scan {
  // Key frames passed over (with everything before them) before decoding starts.
  int keysToPass = 0;
  // Accepts a frame starting at pts; the first accepted ends the pass as its answer.
  std::function<bool(const AVFrame&, std::int64_t)> accepts;
};

// Decodes forward from the current read position (just after a seek, or the start of the file)
// and keeps the last frame that starts at or before the target; with a scan, the first frame at
// or before the target that the scan accepts.
Pass DecodeForward(Clip& clip, std::int64_t target, bool atStart, bool skipNonRef, const Scan* scan = nullptr) {
  AVCodecContext* decoder = clip.decoder.get();
  avcodec_flush_buffers(decoder);
  // A seek starts a new decode: nothing skipped before it may decide what happens after it.
  decoder->skip_frame = AVDISCARD_DEFAULT;
  detail::PacketPtr packet = detail::MakePacket();
  Pass pass;
  Timeline timeline(clip.frameTicks, clip.startTs);
  bool sawKey = false;
  bool done = false;
  // Non-reference frames (those no other frame is predicted from) may be left undecoded while
  // they are a few frame times before the target; the check after the pass keeps the answer
  // exact where the rate misleads (a gap in a variable-rate clip).
  const std::int64_t margin = clip.frameTicks > 0 ? Mul(4, clip.frameTicks)
                                                  : av_rescale_q(1, {1, 2}, clip.stream->time_base);
  std::int64_t maxSkippedPts = std::numeric_limits<std::int64_t>::min();

  int keysPassed = 0;
  const Timeline::Sink take = [&](detail::FramePtr frame, std::int64_t pts) {
    if (scan) {
      if (pts > target) return false;
      if (!scan->accepts(*frame, pts)) return true;
      pass.best = std::move(frame);
      pass.bestPts = pts;
      return false;
    }
    if (!pass.best) {
      if (pts > target && !atStart) {
        pass.landedAfter = pts;
        return false;
      }
    } else if (pts > target) {
      return false;
    }
    pass.best = std::move(frame);
    pass.bestPts = pts;
    return pts < target;
  };

  // Takes every frame the decoder has ready. False when decoding has to stop (answer found or
  // an earlier start is needed).
  const auto receive = [&]() -> bool {
    for (;;) {
      detail::FramePtr frame = detail::MakeFrame();
      const int ret = avcodec_receive_frame(decoder, frame.get());
      if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
      if (ret == AVERROR_INVALIDDATA) continue;  // a damaged picture; the decoder resynchronises
      if (ret < 0) {
        Fail(ret == AVERROR(ENOMEM) ? err::kOutOfMemory : err::kDecodeFailed, "decoding failed", clip.path, ret);
      }
      if (!timeline.Push(std::move(frame), take)) return false;
    }
  };

  while (!done) {
    int ret = av_read_frame(clip.format.get(), packet.get());
    if (ret == AVERROR(ENOMEM)) Fail(err::kOutOfMemory, "out of memory while reading", clip.path, ret);
    if (ret < 0) break;  // end of file, or data cut off or unreadable: what was decoded so far counts
    if (packet->stream_index != clip.index) {
      av_packet_unref(packet.get());
      continue;
    }
    if (!sawKey) {
      // Decoding starts at a key frame; pictures predicted from frames before it would be grey.
      if (!(packet->flags & AV_PKT_FLAG_KEY) || (scan && keysPassed++ < scan->keysToPass)) {
        av_packet_unref(packet.get());
        continue;
      }
      sawKey = true;
      const std::int64_t keyTs = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      // AVI stores no presentation times, only each frame's place in decoding order. Without
      // B-frames that is the display time, and FFmpeg gives it to every packet. With B-frames
      // (the key frame then has no time) FFmpeg times each frame by the decoding place of the
      // packet that let it out, which is late by the decoder's reordering delay: take it off.
      if (clip.indexTimed && packet->pts == AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE) {
        timeline.GuessEarlierBy([decoder, &clip] { return Mul(decoder->has_b_frames, clip.frameTicks); });
      }
      if (keyTs != AV_NOPTS_VALUE && keyTs > target && !atStart) {
        av_packet_unref(packet.get());
        pass.landedAfter = keyTs;
        return pass;
      }
    }
    if (skipNonRef && packet->pts == AV_NOPTS_VALUE) skipNonRef = false;  // no time to check against
    const bool skip = skipNonRef && packet->pts < Sub(target, margin);
    decoder->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (skip) maxSkippedPts = std::max(maxSkippedPts, packet->pts);

    ret = avcodec_send_packet(decoder, packet.get());
    av_packet_unref(packet.get());
    if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_INVALIDDATA) {
      Fail(ret == AVERROR(ENOMEM) ? err::kOutOfMemory : err::kDecodeFailed, "decoding failed", clip.path, ret);
    }
    done = !receive();
  }
  if (!done) {
    // End of the data: a null packet drains the frames the decoder still holds.
    decoder->skip_frame = AVDISCARD_DEFAULT;
    const int ret = avcodec_send_packet(decoder, nullptr);
    if (ret < 0 && ret != AVERROR_EOF) Fail(err::kDecodeFailed, "decoding failed", clip.path, ret);
    if (receive()) timeline.Flush(take);
  }
  if (!pass.best && !pass.landedAfter && !atStart) {
    // A seek past the last key frame the demuxer could find: start earlier.
    pass.landedAfter = target;
  }
  if (pass.best && maxSkippedPts > pass.bestPts) pass.skipUnsafe = true;
  return pass;
}

bool SeekTo(Clip& clip, std::int64_t timestamp) {
  if (av_seek_frame(clip.format.get(), clip.index, timestamp, AVSEEK_FLAG_BACKWARD) >= 0) return true;
  return avformat_seek_file(clip.format.get(), clip.index, std::numeric_limits<std::int64_t>::min(), timestamp,
                            timestamp, 0) >= 0;
}

// The most temporal sub-layers any HEVC sequence parameter set of the stream's headers declares
// (hvcC record or Annex B start codes), 0 when none is found.
int HevcSubLayers(std::span<const std::uint8_t> extradata) {
  int most = 0;
  // The first byte after an SPS's two-byte NAL header holds sps_max_sub_layers_minus1 in bits
  // 3..1; no emulation prevention byte can come before it.
  const auto take = [&most](std::span<const std::uint8_t> nal) {
    if (nal.size() >= 3 && ((nal[0] >> 1) & 0x3f) == 33) most = std::max(most, ((nal[2] >> 1) & 7) + 1);
  };
  if (extradata.size() >= 23 && extradata[0] == 1) {
    std::size_t at = 23;
    for (int array = 0; array < extradata[22] && at + 3 <= extradata.size(); ++array) {
      const int count = extradata[at + 1] << 8 | extradata[at + 2];
      at += 3;
      for (int n = 0; n < count && at + 2 <= extradata.size(); ++n) {
        const std::size_t length = static_cast<std::size_t>(extradata[at] << 8 | extradata[at + 1]);
        at += 2;
        if (length > extradata.size() - at) return most;
        take(extradata.subspan(at, length));
        at += length;
      }
    }
    return most;
  }
  for (std::size_t at = 0; at + 3 <= extradata.size(); ++at) {
    if (extradata[at] == 0 && extradata[at + 1] == 0 && extradata[at + 2] == 1) {
      take(extradata.subspan(at + 3));
    }
  }
  return most;
}

// Whether non-reference frames may be left undecoded: only where frames are reordered (so such
// frames exist) and each packet carries its own presentation time to decide by.
bool MaySkipNonReference(const Clip& clip) {
  const AVCodecParameters* parameters = clip.stream->codecpar;
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters->codec_id);
  if (descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY)) return false;
  if (parameters->video_delay <= 0 || clip.decodeOrderTimed) return false;
  if (parameters->codec_id == AV_CODEC_ID_HEVC) {
    // A sub-layer non-reference picture may still be referred to from a higher sub-layer, which
    // FFmpeg's skipping does not know: only single-layer streams, where the headers say so.
    const auto size = static_cast<std::size_t>(std::max(0, parameters->extradata_size));
    const std::span<const std::uint8_t> extradata(parameters->extradata, parameters->extradata ? size : 0);
    if (HevcSubLayers(extradata) != 1) return false;
  }
  // FLV's disposable frames are marked only by the demuxer (a packet flag the decoder's skipping
  // never sees); packets are never dropped here, so they are decoded like any other frame.
  return true;
}

// The frame found, with what the stream says about showing it.
struct Found {
  detail::FramePtr frame;
  AVRational sampleAspect{1, 1};
  detail::Orientation orientation;
};

Found FindFrame(const detail::Input& input, double seconds, const CaptureOptions& options) {
  const std::filesystem::path& path = input.path;
  Clip clip = OpenClip(input, options);
  const AVRational timeBase = clip.stream->time_base;
  double offset = std::isfinite(seconds) ? std::max(0.0, seconds) / av_q2d(timeBase) : 0.0;
  offset = std::min(offset, 9.0e15);  // beyond any clip; keeps the sum in range
  // The frame starting at or before the position holds it: round down, with a millionth of a tick
  // of slack so that 0.3 s in a 1/10 time base (2.9999... ticks) is tick 3.
  const std::int64_t target = Add(clip.startTs, static_cast<std::int64_t>(std::floor(offset + 1e-6)));

  bool skip = !options.fullDecode && MaySkipNonReference(clip);
  // A freshly opened clip reads from its start: no seek for the first frame.
  bool atStart = options.fullDecode || target <= clip.startTs;
  // Past the end, seek to the end: some demuxers find no key frame when asked for a time beyond
  // their last one.
  std::int64_t seekTs = target;
  if (clip.format->duration != AV_NOPTS_VALUE && clip.format->duration > 0) {
    seekTs = std::min(seekTs, Add(clip.startTs, av_rescale_q(clip.format->duration, AV_TIME_BASE_Q, timeBase)));
  }
  for (int attempt = 0;; ++attempt) {
    if (!atStart && (attempt > kSeekRetries || seekTs <= clip.startTs || !SeekTo(clip, seekTs))) {
      // No usable seek: decode from the very start of a freshly opened clip.
      clip = OpenClip(input, options);
      atStart = true;
    }
    Pass pass = DecodeForward(clip, target, atStart, skip);
    if (pass.landedAfter) {
      const std::int64_t back = std::max<std::int64_t>(1, av_rescale_q(1, {1, 1}, timeBase)) << std::min(attempt, 20);
      seekTs = Sub(std::min(seekTs, *pass.landedAfter), back);
      continue;
    }
    if (pass.skipUnsafe) {
      skip = false;
      if (atStart) clip = OpenClip(input, options);
      continue;
    }
    if (!pass.best) Fail(err::kDecodeFailed, "no frame could be decoded", path);
    AVRational bitstream = pass.best->sample_aspect_ratio;
    if (bitstream.num <= 0 || bitstream.den <= 0) bitstream = clip.stream->codecpar->sample_aspect_ratio;
    return {std::move(pass.best), detail::SampleAspectOf(clip.stream, bitstream), detail::OrientationOf(clip.stream)};
  }
}

// `space` is the frame's colour space as a number: streams can carry values FFmpeg does not name.
int Coefficients(int space, int height) {
  switch (space) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_BT470BG: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE170M: return SWS_CS_SMPTE170M;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default:
      // Unlabelled clips and unknown values: players assume HD material is BT.709, SD BT.601.
      return height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

// The deprecated full-range ("J") formats become their plain twins with the range made explicit.
AVPixelFormat PlainFormat(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
  }
}

// The stored picture mirrored left to right (when asked), then turned clockwise.
imaging::Image Turned(const imaging::Image& source, const detail::Orientation& orientation) {
  const bool quarter = orientation.rotation == 90 || orientation.rotation == 270;
  imaging::Image image = imaging::Image::blank(quarter ? source.height : source.width,
                                               quarter ? source.width : source.height);
  image.storedBitsPerPixel = source.storedBitsPerPixel;
  const int w = source.width;
  const int h = source.height;
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* in = source.row(y);
    for (int x = 0; x < w; ++x) {
      const int mx = orientation.mirrored ? w - 1 - x : x;
      int tx = mx;
      int ty = y;
      switch (orientation.rotation) {
        case 90: tx = h - 1 - y; ty = mx; break;
        case 180: tx = w - 1 - mx; ty = h - 1 - y; break;
        case 270: tx = y; ty = w - 1 - mx; break;
        default: break;
      }
      std::memcpy(image.row(ty) + static_cast<std::size_t>(tx) * 3, in + static_cast<std::size_t>(x) * 3, 3);
    }
  }
  return image;
}

// The frame as shown: colour-converted and scaled to its shown size in one pass, then turned.
imaging::Image ToRgb(const Found& found, const std::filesystem::path& path) {
  const AVFrame& frame = *found.frame;
  const int width = frame.width;
  const int height = frame.height;
  const auto outOfRange = [](std::int64_t w, std::int64_t h) {
    return w <= 0 || h <= 0 || w > imaging::kMaxSide || h > imaging::kMaxSide || w * h > imaging::kMaxPixels;
  };
  if (outOfRange(width, height)) Fail(err::kNoDecoder, "picture size out of range", path);
  // Limits before allocation hold for the shown size too (a stream may claim any aspect).
  const detail::ShownSize shown = detail::ShownSizeOf(width, height, found.sampleAspect, 0);
  if (outOfRange(shown.width, shown.height)) Fail(err::kNoDecoder, "shown picture size out of range", path);

  // Enum fields are read as numbers: a stream can put any value in them.
  const int formatValue = frame.format;
  if (formatValue < 0 || formatValue >= AV_PIX_FMT_NB) Fail(err::kUnexpected, "unknown pixel format", path);
  bool fullRange = detail::FieldValue(frame.color_range) == AVCOL_RANGE_JPEG;
  const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(formatValue), fullRange);

  // Full chroma interpolation and accurate rounding cost little for one frame and avoid colour
  // fringes on edges; an anamorphic picture is stretched with Lanczos in the same pass.
  const bool scaled = shown.width != width || shown.height != height;
  const int flags = (scaled ? SWS_LANCZOS : SWS_BICUBIC) | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
  detail::SwsPtr sws(sws_getContext(width, height, source, shown.width, shown.height, AV_PIX_FMT_RGB24, flags, nullptr,
                                    nullptr, nullptr));
  if (!sws) Fail(err::kUnexpected, "no conversion for the pixel format", path);
  // Fails for RGB sources, where there is nothing to set.
  sws_setColorspaceDetails(sws.get(), sws_getCoefficients(Coefficients(detail::FieldValue(frame.colorspace), height)),
                           fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);

  imaging::Image image;
  image.width = shown.width;
  image.height = shown.height;
  image.format = imaging::PixelFormat::Rgb24;
  image.storedBitsPerPixel = 24;
  image.sourceWidth = shown.width;
  image.sourceHeight = shown.height;
  const std::size_t size = image.stride() * static_cast<std::size_t>(shown.height);
  // Vector code in swscale may store a few bytes past the last row.
  image.pixels.resize(size + 64);
  std::uint8_t* planes[4] = {image.pixels.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(image.stride()), 0, 0, 0};
  const int rows = sws_scale(sws.get(), frame.data, frame.linesize, 0, height, planes, strides);
  if (rows != shown.height) Fail(err::kUnexpected, "pixel format conversion failed", path, rows < 0 ? rows : 0);
  image.pixels.resize(size);
  if (found.orientation.rotation == 0 && !found.orientation.mirrored) return image;
  return Turned(image, found.orientation);
}

// Measured on lead-ins (luma 0..255, mean / spread): black leaders 0 / 0, white flashes 255 / 0,
// a plain blue title card 65 / 0 (coding noise stays below 1); a two-second fade from black
// passes 20 / 10 at a tenth of the way in and 32 / 17 at a quarter, when its picture can be made
// out; a night street (dark sky, lit windows) 17 / 32 and a murky low-contrast scene 12 / 15.
// Nearly one colour: a spread below 10. Dark: a mean below 32 unless the spread reaches 24, so
// the night street is kept and the fade's first quarter is not.
constexpr double kMinSpread = 10.0;
constexpr double kDarkMean = 32.0;
constexpr double kDarkSpread = 24.0;

// Luma of a frame on a 0..255 scale, whatever its range and bit depth: mean and standard
// deviation over a grid of at most 160 columns of the picture's own pixels (sampled, not averaged:
// averaging would take fine detail, grain or a crowd of small things for a flat grey).
LumaStats MeasureLuma(const AVFrame& frame) {
  const int formatValue = frame.format;
  if (frame.width <= 0 || frame.height <= 0 || formatValue < 0 || formatValue >= AV_PIX_FMT_NB) return {};
  bool fullRange = detail::FieldValue(frame.color_range) == AVCOL_RANGE_JPEG;
  const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(formatValue), fullRange);
  const int width = std::min(frame.width, 160);
  const int height = std::max(1, static_cast<int>(static_cast<std::int64_t>(frame.height) * width / frame.width));
  detail::SwsPtr sws(sws_getContext(frame.width, frame.height, source, width, height, AV_PIX_FMT_GRAY8, SWS_POINT,
                                    nullptr, nullptr, nullptr));
  if (!sws) return {};
  const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
  sws_setColorspaceDetails(sws.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16, 1 << 16);
  std::vector<std::uint8_t> grey(static_cast<std::size_t>(width) * height + 64);
  std::uint8_t* planes[4] = {grey.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {width, 0, 0, 0};
  if (sws_scale(sws.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != height) return {};
  double sum = 0.0;
  double squares = 0.0;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  for (std::size_t i = 0; i < count; ++i) {
    sum += grey[i];
    squares += static_cast<double>(grey[i]) * grey[i];
  }
  LumaStats stats;
  stats.mean = sum / static_cast<double>(count);
  stats.spread = std::sqrt(std::max(0.0, squares / static_cast<double>(count) - stats.mean * stats.mean));
  return stats;
}

// The first frame at or after the clip's start that shows something, within the window of the
// auto scene, and its position; nullopt when none does, the first frame already does or the
// clip's length is unknown.
struct Telling {
  double position = 0.0;
  Found found;
};
std::optional<Telling> FindTellingFrame(const detail::Input& input, const CaptureOptions& options) {
  Clip clip = OpenClip(input, options);
  if (clip.format->duration == AV_NOPTS_VALUE || clip.format->duration <= 0) return std::nullopt;
  const double windowSeconds =
      std::min(kAutoSceneMaxSeconds, kAutoSceneShare * static_cast<double>(clip.format->duration) / AV_TIME_BASE);
  const AVRational timeBase = clip.stream->time_base;
  const std::int64_t end = Add(clip.startTs, static_cast<std::int64_t>(windowSeconds / av_q2d(timeBase)));
  const auto telling = [](const AVFrame& frame) { return IsTelling(MeasureLuma(frame)); };

  // Key frames first: each decoded on its own, without the frames between them.
  AVCodecContext* decoder = clip.decoder.get();
  decoder->skip_frame = AVDISCARD_NONKEY;
  detail::PacketPtr packet = detail::MakePacket();
  int keys = 0;            // key frames read
  int lastBlankKey = -1;   // the last one that shows nothing, by its place
  bool found = false;
  bool first = true;
  while (!found && av_read_frame(clip.format.get(), packet.get()) >= 0) {
    const bool ours = packet->stream_index == clip.index && (packet->flags & AV_PKT_FLAG_KEY);
    const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (!ours) {
      av_packet_unref(packet.get());
      continue;
    }
    if (ts != AV_NOPTS_VALUE && ts > end) {
      av_packet_unref(packet.get());
      break;
    }
    const int key = keys++;
    avcodec_flush_buffers(decoder);
    int ret = avcodec_send_packet(decoder, packet.get());
    av_packet_unref(packet.get());
    if (ret < 0 && ret != AVERROR_INVALIDDATA) continue;
    avcodec_send_packet(decoder, nullptr);
    detail::FramePtr frame = detail::MakeFrame();
    bool decoded = false;
    while ((ret = avcodec_receive_frame(decoder, frame.get())) >= 0 || ret == AVERROR_INVALIDDATA) {
      if (ret < 0) continue;
      decoded = true;
      if (telling(*frame)) found = true;
      av_frame_unref(frame.get());
    }
    if (!decoded) continue;
    if (first && found) return std::nullopt;  // the first frame shows something: as without the search
    first = false;
    if (!found) lastBlankKey = key;
  }
  if (lastBlankKey < 0) return std::nullopt;

  // Then every frame from the last key frame that shows nothing up to the one that does (or to
  // the window's end).
  Clip exact = OpenClip(input, options);
  const Scan scan{lastBlankKey, [&](const AVFrame& frame, std::int64_t pts) {
                    return pts >= exact.startTs && telling(frame);
                  }};
  Pass pass = DecodeForward(exact, end, true, false, &scan);
  if (!pass.best) return std::nullopt;
  Telling result;
  result.position = std::max(0.0, static_cast<double>(Sub(pass.bestPts, exact.startTs)) * av_q2d(timeBase));
  AVRational bitstream = pass.best->sample_aspect_ratio;
  if (bitstream.num <= 0 || bitstream.den <= 0) bitstream = exact.stream->codecpar->sample_aspect_ratio;
  result.found = {std::move(pass.best), detail::SampleAspectOf(exact.stream, bitstream),
                   detail::OrientationOf(exact.stream)};
  return result;
}

}  // namespace

bool IsTelling(const LumaStats& luma) {
  if (luma.spread < kMinSpread) return false;  // nearly one colour
  // Dark with little detail; a night scene's lights keep it.
  return luma.mean >= kDarkMean || luma.spread >= kDarkSpread;
}

bool SkipsNonReferenceFrames(const std::filesystem::path& path) {
  return MaySkipNonReference(OpenClip(detail::Input::File(path), {}));
}

imaging::Image CaptureFrame(const std::filesystem::path& path, double seconds, const CaptureOptions& options) {
  return ToRgb(FindFrame(detail::Input::File(path), seconds, options), path);
}

double AutoScenePosition(const std::filesystem::path& path, const CaptureOptions& options) {
  const std::optional<Telling> telling = FindTellingFrame(detail::Input::File(path), options);
  return telling ? telling->position : 0.0;
}

imaging::Image CaptureAutoScene(const std::filesystem::path& path, double& position, const CaptureOptions& options) {
  const std::optional<Telling> telling = FindTellingFrame(detail::Input::File(path), options);
  position = telling ? telling->position : 0.0;
  // The search decoded the frame already; the first frame is captured as without it.
  return telling ? ToRgb(telling->found, path) : CaptureFrame(path, 0.0, options);
}

imaging::Image CaptureFrame(std::span<const std::uint8_t> bytes, double seconds, const CaptureOptions& options) {
  const detail::Input input = detail::Input::Memory(bytes);
  return ToRgb(FindFrame(input, seconds, options), input.path);
}

}  // namespace mirelo::video
