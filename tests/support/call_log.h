// The record test hosts keep of the calls made on them: one line per access,
// with every argument shown with its exact type.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace clasp::testing {

// One ordered log shared by the hosts of a test, one line per access:
//   StepDisp.ScreenNo = VT_I2 420
//   StepTrac.TraceWrite(VT_BSTR "c:\...", VT_BYREF|VT_BSTR "Disp420: 0", VT_BSTR "Clench")
using CallLog = std::vector<std::string>;

// Readable form of a VARIANT with its exact type, e.g. `VT_I4 12`, `VT_ARRAY|VT_UI1 {1,2}`.
std::string ShowVariant(const VARIANT& value);

// The texts handed to StepTrac.TraceWrite, in the order the log received them.
std::vector<std::string> TraceLines(const CallLog& log);

}  // namespace clasp::testing
