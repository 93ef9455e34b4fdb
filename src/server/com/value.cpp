#include "server/com/value.h"

#include <memory>

#include "host/failure.h"
#include "host/text.h"
#include "server/com/error.h"
#include "server/com/object_bridge.h"

namespace clasp {
namespace {

constexpr BYTE kDecimalNegative = DECIMAL_NEG;
constexpr VARTYPE kFlagBits = static_cast<VARTYPE>(~VT_TYPEMASK);

// The kinds a VARIANT may hold by value, alone or as array elements.
bool IsAutomationKind(VARTYPE kind) noexcept {
  switch (kind) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN:
    case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8:
    case VT_UI8: case VT_INT: case VT_UINT: case VT_RECORD: return true;
    default: return false;
  }
}

// A VARIANT that holds its value: no by-reference bit.
HRESULT CheckPlain(const VARIANT& value) noexcept {
  const VARTYPE type = V_VT(&value);
  const VARTYPE base = type & VT_TYPEMASK;
  const VARTYPE flags = type & kFlagBits;
  if (flags == VT_ARRAY) {
    return IsAutomationKind(base) || base == VT_VARIANT ? S_OK : DISP_E_BADVARTYPE;
  }
  if (flags != 0) return DISP_E_BADVARTYPE;
  if (base == VT_EMPTY || base == VT_NULL) return S_OK;
  if (!IsAutomationKind(base)) return DISP_E_BADVARTYPE;
  if (base == VT_RECORD && !V_RECORDINFO(&value)) return E_POINTER;
  return S_OK;
}

HostValue DecimalValue(const DECIMAL& d) {
  Decimal value;
  value.scale = d.scale;
  value.negative = (d.sign & kDecimalNegative) != 0;
  value.high = d.Hi32;
  value.low = d.Lo64;
  return HostValue::Dec(value);
}

void PutDecimal(const Decimal& value, VARIANT* out) {
  DECIMAL& d = V_DECIMAL(out);
  d.scale = value.scale;
  d.sign = value.negative ? kDecimalNegative : 0;
  d.Hi32 = value.high;
  d.Lo64 = value.low;
  // The kind shares its bytes with the decimal's reserved word: set it last.
  V_VT(out) = VT_DECIMAL;
}

HostValue Carried(const VARIANT& value) {
  return HostValue::Opaque(static_cast<Kind>(V_VT(&value)),
                           std::make_shared<const VariantPayload>(value));
}

HostValue Plain(const VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  switch (type) {
    case VT_EMPTY: return HostValue::Empty();
    case VT_NULL: return HostValue::Null();
    case VT_I2: return HostValue::I2(V_I2(&value));
    case VT_I4: return HostValue::I4(V_I4(&value));
    case VT_R4: return HostValue::Real(Kind::kR4, V_R4(&value));
    case VT_R8: return HostValue::R8(V_R8(&value));
    case VT_CY: return HostValue::Integer(Kind::kCurrency, V_CY(&value).int64);
    case VT_DATE: return HostValue::Real(Kind::kDate, V_DATE(&value));
    case VT_BSTR: return HostValue::Text(ViewOf(V_BSTR(&value)));
    case VT_DISPATCH: return HostValue::Object(HostOfDispatch(V_DISPATCH(&value)));
    case VT_ERROR: return HostValue::Integer(Kind::kError, V_ERROR(&value));
    case VT_BOOL: return HostValue::Bool(V_BOOL(&value) != VARIANT_FALSE);
    case VT_DECIMAL: return DecimalValue(V_DECIMAL(&value));
    case VT_I1: return HostValue::Integer(Kind::kI1, static_cast<signed char>(V_I1(&value)));
    case VT_UI1: return HostValue::Integer(Kind::kUI1, V_UI1(&value));
    case VT_UI2: return HostValue::Integer(Kind::kUI2, V_UI2(&value));
    case VT_UI4: return HostValue::Integer(Kind::kUI4, V_UI4(&value));
    case VT_I8: return HostValue::Integer(Kind::kI8, V_I8(&value));
    case VT_UI8:
      return HostValue::Integer(Kind::kUI8, static_cast<std::int64_t>(V_UI8(&value)));
    case VT_INT: return HostValue::Integer(Kind::kInt, V_INT(&value));
    case VT_UINT: return HostValue::Integer(Kind::kUInt, V_UINT(&value));
    default:
      // Arrays, records and foreign interfaces travel as they came.
      return Carried(value);
  }
}


}  // namespace

VariantPayload::VariantPayload(const VARIANT& value) {
  Check(VariantCopy(value_.Put(), const_cast<VARIANT*>(&value)));
}

std::u16string VariantPayload::Describe() const {
  const VARIANT& value = value_.Get();
  if ((V_VT(&value) & VT_ARRAY) && V_ARRAY(&value)) {
    SAFEARRAY* array = V_ARRAY(&value);
    std::u16string text = u"(";
    for (UINT dimension = 1; dimension <= SafeArrayGetDim(array); ++dimension) {
      LONG lower = 0;
      LONG upper = -1;
      SafeArrayGetLBound(array, dimension, &lower);
      SafeArrayGetUBound(array, dimension, &upper);
      if (dimension > 1) text += u", ";
      text += DecimalText(lower) + u" To " + DecimalText(upper);
    }
    return text + u")";
  }
  return u"";
}

