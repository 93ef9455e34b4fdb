// The automation object hosts create as Clasp.Holdfast.
#pragma once

#include <windows.h>

namespace clasp {

// A new instance, asked for `iid`. It answers IUnknown, IDispatch,
// ISupportErrorInfo and _Holdfast under each of its three identifiers.
HRESULT CreateHoldfastObject(REFIID iid, void** out) noexcept;

}  // namespace clasp
