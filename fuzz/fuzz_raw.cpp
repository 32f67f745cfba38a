// libFuzzer target for the camera RAW reader (see still_target.h): the decoder itself, as its
// process runs it.

#include "still_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mirelo::fuzz::FuzzStillReader(mirelo::imaging::ReadRawInProcess, data, size);
}
