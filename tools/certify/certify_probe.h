// What only shows at the platform's level when an integrator's object is
// called: its raw failure codes and descriptions, what it leaves in a
// by-reference argument, and its reference count. Windows build only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <vector>

#include "server/com/owners.h"
#include "certify/certify.h"

namespace clasp::sim {

// A dispatch object in front of `real` that forwards every name look-up and
// call unchanged and appends to `seen` what it saw of each, judged. It offers
// IDispatchEx exactly when `real` does, so that callers choose as they would.
// `seen` must outlive the probe's use. `reported`, when given, answers what
// the object's script engine reported to its site about a failure.
ComPtr<IDispatch> MakeProbe(IDispatch* real, std::vector<AccessSeen>& seen,
                            std::function<std::string()> reported = {});

// The object's reference count as a caller can read it: the count one
// AddRef leaves, less the one Release that follows.
ULONG CountOf(IUnknown* object);

}  // namespace clasp::sim
