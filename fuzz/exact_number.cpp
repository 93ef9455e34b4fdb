#include "exact_number.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace clasp::fuzz {
namespace {

constexpr std::uint32_t kLimbBase = 1'000'000'000;
constexpr int kLimbDigits = 9;
constexpr std::uint32_t kTwoChunk = 1u << 29;  // chunks keep limb * factor within 64 bits
constexpr int kTwoChunkPower = 29;
constexpr std::uint32_t kFiveChunk = 1'220'703'125;  // 5^13
constexpr int kFiveChunkPower = 13;
constexpr int kDoubleMantissaBits = 53;
constexpr std::size_t kMaxExponentDigits = 9;  // the platform sums longer ones in 32 bits
constexpr std::int64_t kInt32Digits = 10;

// A natural number in base 10^9, least significant limb first.
class Natural {
 public:
  explicit Natural(std::uint64_t v) {
    do {
      limbs_.push_back(static_cast<std::uint32_t>(v % kLimbBase));
      v /= kLimbBase;
    } while (v != 0);
  }
  void MultiplyAdd(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (auto& limb : limbs_) {
      const std::uint64_t current = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(current % kLimbBase);
      carry = current / kLimbBase;
    }
    while (carry != 0) {
      limbs_.push_back(static_cast<std::uint32_t>(carry % kLimbBase));
      carry /= kLimbBase;
    }
  }
  void MultiplyByPower(std::uint32_t base, int power, std::uint32_t chunk, int chunk_power) {
    for (; power >= chunk_power; power -= chunk_power) MultiplyAdd(chunk, 0);
    std::uint32_t rest = 1;
    for (; power > 0; --power) rest *= base;
    MultiplyAdd(rest, 0);
  }
  std::string Digits() const {
    std::string text = std::to_string(limbs_.back());
    for (auto it = limbs_.rbegin() + 1; it != limbs_.rend(); ++it) {
      const std::string part = std::to_string(*it);
      text += std::string(kLimbDigits - part.size(), '0') + part;
    }
    return text;
  }

 private:
  std::vector<std::uint32_t> limbs_;
};

Exact Normalised(bool negative, std::string digits, std::int64_t exponent) {
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return {};
  digits.erase(0, first);
  while (digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  return {negative, std::move(digits), exponent};
}

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}
bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool AllDigits(std::u16string_view text) {
  for (char16_t c : text) {
    if (!IsDecimalDigit(c)) return false;
  }
  return true;
}

std::string Narrow(std::u16string_view digits) {
  std::string out;
  for (char16_t c : digits) out.push_back(static_cast<char>(c));
  return out;
}

std::int64_t ExponentValue(std::u16string_view digits, bool negative) {
  std::int64_t value = 0;
  for (char16_t c : digits) value = value * 10 + (c - u'0');
  return negative ? -value : value;
}

// The integer part and the fraction digits of a value, for rounding.
struct Split {
  std::string whole;     // at most kInt32Digits + 1 digits, "" for zero
  std::string fraction;  // exact fraction digits
};

// "Round half to even" on digit strings: true when the kept part goes up.
bool RoundsUp(const std::string& kept, std::string_view dropped) {
  if (dropped.empty() || dropped[0] < '5') return false;
  if (dropped[0] > '5') return true;
  if (dropped.find_first_not_of('0', 1) != std::string_view::npos) return true;
  const char last = kept.empty() ? '0' : kept.back();
  return (last - '0') % 2 == 1;
}

std::string Increment(std::string digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return digits;
    }
    *it = '0';
  }
  return "1" + digits;
}

std::string PlainMagnitude(const Exact& value) {
  if (value.IsZero()) return "0";
  const auto size = static_cast<std::int64_t>(value.digits.size());
  if (value.exponent >= 0) {
    return value.digits + std::string(static_cast<std::size_t>(value.exponent), '0');
  }
  const std::int64_t whole = size + value.exponent;
  if (whole > 0) {
    const auto at = static_cast<std::size_t>(whole);
    return value.digits.substr(0, at) + "." + value.digits.substr(at);
  }
  return "0." + std::string(static_cast<std::size_t>(-whole), '0') + value.digits;
}

}  // namespace

