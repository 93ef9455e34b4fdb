// The argument and answer VARIANTs the COM benchmark builds, each owned.
#pragma once

#include <oleauto.h>

#include "server/com/owners.h"

namespace clasp::bench {

inline Variant I2(SHORT v) {
  Variant result;
  VARIANT* out = result.Put();
  V_VT(out) = VT_I2;
  V_I2(out) = v;
  return result;
}

inline Variant I4(LONG v) {
  Variant result;
  VARIANT* out = result.Put();
  V_VT(out) = VT_I4;
  V_I4(out) = v;
  return result;
}

inline Variant Text(const wchar_t* text) {
  Variant result;
  VARIANT* out = result.Put();
  V_BSTR(out) = SysAllocString(text);
  V_VT(out) = VT_BSTR;
  return result;
}

}  // namespace clasp::bench
