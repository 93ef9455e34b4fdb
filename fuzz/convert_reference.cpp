#include "convert_reference.h"

#include <cmath>
#include <cstdio>
#include <variant>

#include "exact_number.h"

namespace clasp::fuzz {
namespace {

constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kOverflow = 6;
constexpr std::int32_t kTypeMismatch = 13;
constexpr std::int32_t kInvalidUseOfNull = 94;
constexpr std::int32_t kUnsupportedType = 458;
constexpr unsigned kCurrencyScale = 4;
constexpr int kDoubleDigits = 15;
constexpr int kSingleDigits = 7;
constexpr std::uint64_t kPatternLimit = 0xFFFFFFFFull;  // 32 bits
// Serial days of 1 January 100 and 31 December 9999 (day 0 is 30 December 1899).
constexpr std::int64_t kFirstDay = -657434;
constexpr std::int64_t kLastDay = 2958465;

bool IsReal(Kind kind) {
  return kind == Kind::kR4 || kind == Kind::kR8 || kind == Kind::kDate;
}

bool IsSignedInteger(Kind kind) {
  switch (kind) {
    case Kind::kBool: case Kind::kI1: case Kind::kI2: case Kind::kI4: case Kind::kI8:
    case Kind::kInt: case Kind::kUI1: case Kind::kUI2: case Kind::kUI4: case Kind::kUInt:
      return true;
    default:
      return false;
  }
}

Exact FromSigned(std::int64_t v) {
  const std::uint64_t magnitude =
      v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  return ExactFromInteger(v < 0, magnitude);
}

bool IsAsciiBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// An &H / &O pattern: its bits, or no value when they need more than 64.
struct Pattern {
  std::optional<std::uint64_t> bits;
};
struct NotANumber {};
struct Undecided {};
using TextReading = std::variant<Exact, Pattern, NotANumber, Undecided>;

std::optional<Pattern> ReadPattern(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsAsciiBlank(text[begin])) ++begin;
  while (end > begin && IsAsciiBlank(text[end - 1])) --end;
  const std::u16string_view body = text.substr(begin, end - begin);
  if (body.size() < 3 || body[0] != u'&') return std::nullopt;
  unsigned base = 0;
  if (body[1] == u'H' || body[1] == u'h') base = 16;
  if (body[1] == u'O' || body[1] == u'o') base = 8;
  if (base == 0) return std::nullopt;
  Pattern pattern{0};
  for (char16_t c : body.substr(2)) {
    unsigned digit = base;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (c >= u'a' && c <= u'f') digit = 10 + (c - u'a');
    else if (c >= u'A' && c <= u'F') digit = 10 + (c - u'A');
    if (digit >= base) return std::nullopt;
    if (pattern.bits && *pattern.bits > (UINT64_MAX - digit) / base) pattern.bits.reset();
    if (pattern.bits) pattern.bits = *pattern.bits * base + digit;
  }
  return pattern;
}

TextReading ReadText(std::u16string_view text) {
  // No decimal or hexadecimal digit anywhere: nothing to read a number from.
  bool any_digit = false;
  for (char16_t c : text) {
    any_digit = any_digit || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') ||
                (c >= u'A' && c <= u'F');
  }
  if (!any_digit) return NotANumber{};
  if (auto pattern = ReadPattern(text)) return *pattern;
  if (auto plain = ExactFromPlainText(text)) return *plain;
  return Undecided{};
}

// The exact number a value stands for, or the failure of reading one.
struct Reading {
  std::optional<Exact> number;
  std::int32_t failure = 0;
  bool undecided = false;
};

Reading Read(const HostValue& value) {
  const Kind kind = value.GetKind();
  if (kind == Kind::kEmpty) return {Exact{}};
  if (IsReal(kind)) {
    if (!std::isfinite(value.AsReal())) return {std::nullopt, kOverflow};
    return {ExactFromDouble(value.AsReal())};
  }
  if (kind == Kind::kCurrency) {
    const std::int64_t raw = value.AsInteger();
    return {ExactFromScaled(raw < 0, 0,
                            raw < 0 ? 0 - static_cast<std::uint64_t>(raw)
                                    : static_cast<std::uint64_t>(raw),
                            kCurrencyScale)};
  }
  if (kind == Kind::kDecimal) {
    const Decimal& d = value.AsDecimal();
    return {ExactFromScaled(d.negative, d.high, d.low, d.scale)};
  }
  if (kind == Kind::kUI8) {
    return {ExactFromInteger(false, static_cast<std::uint64_t>(value.AsInteger()))};
  }
  if (IsSignedInteger(kind)) return {FromSigned(value.AsInteger())};
  // The only objects the fuzzer makes are empty references, which the platform
  // cannot convert at all.
  if (kind == Kind::kObject) return {std::nullopt, kUnsupportedType};
  return {std::nullopt, kTypeMismatch};
}

std::u16string Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

std::u16string RealText(double v, int digits) {
  if (std::isnan(v)) return u"NAN";
  if (std::isinf(v)) return v < 0 ? u"-INF" : u"INF";
  if (v == 0) return u"0";
  return Wide(GeneralText(ExactFromDouble(v), digits));
}

// Civil date of a serial day, by days-from-civil arithmetic on March-based years.
std::string WholeDayText(std::int64_t serial) {
  constexpr std::int64_t kUnixDayOfSerialZero = -25569;  // 1899-12-30
  std::int64_t z = serial + kUnixDayOfSerialZero + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
}

// The constant rounded to 24 significant bits, halves to even.
Exact ConstantAsSingle(std::int32_t constant) {
  constexpr int kSingleBits = 24;
  const std::int64_t wide = constant;
  std::uint64_t magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
  int bits = 0;
  while ((magnitude >> bits) != 0) ++bits;
  if (bits > kSingleBits) {
    const int shift = bits - kSingleBits;
    std::uint64_t kept = magnitude >> shift;
    const std::uint64_t dropped = magnitude & ((1ull << shift) - 1);
    const std::uint64_t half = 1ull << (shift - 1);
    if (dropped > half || (dropped == half && (kept & 1) != 0)) ++kept;
    magnitude = kept << shift;
  }
  return ExactFromInteger(wide < 0, magnitude);
}

}  // namespace

