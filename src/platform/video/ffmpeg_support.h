#pragma once

// The one boundary to FFmpeg: owning handles with their deleters, opening a clip safely, and the
// conversion of FFmpeg's error codes into the program's numbers. Private to src/platform/video.

#include <cstdint>
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

}  // namespace mirelo::video::detail