HRESULT CheckValue(const VARIANT& value) noexcept {
  const VARTYPE type = V_VT(&value);
  if (!(type & VT_BYREF)) return CheckPlain(value);
  const VARTYPE base = type & VT_TYPEMASK;
  const VARTYPE flags = type & kFlagBits & ~VT_BYREF;
  if (flags != 0 && flags != VT_ARRAY) return DISP_E_BADVARTYPE;
  if (flags == 0 && !IsAutomationKind(base) && base != VT_VARIANT) return DISP_E_BADVARTYPE;
  if (flags == 0 && base == VT_RECORD) return DISP_E_BADVARTYPE;
  if (flags == VT_ARRAY && !IsAutomationKind(base) && base != VT_VARIANT) {
    return DISP_E_BADVARTYPE;
  }
  if (!V_BYREF(&value)) return E_POINTER;
  if (type != (VT_BYREF | VT_VARIANT)) return S_OK;
  // One level only, as oleaut32 follows them: a reference to a reference is no value.
  const VARIANT& target = *V_VARIANTREF(&value);
  if (V_VT(&target) & VT_BYREF) return DISP_E_BADVARTYPE;
  return CheckPlain(target);
}

HostValue ToHostValue(const VARIANT& value) {
  // The kinds up to Boolean are plain values whatever they hold: what hosts
  // answer nearly always, and read without the full check.
  if (V_VT(&value) <= VT_BOOL) return Plain(value);
  if (const HRESULT bad = CheckValue(value); FAILED(bad)) {
    // A host's unreadable answer raises numbers its own runtime knows.
    if (bad == E_POINTER) throw InvalidArgumentFailure();
    throw UnsupportedTypeFailure();
  }
  const VARTYPE type = V_VT(&value);
  if (type == (VT_BYREF | VT_VARIANT)) return Plain(*V_VARIANTREF(&value));
  if (type & VT_BYREF) {
    Variant plain;
    Check(VariantCopyInd(plain.Put(), const_cast<VARIANT*>(&value)));
    return Plain(plain.Get());
  }
  return Plain(value);
}

void PutVariantOfAnyKind(const HostValue& value, VARIANT* out) {
  if (value.HasOpaque()) {
    const auto* payload = dynamic_cast<const VariantPayload*>(value.AsOpaque().get());
    // A value some other binding carries has no automation form.
    if (!payload) throw TypeMismatchFailure();
    Check(VariantCopy(out, const_cast<VARIANT*>(&payload->Value())));
    return;
  }
  const Kind kind = value.GetKind();
  VARTYPE type = static_cast<VARTYPE>(kind);
  switch (kind) {
    case Kind::kEmpty:
    case Kind::kNull: break;
    case Kind::kI2: V_I2(out) = static_cast<SHORT>(value.AsInteger()); break;
    case Kind::kI4: V_I4(out) = static_cast<LONG>(value.AsInteger()); break;
    case Kind::kR4: V_R4(out) = static_cast<FLOAT>(value.AsReal()); break;
    case Kind::kR8: V_R8(out) = value.AsReal(); break;
    case Kind::kCurrency: V_CY(out).int64 = value.AsInteger(); break;
    case Kind::kDate: V_DATE(out) = value.AsReal(); break;
    case Kind::kText: V_BSTR(out) = Bstr(value.AsText()).Detach(); break;
    case Kind::kObject: V_DISPATCH(out) = DispatchOfHost(value.AsObject()).Detach(); break;
    case Kind::kError: V_ERROR(out) = static_cast<SCODE>(value.AsInteger()); break;
    case Kind::kBool: V_BOOL(out) = value.AsInteger() ? VARIANT_TRUE : VARIANT_FALSE; break;
    case Kind::kDecimal: PutDecimal(value.AsDecimal(), out); return;
    case Kind::kI1: V_I1(out) = static_cast<CHAR>(value.AsInteger()); break;
    case Kind::kUI1: V_UI1(out) = static_cast<BYTE>(value.AsInteger()); break;
    case Kind::kUI2: V_UI2(out) = static_cast<USHORT>(value.AsInteger()); break;
    case Kind::kUI4: V_UI4(out) = static_cast<ULONG>(value.AsInteger()); break;
    case Kind::kI8: V_I8(out) = value.AsInteger(); break;
    case Kind::kUI8: V_UI8(out) = static_cast<ULONGLONG>(value.AsInteger()); break;
    case Kind::kInt: V_INT(out) = static_cast<INT>(value.AsInteger()); break;
    case Kind::kUInt: V_UINT(out) = static_cast<UINT>(value.AsInteger()); break;
    default: throw TypeMismatchFailure();
  }
  V_VT(out) = type;
}

}  // namespace clasp
