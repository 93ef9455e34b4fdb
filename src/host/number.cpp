#include "host/number.h"

#include <cmath>
#include <string>

namespace clasp::detail {
namespace {

constexpr int kMaxWholeDigits = 19;  // every 19-digit number fits 64 bits
constexpr int kExponentClamp = 100000;
constexpr std::uint64_t kWholeLimit = 10'000'000'000'000'000'000ull;
constexpr int kHexBase = 16;
constexpr int kOctalBase = 8;
constexpr int kDecimalBase = 10;

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' ||
         c == u'\f';
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
Number FromDigits(bool negative, const std::string& digits, long exponent) {
  Number number;
  number.negative = negative && !digits.empty();
  if (digits.empty()) return number;
  const long whole_digits = static_cast<long>(digits.size()) + exponent;
  if (whole_digits > kMaxWholeDigits) {
    number.huge = true;
    return number;
  }
  for (long i = 0; i < whole_digits; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const int digit = index < digits.size() ? digits[index] - '0' : 0;
    number.whole = number.whole * kDecimalBase + static_cast<unsigned>(digit);
  }
  if (whole_digits >= static_cast<long>(digits.size())) return number;
  if (whole_digits < 0) {
    number.fraction = Fraction::kBelowHalf;  // starts with a zero digit
  } else {
    number.fraction =
        Classify(std::string_view(digits).substr(static_cast<std::size_t>(whole_digits)));
  }
  return number;
}

std::optional<Number> ParseRadix(std::u16string_view text, std::size_t i, int base) {
  Number number;
  bool any = false;
  for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
    any = true;
    const auto digit = static_cast<std::uint64_t>(DigitValue(text[i]));
    if (number.whole > (UINT64_MAX - digit) / static_cast<unsigned>(base)) {
      number.huge = true;
    } else {
      number.whole = number.whole * static_cast<unsigned>(base) + digit;
    }
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (!any || i != text.size()) return std::nullopt;
  return number;
}

}  // namespace

std::optional<Number> ParseNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i + 1 < text.size() && text[i] == u'&') {
    const char16_t marker = text[i + 1];
    if (marker == u'H' || marker == u'h') return ParseRadix(text, i + 2, kHexBase);
    if (marker == u'O' || marker == u'o') return ParseRadix(text, i + 2, kOctalBase);
    return std::nullopt;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  std::string digits;  // significant digits, leading zeros dropped
  long exponent = 0;
  bool any_digit = false;
  // Whole part; thousands separators are allowed once a digit has been seen.
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      any_digit = true;
      if (!digits.empty() || text[i] != u'0') digits.push_back(static_cast<char>(text[i]));
    } else if (text[i] != u',' || !any_digit) {
      break;
    }
  }
  if (i < text.size() && text[i] == u'.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i) {
      any_digit = true;
      if (!digits.empty() || text[i] != u'0') digits.push_back(static_cast<char>(text[i]));
      --exponent;
    }
  }
  if (!any_digit) return std::nullopt;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    std::size_t j = i + 1;
    bool exponent_negative = false;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
      exponent_negative = text[j] == u'-';
      ++j;
    }
    long value = 0;
    bool any = false;
    for (; j < text.size() && IsDigit(text[j]); ++j) {
      any = true;
      if (value < kExponentClamp) value = value * kDecimalBase + (text[j] - u'0');
    }
    if (!any) return std::nullopt;
    exponent += exponent_negative ? -value : value;
    i = j;
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  return FromDigits(negative, digits, exponent);
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
