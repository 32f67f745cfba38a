// libFuzzer target for the camera RAW reader (see still_target.h).

#include "still_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mirelo::fuzz::FuzzStillReader(mirelo::imaging::ReadRaw, data, size);
}
