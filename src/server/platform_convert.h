// The platform's own conversions for the kinds the core leaves to it.
#pragma once

#include "host/convert.h"

namespace clasp {

// The conversions oleaut32 makes (en-US): what the module hands every instance
// it makes, and what Windows programs that use the core without the module
// may hand theirs. Lives as long as the module.
const PlatformConversions& OleConversions();

}  // namespace clasp
