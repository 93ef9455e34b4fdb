#include "host/number.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

namespace clasp::detail {
namespace {

constexpr int kMaxWholeDigits = 19;  // every 19-digit number fits 64 bits
constexpr std::uint64_t kWholeLimit = 10'000'000'000'000'000'000ull;
constexpr int kHexBase = 16;
constexpr int kOctalBase = 8;
constexpr int kDecimalBase = 10;

// The platform's blanks are Unicode's spaces, not just ASCII ones.
bool IsBlank(char16_t c) {
  return (c >= u'\t' && c <= u'\r') || c == u' ' || c == u'\u0085' || c == u'\u00a0' ||
         c == u'\u1680' || (c >= u'\u2000' && c <= u'\u200a') || c == u'\u2028' ||
         c == u'\u2029' || c == u'\u202f' || c == u'\u205f' || c == u'\u3000';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + kDecimalBase;
  if (c >= u'A' && c <= u'F') return c - u'A' + kDecimalBase;
  return kHexBase;  // never a digit in any base we read
}

Fraction Classify(std::string_view fraction_digits) {
  if (fraction_digits.empty()) return Fraction::kZero;
  const char first = fraction_digits.front();
  if (first < '5') return Fraction::kBelowHalf;
  if (first > '5' || fraction_digits.size() > 1) return Fraction::kAboveHalf;
  return Fraction::kHalf;
}

// digits (no leading or trailing zeros) times 10^exponent.
Number FromDigits(bool negative, const std::string& digits, std::int64_t exponent) {
  Number number;
  number.negative = negative && !digits.empty();
  if (digits.empty()) return number;
  const std::int64_t whole_digits = static_cast<std::int64_t>(digits.size()) + exponent;
  if (whole_digits > kMaxWholeDigits) {
    number.huge = true;
    return number;
  }
  for (std::int64_t i = 0; i < whole_digits; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const int digit = index < digits.size() ? digits[index] - '0' : 0;
    number.whole = number.whole * kDecimalBase + static_cast<unsigned>(digit);
  }
  if (whole_digits >= static_cast<std::int64_t>(digits.size())) return number;
  if (whole_digits < 0) {
    number.fraction = Fraction::kBelowHalf;  // starts with a zero digit
  } else {
    number.fraction =
        Classify(std::string_view(digits).substr(static_cast<std::size_t>(whole_digits)));
  }
  return number;
}

// A text being read, with the platform's view that it ends at NUL.
class Reader {
 public:
  explicit Reader(std::u16string_view text) : text_(text.substr(0, text.find(u'\0'))) {}
  char16_t Peek(std::size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : u'\0';
  }
  void Skip(std::size_t count = 1) { pos_ += count; }
  void SkipBlanks() {
    while (IsBlank(Peek())) Skip();
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  std::size_t Position() const { return pos_; }

 private:
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

// Symbols the en-US reader accepts around a number, each at most once before it.
struct Symbols {
  bool plus = false;
  bool minus = false;
  bool currency = false;
  bool open_paren = false;
};

void ReadLeadingSymbols(Reader& in, Symbols& seen) {
  for (;;) {
    const char16_t c = in.Peek();
    if (IsBlank(c)) {
      in.SkipBlanks();
    } else if (c == u'+' && !seen.plus) {
      seen.plus = true, in.Skip();
    } else if (c == u'-' && !seen.minus) {
      seen.minus = true, in.Skip();
    } else if (c == u'$' && !seen.currency) {
      seen.currency = true, in.Skip();
    } else if (c == u'(' && !seen.open_paren) {
      seen.open_paren = true, in.Skip();
    } else {
      return;
    }
  }
}

// After the number: blanks, and any number of plus, minus, ")", dollar signs
// and commas, plus and minus only where the same sign did not come before the
// number, dollars and commas only after a decimal number.
bool ReadTrailingSymbols(Reader& in, const Symbols& seen, bool radix) {
  bool negative = false;
  for (;;) {
    const char16_t c = in.Peek();
    if (IsBlank(c)) {
      in.SkipBlanks();
    } else if ((c == u'$' || c == u',') && !radix) {
      in.Skip();
    } else if (c == u'+' && !seen.plus) {
      in.Skip();
    } else if (c == u'-' && !seen.minus) {
      negative = true, in.Skip();
    } else if (c == u')' && seen.open_paren) {
      negative = true, in.Skip();
    } else {
      return negative;
    }
  }
}

// The digits of the exponent; the platform adds them up in a 32-bit integer
// that wraps, and so does this.
std::uint32_t ReadExponentDigits(Reader& in) {
  std::uint32_t value = 0;
  while (IsDigit(in.Peek())) {
    value = value * kDecimalBase + static_cast<std::uint32_t>(in.Peek() - u'0');
    in.Skip();
  }
  return value;
}

// The power of ten lives in the same wrapping 32-bit integer as the exponent
// sum; every step on it wraps in unsigned arithmetic, never by signed overflow
// (".e-2147483648,1" takes one more step down after the exponent).
std::int32_t WrappedAdd(std::int32_t power, std::uint32_t step) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(power) + step);
}
constexpr std::uint32_t kOneDown = 0u - 1u;

// The base an &H / &O marker announces, skipping it; decimal without one. A
// leading dollar sign rules the marker out.
int ReadRadixMarker(Reader& in, const Symbols& seen) {
  if (in.Peek() != u'&' || seen.currency) return kDecimalBase;
  const char16_t marker = in.Peek(1);
  int base = kDecimalBase;
  if (marker == u'H' || marker == u'h') base = kHexBase;
  if (marker == u'O' || marker == u'o') base = kOctalBase;
  if (base != kDecimalBase) in.Skip(2);
  return base;
}

// The plain digits of an &H / &O form as bits, first digit first; false when
// there are none. Anything else after them is for the trailing symbols to refuse.
bool ReadRadixDigits(Reader& in, int base, TextNumber& number) {
  const auto wide_base = static_cast<std::uint64_t>(base);
  bool any = false;
  for (int digit = DigitValue(in.Peek()); digit < base; digit = DigitValue(in.Peek())) {
    const auto value = static_cast<std::uint64_t>(digit);
    if (number.bits > (UINT64_MAX - value) / wide_base) {
      number.radix_overflow = true;
    } else {
      number.bits = number.bits * wide_base + value;
    }
    any = true;
    in.Skip();
  }
  return any;
}

// A decimal number as read: its digit values and the power of ten that scales them.
struct DecimalDigits {
  std::string values;
  std::int32_t power = 0;
  bool zero = false;  // zeros were read that `values` leaves out
  bool point = false;
  bool exponent = false;
};

// The decimal point, and the zeros right after it when no digit came before:
// they move the power down and add no digit.
void ReadPoint(Reader& in, DecimalDigits& number) {
  number.point = true;
  in.Skip();
  if (!number.values.empty()) return;
  while (in.Peek() == u'0') {
    number.zero = true;
    number.power = WrappedAdd(number.power, kOneDown);
    in.Skip();
  }
}

// The exponent after its "e": signs and separators in any order (any minus
// makes it negative), then digits, which must be there.
bool ReadExponent(Reader& in, DecimalDigits& number) {
  number.exponent = true;
  in.Skip();
  bool negative = false;
  for (char16_t c = in.Peek(); c == u'+' || c == u'-' || c == u','; c = in.Peek()) {
    negative = negative || c == u'-';
    in.Skip();
  }
  if (!IsDigit(in.Peek())) return false;
  const std::uint32_t value = ReadExponentDigits(in);
  number.power = WrappedAdd(number.power, negative ? 0u - value : value);
  return true;
}

// The digits of a decimal number with thousands separators anywhere but first,
// one decimal point and one exponent (not after a leading dollar sign). Digits
// after the exponent still count as the number's own, each one below the point
// a step further down. False when there is no digit or an exponent has none.
bool ReadDecimalDigits(Reader& in, const Symbols& seen, DecimalDigits& number) {
  const std::size_t body = in.Position();
  while (in.Peek() == u'0') {
    number.zero = true;
    in.Skip();
  }
  for (;;) {
    const char16_t c = in.Peek();
    if (IsDigit(c)) {
      if (number.point) number.power = WrappedAdd(number.power, kOneDown);
      number.values.push_back(static_cast<char>(c - u'0'));
      in.Skip();
    } else if (c == u',' && in.Position() > body) {
      in.Skip();  // thousands separators count nowhere
    } else if (c == u'.' && !number.point && !number.exponent) {
      ReadPoint(in, number);
    } else if ((c == u'e' || c == u'E') && !number.exponent && !seen.currency) {
      if (!ReadExponent(in, number)) return false;
    } else {
      return number.zero || !number.values.empty();
    }
  }
}

// The significant digits, without zeros at either end, and their exponent.
// Trailing zeros are digits, not part of the 32-bit exponent sum: they are
// counted wide.
void StoreDecimal(const DecimalDigits& read, TextNumber& number) {
  const std::string& values = read.values;
  std::size_t first = 0;
  while (first < values.size() && values[first] == 0) ++first;
  std::size_t last = values.size();
  std::int64_t wide_power = read.power;
  while (last > first && values[last - 1] == 0) --last, ++wide_power;
  for (std::size_t k = first; k < last; ++k) {
    number.digits.push_back(static_cast<char>('0' + values[k]));
  }
  number.exponent = wide_power;
}

}  // namespace

std::optional<TextNumber> ParseNumber(std::u16string_view text) {
  Reader in(text);
  Symbols seen;
  ReadLeadingSymbols(in, seen);
  TextNumber number;
  const int base = ReadRadixMarker(in, seen);
  number.radix = base != kDecimalBase;
  if (number.radix) {
    if (!ReadRadixDigits(in, base, number)) return std::nullopt;
  } else {
    DecimalDigits read;
    if (!ReadDecimalDigits(in, seen, read)) return std::nullopt;
    StoreDecimal(read, number);
  }
  const bool trailing_negative = ReadTrailingSymbols(in, seen, number.radix);
  number.negative = seen.minus || trailing_negative;
  if (seen.open_paren && !number.negative) return std::nullopt;  // "(" never closed
  if (!in.AtEnd()) return std::nullopt;
  return number;
}

Number FromText(const TextNumber& number) {
  return FromDigits(number.negative, number.digits, number.exponent);
}

Number FromDouble(double value) {
  Number number;
  number.negative = std::signbit(value) && value != 0;
  const double magnitude = std::fabs(value);
  if (magnitude >= static_cast<double>(kWholeLimit)) {
    number.huge = true;
    return number;
  }
  const double whole = std::floor(magnitude);
  const double fraction = magnitude - whole;  // exact for binary doubles
  number.whole = static_cast<std::uint64_t>(whole);
  constexpr double kHalf = 0.5;
  if (fraction == 0) {
    number.fraction = Fraction::kZero;
  } else if (fraction < kHalf) {
    number.fraction = Fraction::kBelowHalf;
  } else if (fraction == kHalf) {
    number.fraction = Fraction::kHalf;
  } else {
    number.fraction = Fraction::kAboveHalf;
  }
  return number;
}

namespace {

// A 96-bit magnitude as three 32-bit limbs, most significant first.
struct Limbs {
  std::uint32_t part[3];
  bool IsZero() const { return part[0] == 0 && part[1] == 0 && part[2] == 0; }
  // Divides by ten in place and returns the remainder.
  unsigned DivideByTen() {
    std::uint64_t remainder = 0;
    for (auto& limb : part) {
      const std::uint64_t current = (remainder << 32) | limb;
      limb = static_cast<std::uint32_t>(current / kDecimalBase);
      remainder = current % kDecimalBase;
    }
    return static_cast<unsigned>(remainder);
  }
};

Limbs MakeLimbs(std::uint32_t high, std::uint64_t low) {
  return {{high, static_cast<std::uint32_t>(low >> 32), static_cast<std::uint32_t>(low)}};
}

}  // namespace

Number FromScaled(bool negative, std::uint32_t high, std::uint64_t low, unsigned scale) {
  Limbs limbs = MakeLimbs(high, low);
  Number number;
  number.negative = negative && !limbs.IsZero();
  unsigned first_fraction_digit = 0;
  bool more_fraction = false;
  for (unsigned k = 0; k < scale; ++k) {
    more_fraction = more_fraction || first_fraction_digit != 0;
    first_fraction_digit = limbs.DivideByTen();
  }
  if (limbs.part[0] != 0) {
    number.huge = true;
    return number;
  }
  number.whole = (static_cast<std::uint64_t>(limbs.part[1]) << 32) | limbs.part[2];
  if (number.whole >= kWholeLimit) {
    number.huge = true;
    return number;
  }
  constexpr unsigned kHalfDigit = 5;
  if (first_fraction_digit == 0 && !more_fraction) {
    number.fraction = Fraction::kZero;
  } else if (first_fraction_digit < kHalfDigit) {
    number.fraction = Fraction::kBelowHalf;
  } else if (first_fraction_digit == kHalfDigit && !more_fraction) {
    number.fraction = Fraction::kHalf;
  } else {
    number.fraction = Fraction::kAboveHalf;
  }
  return number;
}

std::string MagnitudeDigits(std::uint32_t high, std::uint64_t low) {
  Limbs limbs = MakeLimbs(high, low);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + limbs.DivideByTen()));
  } while (!limbs.IsZero());
  return digits;
}

}  // namespace clasp::detail

