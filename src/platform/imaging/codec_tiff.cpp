#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

bool IsTiff(Bytes) { return false; }
Image ReadTiff(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "tiff reader not built yet"); }
}  // namespace mirelo::imaging
