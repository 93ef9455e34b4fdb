#include "support/com_values.h"

#include <cstring>

namespace clasp::testing {
namespace {

// A VARIANT whose value `fill` sets; the type is set after it, since a decimal
// overlays the whole VARIANT, its type field included.
template <class Fill>
Variant Filled(VARTYPE type, Fill fill) {
  Variant v;
  VARIANT* out = v.Put();
  fill(*out);
  V_VT(out) = type;
  return v;
}

}  // namespace

Variant MakeI2(SHORT value) {
  return Filled(VT_I2, [=](VARIANT& v) { V_I2(&v) = value; });
}

Variant MakeI4(LONG value) {
  return Filled(VT_I4, [=](VARIANT& v) { V_I4(&v) = value; });
}

Variant MakeText(std::wstring_view text) {
  return Filled(VT_BSTR, [=](VARIANT& v) {
    V_BSTR(&v) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  });
}

Variant MakeDate(DATE value) {
  return Filled(VT_DATE, [=](VARIANT& v) { V_DATE(&v) = value; });
}

Variant MakeCurrency(LONGLONG scaled) {
  return Filled(VT_CY, [=](VARIANT& v) { V_CY(&v).int64 = scaled; });
}

Variant MakeDecimal(BYTE scale, bool negative, ULONG high, ULONGLONG low) {
  return Filled(VT_DECIMAL, [=](VARIANT& v) {
    DECIMAL& d = V_DECIMAL(&v);
    d.scale = scale;
    d.sign = negative ? DECIMAL_NEG : 0;
    d.Hi32 = high;
    d.Lo64 = low;
  });
}

Variant MakeBytes(const std::vector<BYTE>& bytes) {
  return Filled(VT_ARRAY | VT_UI1, [&](VARIANT& v) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
    V_ARRAY(&v) = array;
  });
}

Variant MakeDispatch(IDispatch* object) {
  return Filled(VT_DISPATCH, [=](VARIANT& v) {
    V_DISPATCH(&v) = object;
    if (object) object->AddRef();
  });
}

}  // namespace clasp::testing
