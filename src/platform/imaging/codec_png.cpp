#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

bool IsPng(Bytes) { return false; }
Image ReadPng(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "png reader not built yet"); }
}  // namespace mirelo::imaging
namespace mirelo::imaging {
std::vector<std::uint8_t> WritePng(const Image&, const SaveParams&) { throw Error(err::kInvalidFileFormat, "png writer not built yet"); }
}  // namespace mirelo::imaging
