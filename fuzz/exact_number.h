// A slow, exact model of numbers for checking the conversions against: every
// value is a string of decimal digits times a power of ten, and every rule is
// worked out on those digits. Written apart from the core on purpose, so the
// two can only agree by both being right.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clasp::fuzz {

// value = (negative ? -1 : 1) * digits * 10^exponent. `digits` has no leading
// zeros; zero is the empty string (and then `negative` says nothing).
struct Exact {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;
  bool IsZero() const { return digits.empty(); }
};

// Plain decimal text: ASCII blanks around, an optional sign, digits with
// thousands separators after the first digit, a decimal point, an exponent of
// at most nine digits. No value for any other text, which may or may not be a
// number in the platform's wider reading (symbols around it, &H forms, ...).
std::optional<Exact> ExactFromPlainText(std::u16string_view text);

// The exact value of a finite double (every one is a finite decimal).
Exact ExactFromDouble(double value);

// An unsigned 96-bit magnitude (high:low) scaled down by 10^scale.
Exact ExactFromScaled(bool negative, std::uint32_t high, std::uint64_t low, unsigned scale);

// An integer.
Exact ExactFromInteger(bool negative, std::uint64_t magnitude);

// The double nearest to the value; no value beyond the double range.
std::optional<double> NearestDouble(const Exact& value);

// Rounds to the nearest integer, halves to even. No value when the result
// does not fit a signed 32-bit integer.
std::optional<std::int32_t> RoundToInt32(const Exact& value);

// -1, 0 or 1 as value is below, equal to or above `constant`.
int CompareExact(const Exact& value, std::int32_t constant);
int CompareExacts(const Exact& a, const Exact& b);

// Plain decimal text: a minus sign for negatives, no exponent, no trailing
// zeros after the point, no point when there is no fraction.
std::string PlainText(const Exact& value);

// What printf's %.{significant}G gives for this value: rounded half to even
// on the exact value, trailing zeros dropped, E+dd exponent form when the
// exponent is below -4 or at least `significant`.
std::string GeneralText(const Exact& value, int significant);

}  // namespace clasp::fuzz
