// The platform's own conversions for the kinds the core leaves to it.
#pragma once

#include "host/convert.h"

namespace clasp {

// The conversions oleaut32 makes (en-US), for the module to install when it is
// attached and for Windows programs that use the core without the module.
const PlatformConversions& OleConversions();

}  // namespace clasp
