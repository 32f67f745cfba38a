#pragma once

// Camera RAW files are decoded in a process of their own. LibRaw parses untrusted files with
// little checking (it has overrun heap buffers, walked box structures for ever and read past the
// end of files here), so its faults must not reach the window or a run of thousands of files:
// ReadRaw starts the decoder program `mirelo-raw-decoder`, hands it the file's bytes in a sealed
// memory file and receives the picture over a socket. The decoder runs under limits of memory
// and CPU time, with a system-call filter that lets it compute and use the descriptors it was
// given, and nothing else; a crash, a signal, a limit or a hang becomes 20009 for that file only.

#include <cstdint>
#include <string>

namespace mirelo::imaging {

struct RawDecoderLimits {
  // Writable memory of the decoder (RLIMIT_DATA); 0: no limit. LibRaw's own ceiling for sensor
  // data is 1 GB, and a 200-megapixel demosaic needs about as much again.
  std::uint64_t memoryBytes = std::uint64_t{4} << 30;
  int cpuSeconds = 600;   // all of its threads together
  int wallSeconds = 180;  // from start to answer
};

// The decoder program and its limits; tests point it elsewhere (a program that crashes, hangs
// or eats memory). An empty path restores the default: MIRELO_RAW_DECODER when set, else the
// program beside the running executable, in ../libexec/mirelo, or in the build tree; and the
// default limits, or MIRELO_RAW_DECODER_LIMITS="MB,CPU seconds,seconds" (MB 0: no limit).
void SetRawDecoder(const std::string& path, const RawDecoderLimits& limits);
std::string RawDecoderPath();

// The decoder program's side: serves one request on `fd` (a connected socket) for the file in
// `fileFd` (a memory file) and returns the process' exit status. Confines the process before it
// hands the bytes to LibRaw.
int ServeRawDecode(int fd, int fileFd);

}  // namespace mirelo::imaging
