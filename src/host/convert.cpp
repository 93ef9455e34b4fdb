#include "host/convert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "host/failure.h"
#include "host/number.h"

namespace clasp {
namespace {

using detail::Fraction;
using detail::Number;

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::uint64_t kUInt32Max = std::numeric_limits<std::uint32_t>::max();
constexpr unsigned kCurrencyScale = 4;
constexpr int kR8Digits = 15;  // significant digits the platform prints for doubles
constexpr int kR4Digits = 7;

// Nested objects are followed this far; an object whose default member answers
// itself would otherwise never end.
constexpr int kDefaultMemberDepth = 16;


std::uint64_t Magnitude(std::int64_t v) {
  return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// The kinds that hold a plain whole number, truth (-1 or 0) among them. Currency
// is held scaled and an error code is no number, so neither is one here.
bool IsWholeNumber(Kind kind) noexcept {
  switch (kind) {
    case Kind::kBool:
    case Kind::kI1:
    case Kind::kI2:
    case Kind::kI4:
    case Kind::kI8:
    case Kind::kInt:
    case Kind::kUI1:
    case Kind::kUI2:
    case Kind::kUI4:
    case Kind::kUI8:
    case Kind::kUInt:
      return true;
    default:
      return false;
  }
}

Number FromInteger(Kind kind, std::int64_t v) {
  Number number;
  if (kind == Kind::kUI8) {
    number.whole = static_cast<std::uint64_t>(v);
    return number;
  }
  number.negative = v < 0;
  number.whole = Magnitude(v);
  return number;
}

Number FromReal(double v) {
  // The platform reports a value it cannot represent as an overflow.
  if (!std::isfinite(v)) throw OverflowFailure();
  return detail::FromDouble(v);
}

detail::TextNumber ReadText(std::u16string_view text) {
  auto number = detail::ParseNumber(text);
  if (!number) throw TypeMismatchFailure();
  return *number;
}

// &H / &O forms are bit patterns: up to 32 bits they read as a signed 32-bit
// integer (&HFFFFFFFF is -1), beyond that they overflow.
std::int32_t RadixToInt32(const detail::TextNumber& text) {
  if (text.radix_overflow || text.bits > kUInt32Max) throw OverflowFailure();
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(text.bits));
}

Number FromRadix(const detail::TextNumber& text) {
  return FromInteger(Kind::kI4, RadixToInt32(text));
}

// Every kind that has a numeric reading; null, objects and the rest do not.
Number ToNumber(const HostValue& value) {
  const Kind kind = value.GetKind();
  if (IsWholeNumber(kind)) return FromInteger(kind, value.AsInteger());
  switch (kind) {
    case Kind::kEmpty:
      return {};
    case Kind::kText: {
      const detail::TextNumber text = ReadText(value.AsText());
      if (text.radix) return FromRadix(text);
      return detail::FromText(text);
    }
    case Kind::kR4:
    case Kind::kR8:
    case Kind::kDate:
      return FromReal(value.AsReal());
    case Kind::kCurrency: {
      const std::int64_t raw = value.AsInteger();
      return detail::FromScaled(raw < 0, 0, Magnitude(raw), kCurrencyScale);
    }
    case Kind::kDecimal: {
      const Decimal& d = value.AsDecimal();
      return detail::FromScaled(d.negative, d.high, d.low, d.scale);
    }
    default:
      throw TypeMismatchFailure();
  }
}

// A double as the platform writes it, to `digits` significant digits.
std::u16string SignificantDigitsText(double v, int digits) {
  // The platform spells the values that are no numbers in capitals.
  if (std::isnan(v)) return u"NAN";
  if (std::isinf(v)) return v < 0 ? u"-INF" : u"INF";
  if (v == 0) return u"0";  // -0 too
  char buffer[48];
  std::snprintf(buffer, sizeof(buffer), "%.*G", digits, v);
  // %G prints e+20 / e-05; the platform prints E+20 / E-05, as here.
  return Utf16(buffer);
}

std::u16string ScaledText(bool negative, std::uint32_t high, std::uint64_t low,
                          unsigned scale) {
  std::string digits = detail::MagnitudeDigits(high, low);
  while (digits.size() <= scale) digits.insert(digits.begin(), '0');
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = whole + (fraction.empty() ? "" : "." + fraction);
  if (negative && text != "0") text.insert(text.begin(), '-');
  return Utf16(text);
}

// The decimal text of a whole number; an unsigned 64-bit one is held in the
// signed integer's bits.
std::u16string WholeNumberText(Kind kind, std::int64_t v) {
  if (kind == Kind::kUI8) return Utf16(std::to_string(static_cast<std::uint64_t>(v)));
  return DecimalText(v);
}

// Rounded to single precision through memory: x87 registers would otherwise
// keep the extra bits, and 16777217 would not become 16777216.
float Single(double v) {
  volatile float single = static_cast<float>(v);
  return single;
}

template <class T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// The double nearest to a decimal text number; beyond the double range the
// platform reports an overflow.
double TextToDouble(const detail::TextNumber& text) {
  if (text.digits.empty()) return 0;
  const std::string literal =
      (text.negative ? "-" : "") + text.digits + "e" + std::to_string(text.exponent);
  const double result = std::strtod(literal.c_str(), nullptr);
  if (!std::isfinite(result)) throw OverflowFailure();
  return result;
}

// Sign-magnitude comparison; -0 equals 0.
int CompareSigned(bool negative_a, std::uint64_t a, bool negative_b, std::uint64_t b) {
  if (a == 0) negative_a = false;
  if (b == 0) negative_b = false;
  if (negative_a != negative_b) return negative_a ? -1 : 1;
  const int magnitude_order = a < b ? -1 : (a > b ? 1 : 0);
  return negative_a ? -magnitude_order : magnitude_order;
}

// The value an object stands for: its default member, read once, and followed
// through objects that answer objects, as the platform converts them. The
// platform does not pass on why the member failed: it reports a type
// mismatch, and an empty reference as a kind it cannot convert.
HostValue DefaultOf(const HostValue& object) {
  HostValue current = object;
  for (int depth = 0; current.GetKind() == Kind::kObject; ++depth) {
    if (!current.AsObject()) throw UnsupportedTypeFailure();
    if (depth == kDefaultMemberDepth) throw TypeMismatchFailure();
    HostValue next;
    try {
      next = current.AsObject().DefaultValue();
    } catch (const Failure&) {
      throw TypeMismatchFailure();
    }
    current = std::move(next);
  }
  return current;
}

}  // namespace

bool LeftToPlatform(const HostValue& value) noexcept {
  switch (value.GetKind()) {
    case Kind::kDate:
    case Kind::kCurrency:
    case Kind::kDecimal:
      return true;
    default:
      return value.HasOpaque();
  }
}

namespace {

// `platform` is null when the conversions were made without the platform's.
// Integers and Empty answered directly never get here (Conversions::ToInt32
// takes them inline); a default member's answer does, and is read in full.
std::int32_t PlainToInt32(const HostValue& value, const PlatformConversions* platform) {
  if (platform && LeftToPlatform(value)) return platform->ToInt32(value);
  if (value.GetKind() == Kind::kText) {
    const detail::TextNumber text = ReadText(value.AsText());
    if (text.radix) return RadixToInt32(text);
  }
  const Number number = ToNumber(value);
  if (number.huge) throw OverflowFailure();
  std::uint64_t whole = number.whole;
  const bool odd = (whole & 1) != 0;
  if (number.fraction == Fraction::kAboveHalf ||
      (number.fraction == Fraction::kHalf && odd)) {
    ++whole;
  }
  if (whole > static_cast<std::uint64_t>(kInt32Max) + 1) throw OverflowFailure();
  const std::int64_t signed_whole =
      number.negative ? -static_cast<std::int64_t>(whole) : static_cast<std::int64_t>(whole);
  if (signed_whole < kInt32Min || signed_whole > kInt32Max) throw OverflowFailure();
  return static_cast<std::int32_t>(signed_whole);
}

std::u16string PlainToText(const HostValue& value, const PlatformConversions* platform) {
  if (platform && LeftToPlatform(value)) return platform->ToText(value);
  const Kind kind = value.GetKind();
  switch (kind) {
    case Kind::kEmpty:
      return {};
    case Kind::kNull:
      throw InvalidUseOfNullFailure();
    case Kind::kText:
      return std::u16string(value.AsText());
    case Kind::kBool:
      return value.AsInteger() != 0 ? u"True" : u"False";
    case Kind::kR8:
      return SignificantDigitsText(value.AsReal(), kR8Digits);
    case Kind::kDate: {
      const auto text = detail::DateText(value.AsReal());
      if (!text) throw InvalidArgumentFailure();  // a date outside the years 100 to 9999
      return Utf16(*text);
    }
    case Kind::kR4:
      return SignificantDigitsText(value.AsReal(), kR4Digits);
    case Kind::kCurrency: {
      const std::int64_t raw = value.AsInteger();
      return ScaledText(raw < 0, 0, Magnitude(raw), kCurrencyScale);
    }
    case Kind::kDecimal: {
      const Decimal& d = value.AsDecimal();
      return ScaledText(d.negative, d.high, d.low, d.scale);
    }
    default:
      // Truth, a whole number too, took its words above.
      if (IsWholeNumber(kind)) return WholeNumberText(kind, value.AsInteger());
      throw TypeMismatchFailure();
  }
}

std::optional<int> PlainCompareWith(const HostValue& value, std::int32_t constant,
                                    const PlatformConversions* platform) {
  if (platform && LeftToPlatform(value)) return platform->CompareWith(value, constant);
  switch (value.GetKind()) {
    case Kind::kNull:
      return std::nullopt;
    case Kind::kText: {
      // The host compares text with a number as the double the text reads as.
      const detail::TextNumber text = ReadText(value.AsText());
      if (text.radix) return Order(RadixToInt32(text), constant);
      return Order(TextToDouble(text), static_cast<double>(constant));
    }
    case Kind::kR4:
      if (std::isnan(value.AsReal())) throw OverflowFailure();  // as for a double
      // A single compares with an integer in single precision.
      return Order(Single(value.AsReal()), Single(constant));
    case Kind::kR8:
    case Kind::kDate:
      if (std::isnan(value.AsReal())) throw OverflowFailure();
      return Order(value.AsReal(), static_cast<double>(constant));
    default:
      break;
  }
  const Number number = ToNumber(value);
  const bool has_fraction = number.fraction != Fraction::kZero;
  if (number.huge) return number.negative ? -1 : 1;
  const int whole_order =
      CompareSigned(number.negative, number.whole, constant < 0, Magnitude(constant));
  if (!has_fraction) return whole_order;
  // The value lies strictly between whole and the next integer away from zero.
  if (!number.negative) return whole_order >= 0 ? 1 : -1;
  return whole_order <= 0 ? -1 : 1;
}

}  // namespace

// An object converts as the value of its default member; everything else as it
// is. The integer and empty answers the header reads itself arrive here only
// as what an object's default member stands for.
std::int32_t Conversions::ReadInt32(const HostValue& value) const {
  if (value.GetKind() == Kind::kObject) return PlainToInt32(DefaultOf(value), platform_);
  return PlainToInt32(value, platform_);
}

std::u16string Conversions::ToText(const HostValue& value) const {
  if (value.GetKind() == Kind::kObject) return PlainToText(DefaultOf(value), platform_);
  return PlainToText(value, platform_);
}

NullableText Conversions::ToNullableText(const HostValue& value) const {
  if (value.GetKind() == Kind::kObject) {
    const HostValue standing_for = DefaultOf(value);
    if (standing_for.IsNull()) return std::nullopt;
    return PlainToText(standing_for, platform_);
  }
  if (value.IsNull()) return std::nullopt;
  return PlainToText(value, platform_);
}

std::optional<int> Conversions::ReadOrder(const HostValue& value, std::int32_t constant) const {
  if (value.GetKind() == Kind::kObject) return PlainCompareWith(DefaultOf(value), constant, platform_);
  return PlainCompareWith(value, constant, platform_);
}

}  // namespace clasp
