#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

bool IsPict(Bytes) { return false; }
Image ReadPict(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "pict reader not built yet"); }
}  // namespace mirelo::imaging
namespace mirelo::imaging {
std::vector<std::uint8_t> WritePict(const Image&, const SaveParams&) { throw Error(err::kInvalidFileFormat, "pict writer not built yet"); }
}  // namespace mirelo::imaging
