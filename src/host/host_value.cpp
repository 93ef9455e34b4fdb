#include "host/host_value.h"

#include <charconv>
#include <cstdio>

#include "host/failure.h"
#include "host/number.h"
#include "host/text.h"

namespace clasp {
namespace {

constexpr std::uint16_t kArrayBit = static_cast<std::uint16_t>(Kind::kArray);

// The shortest text that reads back as the same double, for descriptions.
std::u16string RoundTripText(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  return Utf16(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

std::u16string DecimalValueText(const Decimal& d) {
  std::string digits = detail::MagnitudeDigits(d.high, d.low);
  if (d.scale > 0) {
    while (digits.size() <= d.scale) digits.insert(digits.begin(), '0');
    digits.insert(digits.end() - d.scale, '.');
  }
  if (d.negative) digits.insert(digits.begin(), '-');
  return Utf16(digits);
}

}  // namespace

bool HostValue::IsIntegerKind(Kind kind) noexcept {
  switch (kind) {
    case Kind::kI2:
    case Kind::kI4:
    case Kind::kCurrency:
    case Kind::kError:
    case Kind::kBool:
    case Kind::kI1:
    case Kind::kUI1:
    case Kind::kUI2:
    case Kind::kUI4:
    case Kind::kI8:
    case Kind::kUI8:
    case Kind::kInt:
    case Kind::kUInt: return true;
    default: return false;
  }
}

bool HostValue::IsOpaqueKind(Kind kind) noexcept {
  // Every kind the core reads has a payload of its own; the rest travel opaque.
  return kind != Kind::kEmpty && kind != Kind::kNull && kind != Kind::kText &&
         kind != Kind::kObject && kind != Kind::kDecimal && kind != Kind::kR4 &&
         kind != Kind::kR8 && kind != Kind::kDate && !IsIntegerKind(kind);
}

void HostValue::RequireKind(bool matches) {
  if (!matches) throw Failure(kInternalError, u"Value kind does not match its contents");
}

bool operator==(const HostValue& a, const HostValue& b) {
  if (a.kind_ != b.kind_ || a.IsByRef() != b.IsByRef()) return false;
  // Text compares by its text, whether held, borrowed or by reference.
  if (a.kind_ == Kind::kText) return a.AsText() == b.AsText();
  return a.data_ == b.data_;
}

std::u16string KindName(Kind kind) {
  const auto code = static_cast<std::uint16_t>(kind);
  if (code & kArrayBit) {
    return u"Array|" + KindName(static_cast<Kind>(code & ~kArrayBit));
  }
  switch (kind) {
    case Kind::kEmpty: return u"Empty";
    case Kind::kNull: return u"Null";
    case Kind::kI2: return u"I2";
    case Kind::kI4: return u"I4";
    case Kind::kR4: return u"R4";
    case Kind::kR8: return u"R8";
    case Kind::kCurrency: return u"Currency";
    case Kind::kDate: return u"Date";
    case Kind::kText: return u"Text";
    case Kind::kObject: return u"Object";
    case Kind::kError: return u"Error";
    case Kind::kBool: return u"Bool";
    case Kind::kUnknown: return u"Unknown";
    case Kind::kDecimal: return u"Decimal";
    case Kind::kI1: return u"I1";
    case Kind::kUI1: return u"UI1";
    case Kind::kUI2: return u"UI2";
    case Kind::kUI4: return u"UI4";
    case Kind::kI8: return u"I8";
    case Kind::kUI8: return u"UI8";
    case Kind::kInt: return u"Int";
    case Kind::kUInt: return u"UInt";
    default: return u"Kind" + DecimalText(code);
  }
}

std::u16string Describe(const HostValue& value) {
  const Kind kind = value.GetKind();
  std::u16string name = KindName(kind);
  switch (kind) {
    case Kind::kEmpty:
    case Kind::kNull:
      return name;
    case Kind::kText:
      return (value.IsByRef() ? u"&" : u"") + name + u" \"" + std::u16string(value.AsText()) +
             u"\"";
    case Kind::kObject:
      return name + (value.AsObject() ? u"" : u" Nothing");
    case Kind::kBool:
      return name + (value.AsInteger() != 0 ? u" True" : u" False");
    case Kind::kDecimal:
      return name + u" " + DecimalValueText(value.AsDecimal());
    case Kind::kCurrency: {
      Decimal scaled;
      const std::int64_t raw = value.AsInteger();
      scaled.negative = raw < 0;
      scaled.low = raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
      scaled.scale = 4;
      return name + u" " + DecimalValueText(scaled);
    }
    default:
      break;
  }
  if (value.HasInteger()) {
    if (kind == Kind::kUI8 || kind == Kind::kUInt || kind == Kind::kUI4) {
      return name + u" " + Utf16(std::to_string(static_cast<std::uint64_t>(value.AsInteger())));
    }
    return name + u" " + DecimalText(value.AsInteger());
  }
  if (value.HasReal()) return name + u" " + RoundTripText(value.AsReal());
  if (value.HasOpaque()) return name + u" " + value.AsOpaque()->Describe();
  return name;
}

}  // namespace clasp
