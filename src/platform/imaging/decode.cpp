#include "platform/error.h"
#include "platform/imaging/codecs.h"

namespace mirelo::imaging {

Image DecodeImage(Bytes, const LoadOptions&) { throw Error(err::kInvalidFileFormat, "no reader yet"); }
}  // namespace mirelo::imaging
