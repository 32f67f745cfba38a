// libFuzzer target for the JPEG XL reader (see still_target.h).

#include "still_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return mirelo::fuzz::FuzzStillReader(mirelo::imaging::ReadJxl, data, size);
}
