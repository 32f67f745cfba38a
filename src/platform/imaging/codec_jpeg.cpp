#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

bool IsJpeg(Bytes) { return false; }
Image ReadJpeg(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "jpeg reader not built yet"); }
}  // namespace mirelo::imaging
namespace mirelo::imaging {
std::vector<std::uint8_t> WriteJpeg(const Image&, const SaveParams&) { throw Error(err::kInvalidFileFormat, "jpeg writer not built yet"); }
}  // namespace mirelo::imaging
