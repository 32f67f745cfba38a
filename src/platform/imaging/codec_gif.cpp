#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

bool IsGif(Bytes) { return false; }
Image ReadGif(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "gif reader not built yet"); }
}  // namespace mirelo::imaging
namespace mirelo::imaging {
std::vector<std::uint8_t> WriteGif(const Image&, const SaveParams&) { throw Error(err::kInvalidFileFormat, "gif writer not built yet"); }
}  // namespace mirelo::imaging