namespace clasp::detail {
namespace {

// The representable dates: 1 January 100 to 31 December 9999.
constexpr double kFirstDate = -657434;
constexpr double kLastDate = 2958465;
// Serial day 0: 30 December 1899.
constexpr std::chrono::sys_days kDayZero{std::chrono::year{1899} / std::chrono::December / 30};
// The platform nudges the time of day up by this much so that truncating to
// whole seconds does not lose one to binary fractions.
constexpr double kTimeNudge = 0.00000000001;
constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;
constexpr int kSecondsPerMinute = 60;
constexpr int kNoonHour = 12;

}  // namespace

std::optional<std::string> DateText(double date) {
  if (!(date > kFirstDate - 1 && date < kLastDate + 1)) return std::nullopt;
  const double whole = date < 0 ? std::ceil(date) : std::floor(date);
  // Before day 0 the fraction still counts forward from midnight (-1.25 is
  // 6 AM on 29 December 1899), so the time is the fraction's magnitude.
  double time = std::fabs(date - whole) + kTimeNudge;
  if (time >= 1.0) time -= kTimeNudge;
  // Whole days count towards zero either side of day 0.
  int day = static_cast<int>(date);

  time *= kHoursPerDay;
  int hour = static_cast<int>(time);
  time = (time - hour) * kMinutesPerHour;
  int minute = static_cast<int>(time);
  time = (time - minute) * kSecondsPerMinute;
  int second = static_cast<int>(time);
  constexpr double kHalf = 0.5;
  if (time - second > kHalf && ++second == kSecondsPerMinute) {
    second = 0;
    if (++minute == kMinutesPerHour) {
      minute = 0;
      if (++hour == kHoursPerDay) hour = 0, ++day;
    }
  }

  char text[64] = "";
  int length = 0;
  if (whole != 0) {
    const std::chrono::year_month_day civil{kDayZero + std::chrono::days{day}};
    length = std::snprintf(text, sizeof(text), "%u/%u/%d", static_cast<unsigned>(civil.month()),
                           static_cast<unsigned>(civil.day()), static_cast<int>(civil.year()));
  }
  if (whole == 0 || date != whole) {
    const int hour12 = hour % kNoonHour == 0 ? kNoonHour : hour % kNoonHour;
    std::snprintf(text + length, sizeof(text) - static_cast<std::size_t>(length),
                  "%s%d:%02d:%02d %s", length > 0 ? " " : "", hour12, minute, second,
                  hour < kNoonHour ? "AM" : "PM");
  }
  return std::string(text);
}

}  // namespace clasp::detail
