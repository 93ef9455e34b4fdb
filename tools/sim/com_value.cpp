#include "sim/com_value.h"

#include <memory>
#include <stdexcept>

#include "host/text.h"

namespace clasp::sim {
namespace {

// A value whose kind has no host value of its own (objects, arrays, ...):
// kept only so that a transcript can name it.
class Foreign final : public OpaqueValue {
 public:
  explicit Foreign(std::u16string text) : text_(std::move(text)) {}
  std::u16string Describe() const override { return text_; }

 private:
  std::u16string text_;
};

HostValue Plain(VARTYPE type, const void* data) {
  switch (type) {
    case VT_EMPTY: return HostValue::Empty();
    case VT_NULL: return HostValue::Null();
    case VT_I2: return HostValue::I2(*static_cast<const SHORT*>(data));
    case VT_I4: return HostValue::I4(*static_cast<const LONG*>(data));
    case VT_INT: return HostValue::Integer(Kind::kInt, *static_cast<const INT*>(data));
    case VT_R4: return HostValue::Real(Kind::kR4, *static_cast<const FLOAT*>(data));
    case VT_R8: return HostValue::R8(*static_cast<const DOUBLE*>(data));
    case VT_DATE: return HostValue::Real(Kind::kDate, *static_cast<const DATE*>(data));
    case VT_CY: return HostValue::Integer(Kind::kCurrency, static_cast<const CY*>(data)->int64);
    case VT_BSTR: return HostValue::Text(TextOf(*static_cast<const BSTR*>(data)));
    case VT_BOOL: return HostValue::Bool(*static_cast<const VARIANT_BOOL*>(data) != VARIANT_FALSE);
    case VT_ERROR: return HostValue::Integer(Kind::kError, *static_cast<const SCODE*>(data));
    case VT_I1: return HostValue::Integer(Kind::kI1, *static_cast<const CHAR*>(data));
    case VT_UI1: return HostValue::Integer(Kind::kUI1, *static_cast<const BYTE*>(data));
    case VT_UI2: return HostValue::Integer(Kind::kUI2, *static_cast<const USHORT*>(data));
    case VT_UI4: return HostValue::Integer(Kind::kUI4, *static_cast<const ULONG*>(data));
    case VT_UINT: return HostValue::Integer(Kind::kUInt, *static_cast<const UINT*>(data));
    case VT_I8: return HostValue::Integer(Kind::kI8, *static_cast<const LONGLONG*>(data));
    case VT_UI8:
      return HostValue::Integer(Kind::kUI8,
                                static_cast<std::int64_t>(*static_cast<const ULONGLONG*>(data)));
    case VT_DECIMAL: {
      const DECIMAL& d = *static_cast<const DECIMAL*>(data);
      Decimal decimal;
      decimal.scale = d.scale;
      decimal.negative = (d.sign & DECIMAL_NEG) != 0;
      decimal.high = d.Hi32;
      decimal.low = d.Lo64;
      return HostValue::Dec(decimal);
    }
    default:
      return HostValue::Opaque(static_cast<Kind>(type),
                               std::make_shared<Foreign>(u"(kind " + DecimalText(type) + u")"));
  }
}

}  // namespace

std::u16string TextOf(BSTR text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text))
              : std::u16string();
}

HostValue FromVariant(const VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  if (type == (VT_BYREF | VT_VARIANT)) return FromVariant(*V_VARIANTREF(&value));
  if (type & VT_BYREF) return Plain(type & ~VT_BYREF, V_BYREF(&value));
  if (type == VT_DECIMAL) return Plain(type, &V_DECIMAL(&value));
  // Every other payload starts where the union of the VARIANT starts.
  return Plain(type, &V_UI1(&value));
}

void ToVariant(const HostValue& value, VARIANT* out) {
  VariantInit(out);
  switch (value.GetKind()) {
    case Kind::kEmpty: return;
    case Kind::kNull: V_VT(out) = VT_NULL; return;
    case Kind::kI2: V_VT(out) = VT_I2; V_I2(out) = static_cast<SHORT>(value.AsInteger()); return;
    case Kind::kI4: V_VT(out) = VT_I4; V_I4(out) = static_cast<LONG>(value.AsInteger()); return;
    case Kind::kR8: V_VT(out) = VT_R8; V_R8(out) = value.AsReal(); return;
    case Kind::kR4: V_VT(out) = VT_R4; V_R4(out) = static_cast<FLOAT>(value.AsReal()); return;
    case Kind::kDate: V_VT(out) = VT_DATE; V_DATE(out) = value.AsReal(); return;
    case Kind::kCurrency: V_VT(out) = VT_CY; V_CY(out).int64 = value.AsInteger(); return;
    case Kind::kBool:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = value.AsInteger() != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case Kind::kText:
      V_BSTR(out) = Bstr(value.AsText()).Detach();
      V_VT(out) = VT_BSTR;
      return;
    case Kind::kError: V_VT(out) = VT_ERROR; V_ERROR(out) = static_cast<SCODE>(value.AsInteger()); return;
    case Kind::kI1: V_VT(out) = VT_I1; V_I1(out) = static_cast<CHAR>(value.AsInteger()); return;
    case Kind::kUI1: V_VT(out) = VT_UI1; V_UI1(out) = static_cast<BYTE>(value.AsInteger()); return;
    case Kind::kUI2: V_VT(out) = VT_UI2; V_UI2(out) = static_cast<USHORT>(value.AsInteger()); return;
    case Kind::kUI4: V_VT(out) = VT_UI4; V_UI4(out) = static_cast<ULONG>(value.AsInteger()); return;
    case Kind::kI8: V_VT(out) = VT_I8; V_I8(out) = value.AsInteger(); return;
    case Kind::kUI8: V_VT(out) = VT_UI8; V_UI8(out) = static_cast<ULONGLONG>(value.AsInteger()); return;
    case Kind::kInt: V_VT(out) = VT_INT; V_INT(out) = static_cast<INT>(value.AsInteger()); return;
    case Kind::kUInt: V_VT(out) = VT_UINT; V_UINT(out) = static_cast<UINT>(value.AsInteger()); return;
    case Kind::kDecimal: {
      const Decimal& d = value.AsDecimal();
      DECIMAL& out_d = V_DECIMAL(out);
      out_d.scale = d.scale;
      out_d.sign = d.negative ? DECIMAL_NEG : 0;
      out_d.Hi32 = d.high;
      out_d.Lo64 = d.low;
      V_VT(out) = VT_DECIMAL;  // after the payload: the two share the first bytes
      return;
    }
    default:
      // Objects and arrays never come from a scenario; the hosts hand back
      // only what they were given or configured with.
      throw std::invalid_argument("a value of this kind cannot be handed to the component");
  }
}

}  // namespace clasp::sim