std::optional<Exact> ExactFromPlainText(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::u16string_view body = text.substr(begin, end - begin);
  bool negative = false;
  if (!body.empty() && (body[0] == u'+' || body[0] == u'-')) {
    negative = body[0] == u'-';
    body.remove_prefix(1);
  }
  std::u16string_view mantissa = body;
  std::int64_t exponent = 0;
  if (const auto e = body.find_first_of(u"eE"); e != std::u16string_view::npos) {
    mantissa = body.substr(0, e);
    std::u16string_view power = body.substr(e + 1);
    bool power_negative = false;
    if (!power.empty() && (power[0] == u'+' || power[0] == u'-')) {
      power_negative = power[0] == u'-';
      power.remove_prefix(1);
    }
    if (power.empty() || power.size() > kMaxExponentDigits || !AllDigits(power)) {
      return std::nullopt;
    }
    exponent = ExponentValue(power, power_negative);
  }
  std::u16string_view whole = mantissa;
  std::u16string_view fraction;
  if (const auto point = mantissa.find(u'.'); point != std::u16string_view::npos) {
    whole = mantissa.substr(0, point);
    fraction = mantissa.substr(point + 1);
  }
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if (!AllDigits(fraction)) return std::nullopt;
  std::string digits;
  if (!whole.empty()) {
    if (!IsDecimalDigit(whole[0])) return std::nullopt;
    for (char16_t c : whole) {
      if (IsDecimalDigit(c)) digits.push_back(static_cast<char>(c));
      else if (c != u',') return std::nullopt;
    }
  }
  digits += Narrow(fraction);
  exponent -= static_cast<std::int64_t>(fraction.size());
  return Normalised(negative, std::move(digits), exponent);
}

Exact ExactFromDouble(double value) {
  if (value == 0) return {};
  int binary_exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &binary_exponent);
  const auto mantissa =
      static_cast<std::uint64_t>(std::ldexp(fraction, kDoubleMantissaBits));
  const int power = binary_exponent - kDoubleMantissaBits;
  Natural magnitude(mantissa);
  std::int64_t exponent = 0;
  if (power >= 0) {
    magnitude.MultiplyByPower(2, power, kTwoChunk, kTwoChunkPower);
  } else {
    // m / 2^k = m * 5^k / 10^k
    magnitude.MultiplyByPower(5, -power, kFiveChunk, kFiveChunkPower);
    exponent = power;
  }
  return Normalised(value < 0, magnitude.Digits(), exponent);
}

Exact ExactFromScaled(bool negative, std::uint32_t high, std::uint64_t low, unsigned scale) {
  Natural magnitude(high);
  // high * 2^64 + low, sixteen bits at a time so every step fits a limb product.
  magnitude.MultiplyAdd(1u << 16, static_cast<std::uint32_t>(low >> 32) >> 16);
  magnitude.MultiplyAdd(1u << 16, static_cast<std::uint32_t>(low >> 32) & 0xFFFF);
  magnitude.MultiplyAdd(1u << 16, static_cast<std::uint32_t>(low) >> 16);
  magnitude.MultiplyAdd(1u << 16, static_cast<std::uint32_t>(low) & 0xFFFF);
  return Normalised(negative, magnitude.Digits(), -static_cast<std::int64_t>(scale));
}

Exact ExactFromInteger(bool negative, std::uint64_t magnitude) {
  return Normalised(negative, std::to_string(magnitude), 0);
}

std::optional<double> NearestDouble(const Exact& value) {
  if (value.IsZero()) return 0.0;
  // strtod rounds correctly; the digits and the exponent are our own reading.
  const std::string literal = (value.negative ? "-" : "") + value.digits + "e" +
                              std::to_string(value.exponent);
  const double result = std::strtod(literal.c_str(), nullptr);
  if (!std::isfinite(result)) return std::nullopt;
  return result;
}

