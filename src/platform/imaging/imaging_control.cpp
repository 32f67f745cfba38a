#include "platform/error.h"
#include "platform/imaging/imaging_control.h"

namespace mirelo::imaging {
// Filled in by the imaging work; declared so that callers link.
}  // namespace mirelo::imaging
