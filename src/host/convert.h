// Conversions the component applies to what host members return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host_value.h"
#include "host/text.h"

namespace clasp {

// The platform's own conversions, for the kinds the core leaves to it when it
// runs on one: dates, currency, decimals and values it carries unread (arrays).
class PlatformConversions {
 public:
  virtual ~PlatformConversions() = default;
  virtual std::int32_t ToInt32(const HostValue& value) const = 0;
  virtual std::u16string ToText(const HostValue& value) const = 0;
  // Negative, zero or positive as in Conversions::CompareWith.
  virtual int CompareWith(const HostValue& value, std::int32_t constant) const = 0;
};

// Whether Conversions made with the platform's hand `value` to them.
bool LeftToPlatform(const HostValue& value) noexcept;

// How a component reads what host members return, handed to it where it is
// made. Made without the platform's conversions, it applies the core's own
// rules everywhere, the portable ones; made with them, it hands the platform
// the kinds the core leaves to it and keeps the rest, integers and text above
// all, to the core's rules, which agree with the platform's wherever both are
// defined. A copy is one pointer.
class Conversions {
 public:
  // The core's own rules alone.
  constexpr Conversions() noexcept = default;
  // The core's rules and `platform`'s for the kinds left to it; `platform`
  // outlives every copy.
  explicit constexpr Conversions(const PlatformConversions& platform) noexcept
      : platform_(&platform) {}

  // To a signed 32-bit integer. Fractions round to the nearest integer, halves to
  // even; numeric text is read as the en-US platform reads it (signs, "$", "( )",
  // thousands separators, exponents; &H / &O as 32-bit patterns, &HFFFFFFFF being
  // -1); empty gives 0; truth gives -1/0. Null and non-numeric text (empty text
  // included) fail as a type mismatch; anything outside the 32-bit range fails
  // as an overflow. An object converts as its default member's value (in every
  // conversion here): one without one, or whose member fails, is a type
  // mismatch, an empty reference fails as UnsupportedTypeFailure.
  std::int32_t ToInt32(const HostValue& value) const {
    // Most answers are plain integers or no value at all; nothing to read or round.
    switch (value.GetKind()) {
      case Kind::kI4:
      case Kind::kI2:
        return static_cast<std::int32_t>(value.AsInteger());
      case Kind::kEmpty:
        return 0;
      default:
        return ReadInt32(value);
    }
  }

  // To text, as the en-US platform writes it. Integers give their decimal text,
  // text stays as it is, empty gives empty text, truth gives True/False, doubles
  // 15 significant digits (1E+20), currency and decimals no trailing zeros, dates
  // M/D/YYYY h:mm:ss AM. Null fails ("Invalid use of Null"), a date outside the
  // years 100 to 9999 as an invalid argument (5).
  std::u16string ToText(const HostValue& value) const;

  // Like ToText, but null stays null for the text operations that propagate it.
  NullableText ToNullableText(const HostValue& value) const;

  // Numeric comparison with an integer constant: negative, zero or positive as
  // value is below, equal to or above `constant`; no answer for null, so that the
  // caller's test comes out false. Empty counts as 0; text must hold a number and
  // compares as the double it reads as (beyond the double range: overflow); a
  // single compares in single precision.
  std::optional<int> CompareWith(const HostValue& value, std::int32_t constant) const {
    // What hosts answer almost always: nothing to read, round or widen.
    switch (value.GetKind()) {
      case Kind::kI2:
      case Kind::kI4:
        return Order(value.AsInteger(), std::int64_t{constant});
      case Kind::kEmpty:
        return Order(std::int64_t{0}, std::int64_t{constant});
      default:
        return ReadOrder(value, constant);
    }
  }

  // The two tests the component makes; null makes either one false.
  bool EqualsInt(const HostValue& value, std::int32_t constant) const {
    const std::optional<int> order = CompareWith(value, constant);
    return order && *order == 0;
  }
  bool GreaterThanInt(const HostValue& value, std::int32_t constant) const {
    const std::optional<int> order = CompareWith(value, constant);
    return order && *order > 0;
  }

 private:
  static constexpr int Order(std::int64_t a, std::int64_t b) noexcept {
    return a < b ? -1 : (b < a ? 1 : 0);
  }
  // The kinds that take reading, rounding or the platform.
  std::int32_t ReadInt32(const HostValue& value) const;
  std::optional<int> ReadOrder(const HostValue& value, std::int32_t constant) const;

  const PlatformConversions* platform_ = nullptr;
};

// The core's own rules, for those that convert as the core does everywhere
// (simulated hosts, tools, the core's tests): Conversions() by a shorter name.
inline std::int32_t ToInt32(const HostValue& value) { return Conversions().ToInt32(value); }
inline std::u16string ToText(const HostValue& value) { return Conversions().ToText(value); }
inline NullableText ToNullableText(const HostValue& value) {
  return Conversions().ToNullableText(value);
}
inline std::optional<int> CompareWith(const HostValue& value, std::int32_t constant) {
  return Conversions().CompareWith(value, constant);
}
inline bool EqualsInt(const HostValue& value, std::int32_t constant) {
  return Conversions().EqualsInt(value, constant);
}
inline bool GreaterThanInt(const HostValue& value, std::int32_t constant) {
  return Conversions().GreaterThanInt(value, constant);
}

}  // namespace clasp
