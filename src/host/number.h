// Exact reading of numeric values, shared by rounding and comparison.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clasp::detail {

// Where the fractional part of a number lies relative to one half.
enum class Fraction { kZero, kBelowHalf, kHalf, kAboveHalf };

// |value| = whole + fraction, exactly; `huge` when whole has more than 19 digits
// (10^19 or more), which leaves room in 64 bits to round it up.
struct Number {
  bool negative = false;
  bool huge = false;
  std::uint64_t whole = 0;
  Fraction fraction = Fraction::kZero;
};

// What the en-US platform reader finds in a text: a decimal number, or the
// bits of an &H / &O form (whose sign the platform ignores).
struct TextNumber {
  bool radix = false;
  bool radix_overflow = false;  // more than 64 bits of &H / &O digits
  std::uint64_t bits = 0;
  bool negative = false;
  std::string digits;  // significant decimal digits, no zeros at either end
  std::int64_t exponent = 0;  // the value is digits * 10^exponent
};

// Reads numeric text as the en-US platform does. Before the number, in any
// order: blanks (Unicode's), one plus, one minus, one dollar sign and one "("
// that a ")" (or any minus) must answer; after it blanks, signs, ")", dollar
// signs and commas. Inside: thousands separators anywhere but first, one
// decimal point, an exponent (not after a leading dollar sign), or an &H / &O
// form of plain digits (not after a dollar sign). The text ends at its first
// NUL, as it does for the platform. No value when the text is not a number.
std::optional<TextNumber> ParseNumber(std::u16string_view text);

// The exact value of a decimal text number.
Number FromText(const TextNumber& number);

Number FromDouble(double value);  // caller rejects NaN and infinities

// A 96-bit magnitude (high:low) divided by 10^scale. 32-bit targets have no
// 128-bit integers, so this works digit by digit.
Number FromScaled(bool negative, std::uint32_t high, std::uint64_t low, unsigned scale);

// Decimal digits of a 96-bit magnitude, most significant first, at least "0".
std::string MagnitudeDigits(std::uint32_t high, std::uint64_t low);

}  // namespace clasp::detail

namespace clasp::detail {

// The en-US text of a date (days since 1899-12-30, the fraction being the
// time of day, rounded to the second): "M/D/YYYY h:mm:ss AM", the date alone
// for whole days and the time alone within a day of the start. No value
// outside the years 100 to 9999.
std::optional<std::string> DateText(double date);

}  // namespace clasp::detail
