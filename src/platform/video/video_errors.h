#pragma once

#include <cstdint>

// Error numbers of the video layer. FFmpeg's own codes never leave src/platform/video: every
// failure is converted at the boundary into one of these, which are the numbers the original
// Windows media services reported for the same situations. They reach the error log, so they
// stay stable.
namespace mirelo::video::err {

// The clip opened and was read, but it holds no video stream (an audio-only file). Not a
// failure of the media layer as such: the capture step logs it as the number 0.
inline constexpr std::int32_t kNoVideoStream = 0;

// 0x80040265, "unsupported stream": FFmpeg does not recognise the file as media at all (no
// demuxer matches, the header is damaged or cut off), so nothing can be played from it.
inline constexpr std::int32_t kUnsupportedFormat = -2147220891;

// 0x80040200, "invalid media type": the container is understood, but no decoder exists for the
// video codec, the decoder refused the stream's parameters, or the picture size is beyond what
// the imaging component accepts.
inline constexpr std::int32_t kNoDecoder = -2147220992;

// 0x80004005, generic failure: the video stream exists and a decoder opened, but not a single
// frame could be decoded from it (damaged data, a clip cut off before its first picture).
inline constexpr std::int32_t kDecodeFailed = -2147467259;

// 0x8000FFFF, unexpected failure: FFmpeg failed where it should not (a conversion context could
// not be created, an internal error code).
inline constexpr std::int32_t kUnexpected = -2147418113;

// Win32 errors as HRESULTs, for the failures that are about the file, not its content.
inline constexpr std::int32_t kFileNotFound = -2147024894;  // 0x80070002
inline constexpr std::int32_t kAccessDenied = -2147024891;  // 0x80070005
inline constexpr std::int32_t kOutOfMemory = -2147024882;   // 0x8007000E
inline constexpr std::int32_t kReadFault = -2147024866;     // 0x8007001E, I/O error while reading

// The numbers for which the log names a wrong format or a missing codec (the generic failures,
// the media-type errors, 380 invalid property value and 430 missing interface).
constexpr bool IsFormatOrCodecError(std::int32_t number) {
  return number == 380 || number == 430 || number == kDecodeFailed || number == kUnexpected ||
         number == kNoDecoder || number == kUnsupportedFormat;
}

}  // namespace mirelo::video::err