bool DecidedText(std::u16string_view text) {
  return !std::holds_alternative<Undecided>(ReadText(text));
}

Expected<std::int32_t> ExpectedInt32(const HostValue& value) {
  using Result = Expected<std::int32_t>;
  if (value.GetKind() == Kind::kText) {
    const TextReading reading = ReadText(value.AsText());
    if (std::holds_alternative<Undecided>(reading)) return Result::Unchecked();
    if (std::holds_alternative<NotANumber>(reading)) return Result::Fails(kTypeMismatch);
    if (const auto* pattern = std::get_if<Pattern>(&reading)) {
      // Up to 32 bits a pattern is the bits of a 32-bit integer: &HFFFFFFFF is -1.
      if (!pattern->bits || *pattern->bits > kPatternLimit) return Result::Fails(kOverflow);
      return Result::Value(static_cast<std::int32_t>(static_cast<std::uint32_t>(*pattern->bits)));
    }
    const auto rounded = RoundToInt32(std::get<Exact>(reading));
    return rounded ? Result::Value(*rounded) : Result::Fails(kOverflow);
  }
  const Reading reading = Read(value);
  if (!reading.number) return Result::Fails(reading.failure);
  const auto rounded = RoundToInt32(*reading.number);
  if (!rounded) return Result::Fails(kOverflow);
  return Result::Value(*rounded);
}

Expected<std::u16string> ExpectedText(const HostValue& value) {
  using Result = Expected<std::u16string>;
  const Kind kind = value.GetKind();
  switch (kind) {
    case Kind::kEmpty:
      return Result::Value(u"");
    case Kind::kNull:
      return Result::Fails(kInvalidUseOfNull);
    case Kind::kText:
      return Result::Value(std::u16string(value.AsText()));
    case Kind::kBool:
      return Result::Value(value.AsInteger() != 0 ? u"True" : u"False");
    case Kind::kDate: {
      const double v = value.AsReal();
      const double day = std::trunc(v);
      if (!(day >= kFirstDay && day <= kLastDay)) return Result::Fails(kInvalidArgument);
      if (v != day || v == 0) return Result::Unchecked();
      return Result::Value(Wide(WholeDayText(static_cast<std::int64_t>(day))));
    }
    case Kind::kR4:
      return Result::Value(RealText(value.AsReal(), kSingleDigits));
    case Kind::kR8:
      return Result::Value(RealText(value.AsReal(), kDoubleDigits));
    default:
      break;
  }
  const Reading reading = Read(value);
  if (!reading.number) return Result::Fails(reading.failure);
  return Result::Value(Wide(PlainText(*reading.number)));
}

Expected<std::optional<int>> ExpectedCompare(const HostValue& value, std::int32_t constant) {
  using Result = Expected<std::optional<int>>;
  const Kind kind = value.GetKind();
  if (kind == Kind::kNull) return Result::Value(std::nullopt);
  if (kind == Kind::kText) {
    // Text compares as the double it reads as; patterns as their 32-bit integer.
    const TextReading reading = ReadText(value.AsText());
    if (std::holds_alternative<Undecided>(reading)) return Result::Unchecked();
    if (std::holds_alternative<NotANumber>(reading)) return Result::Fails(kTypeMismatch);
    if (const auto* pattern = std::get_if<Pattern>(&reading)) {
      if (!pattern->bits || *pattern->bits > kPatternLimit) return Result::Fails(kOverflow);
      const auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(*pattern->bits));
      return Result::Value(CompareExact(FromSigned(bits), constant));
    }
    const auto nearest = NearestDouble(std::get<Exact>(reading));
    if (!nearest) return Result::Fails(kOverflow);
    return Result::Value(CompareExact(ExactFromDouble(*nearest), constant));
  }
  if (IsReal(kind)) {
    double v = value.AsReal();
    // NaN is no number a host can mean: it overflows, whatever its precision.
    if (std::isnan(v)) return Result::Fails(kOverflow);
    if (std::isinf(v)) return Result::Value(v < 0 ? -1 : 1);
    if (kind == Kind::kR4) {
      // A single compares with the constant rounded to single precision.
      return Result::Value(
          CompareExacts(ExactFromDouble(static_cast<float>(v)), ConstantAsSingle(constant)));
    }
  }
  const Reading reading = Read(value);
  if (!reading.number) return Result::Fails(reading.failure);
  return Result::Value(CompareExact(*reading.number, constant));
}

}  // namespace clasp::fuzz
