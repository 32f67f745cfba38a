#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

bool IsBmp(Bytes) { return false; }
Image ReadBmp(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "bmp reader not built yet"); }
}  // namespace mirelo::imaging
namespace mirelo::imaging {
std::vector<std::uint8_t> WriteBmp(const Image&, const SaveParams&) { throw Error(err::kInvalidFileFormat, "bmp writer not built yet"); }
}  // namespace mirelo::imaging
