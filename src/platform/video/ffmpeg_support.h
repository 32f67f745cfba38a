#pragma once

// The one boundary to FFmpeg: owning handles with their deleters, opening a clip safely, and the
// conversion of FFmpeg's error codes into the program's numbers. Private to src/platform/video.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace mirelo::video::detail {

// Also frees the reader of a clip opened from memory (FFmpeg leaves custom I/O to its owner).
struct FormatCloser {
  void operator()(AVFormatContext* context) const;
};
struct CodecFreer {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsFreer {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

FramePtr MakeFrame();
PacketPtr MakePacket();

// FFmpeg's text for an error code.
std::string ErrorText(int code);

// Throws mirelo::Error(number) whose text names the operation, the file and FFmpeg's reason.
[[noreturn]] void Fail(std::int32_t number, const std::string& what, const std::filesystem::path& path,
                       int ffmpegCode = 0);

// Number for a failure to open or read the file: the file-level errors (missing, no
// permission, I/O, memory) keep their own numbers, anything else means "not media we can read".
std::int32_t OpenErrorNumber(int ffmpegCode);

// Where a clip is read from: a local file, or bytes in memory (the fuzz target's entry). `path`
// names the clip in messages either way. The bytes must outlive every clip opened from them.
struct Input {
  std::filesystem::path path;
  std::span<const std::uint8_t> bytes;
  bool inMemory = false;

  static Input File(const std::filesystem::path& file) { return {file, {}, false}; }
  static Input Memory(std::span<const std::uint8_t> data) { return {"<memory>", data, true}; }
};

// Opens a clip and reads its stream headers. Only local files are opened, and only by demuxers
// of real media containers: a playlist or concat script named .avi must not make FFmpeg fetch
// URLs or read other files. Bytes in memory are read through their own I/O context with the same
// demuxers and no protocol at all.
FormatPtr OpenInput(const Input& input);

// Index of the clip's video stream (attached cover pictures excluded), or -1.
int FindVideoStream(AVFormatContext* format);

// The number held in an enum field of FFmpeg's structures (colour space, range, primaries,
// transfer, field order ...). Decoders copy such values from the stream unchecked, so any number
// can be there; loading it as the C++ enum type would be undefined for numbers FFmpeg does not name.
template <typename Enum>
int FieldValue(const Enum& field) {
  static_assert(sizeof(Enum) == sizeof(int));
  int value = 0;
  std::memcpy(&value, &field, sizeof value);
  return value;
}

// How players turn a clip's stored picture for showing: first mirrored left to right (when
// `mirrored`), then turned clockwise by `rotation` degrees (0, 90, 180 or 270), from the
// stream's display matrix. Other angles go to the nearest quarter turn; a singular matrix is none.
struct Orientation {
  int rotation = 0;
  bool mirrored = false;
};
Orientation OrientationOf(const AVStream* stream);

// The sample aspect ratio players apply: the container's, else the stream's own (`bitstream`,
// the frame's or the codec parameters'), else square pixels. Always positive and reduced.
AVRational SampleAspectOf(const AVStream* stream, AVRational bitstream);

// The size a picture of width x height is shown at: the sample aspect ratio widens it (above 1)
// or makes it taller (below 1), as mpv does, truncating; then a quarter turn swaps the sides.
// Saturates at INT_MAX; callers check their limits.
struct ShownSize {
  int width = 0;
  int height = 0;
};
ShownSize ShownSizeOf(int width, int height, AVRational sampleAspect, int rotation);

}  // namespace mirelo::video::detail
