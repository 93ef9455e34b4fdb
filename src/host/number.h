// Exact reading of numeric values, shared by rounding and comparison.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clasp::detail {

// Where the fractional part of a number lies relative to one half.
enum class Fraction { kZero, kBelowHalf, kHalf, kAboveHalf };

// |value| = whole + fraction, exactly; `huge` when whole would not fit 63 bits.
struct Number {
  bool negative = false;
  bool huge = false;
  std::uint64_t whole = 0;
  Fraction fraction = Fraction::kZero;
};

// Reads numeric text as the en-US platform does: surrounding blanks, a sign,
// thousands separators, a decimal point, an exponent, and &H / &O forms.
// No value when the text is not a number.
std::optional<Number> ParseNumber(std::u16string_view text);

Number FromDouble(double value);  // caller rejects NaN and infinities

// A 96-bit magnitude (high:low) divided by 10^scale. 32-bit targets have no
// 128-bit integers, so this works digit by digit.
Number FromScaled(bool negative, std::uint32_t high, std::uint64_t low, unsigned scale);

// Decimal digits of a 96-bit magnitude, most significant first, at least "0".
std::string MagnitudeDigits(std::uint32_t high, std::uint64_t low);

}  // namespace clasp::detail
