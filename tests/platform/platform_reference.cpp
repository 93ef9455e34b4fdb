#include "platform_reference.h"

#include <windows.h>
#include <oleauto.h>

#include <span>
#include <utility>

#include "host/convert.h"
#include "host/failure.h"
#include "server/com/host_object_adapter.h"
#include "support/dispatch_host.h"
#include "support/failure_of.h"
#include "support/recording_host.h"

namespace clasp::platform_test {
namespace {

constexpr LCID kEnglishUs = 0x409;

// Owns a VARIANT for the length of one conversion.
class OwnedVariant {
 public:
  OwnedVariant() { VariantInit(&value_); }
  ~OwnedVariant() { VariantClear(&value_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

void Build(const Case& c, OwnedVariant& out) {
  VARIANT& v = *out.get();
  switch (c.kind) {
    case Kind::kEmpty: V_VT(&v) = VT_EMPTY; break;
    case Kind::kNull: V_VT(&v) = VT_NULL; break;
    case Kind::kText:
      V_BSTR(&v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(c.text.data()),
                                     static_cast<UINT>(c.text.size()));
      V_VT(&v) = VT_BSTR;
      break;
    case Kind::kBool: V_BOOL(&v) = c.integer != 0 ? VARIANT_TRUE : VARIANT_FALSE; V_VT(&v) = VT_BOOL; break;
    case Kind::kI1: V_I1(&v) = static_cast<CHAR>(c.integer); V_VT(&v) = VT_I1; break;
    case Kind::kI2: V_I2(&v) = static_cast<SHORT>(c.integer); V_VT(&v) = VT_I2; break;
    case Kind::kI4: V_I4(&v) = static_cast<LONG>(c.integer); V_VT(&v) = VT_I4; break;
    case Kind::kI8: V_I8(&v) = c.integer; V_VT(&v) = VT_I8; break;
    case Kind::kUI1: V_UI1(&v) = static_cast<BYTE>(c.integer); V_VT(&v) = VT_UI1; break;
    case Kind::kUI2: V_UI2(&v) = static_cast<USHORT>(c.integer); V_VT(&v) = VT_UI2; break;
    case Kind::kUI4: V_UI4(&v) = static_cast<ULONG>(c.integer); V_VT(&v) = VT_UI4; break;
    case Kind::kUI8: V_UI8(&v) = static_cast<ULONG64>(c.integer); V_VT(&v) = VT_UI8; break;
    case Kind::kInt: V_INT(&v) = static_cast<INT>(c.integer); V_VT(&v) = VT_INT; break;
    case Kind::kUInt: V_UINT(&v) = static_cast<UINT>(c.integer); V_VT(&v) = VT_UINT; break;
    case Kind::kError: V_ERROR(&v) = static_cast<SCODE>(c.integer); V_VT(&v) = VT_ERROR; break;
    case Kind::kR4: V_R4(&v) = static_cast<float>(c.real); V_VT(&v) = VT_R4; break;
    case Kind::kR8: V_R8(&v) = c.real; V_VT(&v) = VT_R8; break;
    case Kind::kDate: V_DATE(&v) = c.real; V_VT(&v) = VT_DATE; break;
    case Kind::kCurrency: V_CY(&v).int64 = c.integer; V_VT(&v) = VT_CY; break;
    case Kind::kDecimal: {
      DECIMAL d{};
      d.scale = c.decimal.scale;
      d.sign = c.decimal.negative ? DECIMAL_NEG : 0;
      d.Hi32 = c.decimal.high;
      d.Lo64 = c.decimal.low;
      V_DECIMAL(&v) = d;  // overlaps the kind field, so the kind goes in after
      V_VT(&v) = VT_DECIMAL;
      break;
    }
    default: break;
  }
}

std::string FailureText(HRESULT hr) {
  if (hr == DISP_E_TYPEMISMATCH) return "fails " + std::to_string(kTypeMismatch);
  if (hr == DISP_E_OVERFLOW) return "fails " + std::to_string(kOverflow);
  // What the host's runtime makes of E_INVALIDARG: invalid procedure call.
  if (hr == E_INVALIDARG) return "fails 5";
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "fails 0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

std::string OrderText(int order) { return order < 0 ? "<" : (order > 0 ? ">" : "="); }

// A VARIANT holding a new automation object whose default member answers the
// case's value to every read, as a script class with a default property does.
void BuildObject(const Case& c, OwnedVariant& out) {
  OwnedVariant value;
  Build(c, value);
  ComPtr<testing::DispatchHost> answer = testing::DispatchHost::Create("Answer");
  answer->Defaults(*value);
  V_DISPATCH(out.get()) = answer.Detach();
  V_VT(out.get()) = VT_DISPATCH;
}

std::string PlatformChange(OwnedVariant& in, VARTYPE type) {
  OwnedVariant out;
  const HRESULT hr = VariantChangeTypeEx(out.get(), in.get(), kEnglishUs, 0, type);
  if (FAILED(hr)) return FailureText(hr);
  if (type == VT_I4) return std::to_string(V_I4(&*out));
  const BSTR text = V_BSTR(&*out);
  return Quote(std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}

HostValue ObjectValue(const Case& c, ObjectPath path, OwnedVariant& keep) {
  if (path == ObjectPath::kCore) {
    // A host object of the core's own with nothing but a default member.
    const Ref<testing::RecordingHost> answer = testing::RecordingHost::Create("Answer");
    answer->Returns(std::u16string(testing::RecordingHost::kDefaultMember), ToHostValue(c));
    answer->AnswersFrom([](std::u16string_view, std::span<const HostValue>, bool) -> HostValue {
      throw MemberMissingFailure();
    });
    return HostValue::Object(answer->Object());
  }
  BuildObject(c, keep);
  return HostValue::Object(HostObjectAdapter::Wrap(V_DISPATCH(keep.get())));
}

}  // namespace

std::string PlatformObjectToInt32(const Case& c) {
  OwnedVariant in;
  BuildObject(c, in);
  return PlatformChange(in, VT_I4);
}

std::string PlatformObjectToText(const Case& c) {
  OwnedVariant in;
  BuildObject(c, in);
  return PlatformChange(in, VT_BSTR);
}

std::string PlatformObjectCompare(const Case& c, std::int32_t constant) {
  return PlatformCompare(c, constant);
}

std::string CoreObjectToInt32(const Case& c, ObjectPath path) {
  return testing::TextOrFailure([&] {
    OwnedVariant keep;
    return std::to_string(ToInt32(ObjectValue(c, path, keep)));
  });
}

std::string CoreObjectToText(const Case& c, ObjectPath path) {
  return testing::TextOrFailure([&] {
    OwnedVariant keep;
    return Quote(ToText(ObjectValue(c, path, keep)));
  });
}

std::string CoreObjectCompare(const Case& c, std::int32_t constant, ObjectPath path) {
  return testing::TextOrFailure([&]() -> std::string {
    OwnedVariant keep;
    const auto order = CompareWith(ObjectValue(c, path, keep), constant);
    return order ? OrderText(*order) : "null";
  });
}

std::string Quote(std::u16string_view text) {
  std::string out = "\"";
  static const char kHex[] = "0123456789ABCDEF";
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
    }
  }
  return out + "\"";
}

std::string PlatformToInt32(const Case& c) {
  OwnedVariant in, out;
  Build(c, in);
  const HRESULT hr = VariantChangeTypeEx(out.get(), in.get(), kEnglishUs, 0, VT_I4);
  if (FAILED(hr)) return FailureText(hr);
  return std::to_string(V_I4(&*out));
}

std::string PlatformToText(const Case& c) {
  OwnedVariant in, out;
  Build(c, in);
  const HRESULT hr = VariantChangeTypeEx(out.get(), in.get(), kEnglishUs, 0, VT_BSTR);
  if (FAILED(hr)) return FailureText(hr);
  const BSTR text = V_BSTR(&*out);
  return Quote(std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}

std::string PlatformCompare(const Case& c, std::int32_t constant) {
  OwnedVariant in, number, right;
  Build(c, in);
  VARIANT* left = in.get();
  if (c.kind == Kind::kText) {
    const HRESULT hr = VariantChangeTypeEx(number.get(), in.get(), kEnglishUs, 0, VT_R8);
    if (FAILED(hr)) return FailureText(hr);
    left = number.get();
  }
  V_VT(right.get()) = VT_I4;
  V_I4(right.get()) = constant;
  const HRESULT order = VarCmp(left, right.get(), kEnglishUs, 0);
  switch (order) {
    case VARCMP_LT: return "<";
    case VARCMP_EQ: return "=";
    case VARCMP_GT: return ">";
    case VARCMP_NULL: return "null";
    default: return FailureText(order);
  }
}

std::string CoreToInt32(const Case& c, Conversions convert) {
  return testing::TextOrFailure([&] { return std::to_string(convert.ToInt32(ToHostValue(c))); });
}

std::string CoreToText(const Case& c, Conversions convert) {
  return testing::TextOrFailure([&] { return Quote(convert.ToText(ToHostValue(c))); });
}

std::string CoreCompare(const Case& c, std::int32_t constant, Conversions convert) {
  return testing::TextOrFailure([&]() -> std::string {
    const auto order = convert.CompareWith(ToHostValue(c), constant);
    return order ? OrderText(*order) : "null";
  });
}

}  // namespace clasp::platform_test
