#include "support/com_values.h"

#include <cstring>

namespace clasp::testing {

Variant MakeI2(SHORT value) {
  Variant v;
  V_VT(v.Put()) = VT_I2;
  V_I2(v.Address()) = value;
  return v;
}

Variant MakeI4(LONG value) {
  Variant v;
  V_VT(v.Put()) = VT_I4;
  V_I4(v.Address()) = value;
  return v;
}

Variant MakeText(std::wstring_view text) {
  Variant v;
  V_BSTR(v.Put()) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  V_VT(v.Address()) = VT_BSTR;
  return v;
}

Variant MakeDate(DATE value) {
  Variant v;
  V_VT(v.Put()) = VT_DATE;
  V_DATE(v.Address()) = value;
  return v;
}

Variant MakeCurrency(LONGLONG scaled) {
  Variant v;
  V_VT(v.Put()) = VT_CY;
  V_CY(v.Address()).int64 = scaled;
  return v;
}

Variant MakeDecimal(BYTE scale, bool negative, ULONG high, ULONGLONG low) {
  Variant v;
  // The decimal overlays the whole VARIANT, its type field included: set the type last.
  DECIMAL& d = V_DECIMAL(v.Put());
  d.scale = scale;
  d.sign = negative ? DECIMAL_NEG : 0;
  d.Hi32 = high;
  d.Lo64 = low;
  V_VT(v.Address()) = VT_DECIMAL;
  return v;
}

Variant MakeBytes(const std::vector<BYTE>& bytes) {
  Variant v;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  V_VT(v.Put()) = VT_ARRAY | VT_UI1;
  V_ARRAY(v.Address()) = array;
  return v;
}

Variant MakeDispatch(IDispatch* object) {
  Variant v;
  V_VT(v.Put()) = VT_DISPATCH;
  V_DISPATCH(v.Address()) = object;
  if (object) object->AddRef();
  return v;
}

}  // namespace clasp::testing