std::optional<std::int32_t> RoundToInt32(const Exact& value) {
  if (value.IsZero()) return 0;
  const std::int64_t whole_digits =
      static_cast<std::int64_t>(value.digits.size()) + value.exponent;
  if (whole_digits > kInt32Digits + 1) return std::nullopt;
  if (whole_digits < 0) return 0;  // below a tenth
  Split split;
  if (whole_digits == 0) {
    split.fraction = value.digits;
  } else if (value.exponent >= 0) {
    split.whole = value.digits + std::string(static_cast<std::size_t>(value.exponent), '0');
  } else {
    const auto at = static_cast<std::size_t>(whole_digits);
    split.whole = value.digits.substr(0, at);
    split.fraction = value.digits.substr(at);
  }
  std::uint64_t magnitude = split.whole.empty() ? 0 : std::stoull(split.whole);
  if (RoundsUp(split.whole, split.fraction)) ++magnitude;
  const std::int64_t limit = value.negative ? 2147483648LL : 2147483647LL;
  if (magnitude > static_cast<std::uint64_t>(limit)) return std::nullopt;
  const auto signed_value = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(value.negative ? -signed_value : signed_value);
}

int CompareExact(const Exact& value, std::int32_t constant) {
  const std::int64_t wide = constant;
  return CompareExacts(
      value, ExactFromInteger(wide < 0, static_cast<std::uint64_t>(wide < 0 ? -wide : wide)));
}

int CompareExacts(const Exact& value, const Exact& other) {
  const int sign_a = value.IsZero() ? 0 : (value.negative ? -1 : 1);
  const int sign_b = other.IsZero() ? 0 : (other.negative ? -1 : 1);
  if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
  if (sign_a == 0) return 0;
  const std::int64_t length_a = static_cast<std::int64_t>(value.digits.size()) + value.exponent;
  const std::int64_t length_b = static_cast<std::int64_t>(other.digits.size()) + other.exponent;
  int magnitude_order = 0;
  if (length_a != length_b) {
    magnitude_order = length_a < length_b ? -1 : 1;
  } else {
    std::string a = value.digits;
    std::string b = other.digits;
    a.resize(std::max(a.size(), b.size()), '0');
    b.resize(a.size(), '0');
    magnitude_order = a < b ? -1 : (a > b ? 1 : 0);
  }
  return sign_a > 0 ? magnitude_order : -magnitude_order;
}

std::string PlainText(const Exact& value) {
  const std::string magnitude = PlainMagnitude(value);
  return value.negative && !value.IsZero() ? "-" + magnitude : magnitude;
}

std::string GeneralText(const Exact& value, int significant) {
  if (value.IsZero()) return "0";
  Exact rounded = value;
  const auto keep = static_cast<std::size_t>(significant);
  if (rounded.digits.size() > keep) {
    std::string kept = rounded.digits.substr(0, keep);
    const bool up = RoundsUp(kept, std::string_view(rounded.digits).substr(keep));
    rounded.exponent += static_cast<std::int64_t>(rounded.digits.size() - keep);
    if (up) kept = Increment(kept);
    rounded = Normalised(value.negative, kept, rounded.exponent);
  }
  const std::int64_t power =
      static_cast<std::int64_t>(rounded.digits.size()) + rounded.exponent - 1;
  std::string text;
  if (power < -4 || power >= significant) {
    text = rounded.digits.substr(0, 1);
    if (rounded.digits.size() > 1) text += "." + rounded.digits.substr(1);
    const std::string power_digits = std::to_string(power < 0 ? -power : power);
    text += std::string("E") + (power < 0 ? "-" : "+") +
            (power_digits.size() < 2 ? "0" : "") + power_digits;
  } else {
    text = PlainMagnitude(rounded);
  }
  return value.negative ? "-" + text : text;
}

}  // namespace clasp::fuzz
