// Conversions the component applies to what host members return.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host_value.h"
#include "host/text.h"

namespace clasp {

// To a signed 32-bit integer. Fractions round to the nearest integer, halves to
// even; numeric text is read as the en-US platform reads it (signs, "$", "( )",
// thousands separators, exponents; &H / &O as 32-bit patterns, &HFFFFFFFF being
// -1); empty gives 0; truth gives -1/0. Null and non-numeric text (empty text
// included) fail as a type mismatch; anything outside the 32-bit range fails
// as an overflow. An object converts as its default member's value (in every
// conversion here): one without one, or whose member fails, is a type
// mismatch, an empty reference fails as UnsupportedTypeFailure.
std::int32_t ToInt32(const HostValue& value);

// To text, as the en-US platform writes it. Integers give their decimal text,
// text stays as it is, empty gives empty text, truth gives True/False, doubles
// 15 significant digits (1E+20), currency and decimals no trailing zeros, dates
// M/D/YYYY h:mm:ss AM. Null fails ("Invalid use of Null"), a date outside the
// years 100 to 9999 as an invalid argument (5).
std::u16string ToText(const HostValue& value);

// Like ToText, but null stays null for the text operations that propagate it.
NullableText ToNullableText(const HostValue& value);

// Numeric comparison with an integer constant: negative, zero or positive as
// value is below, equal to or above `constant`; no answer for null, so that the
// caller's test comes out false. Empty counts as 0; text must hold a number and
// compares as the double it reads as (beyond the double range: overflow); a
// single compares in single precision.
std::optional<int> CompareWith(const HostValue& value, std::int32_t constant);

// The two tests the component makes; null makes either one false.
bool EqualsInt(const HostValue& value, std::int32_t constant);
bool GreaterThanInt(const HostValue& value, std::int32_t constant);

// The platform's own conversions, for the kinds the core leaves to it when it
// runs on one: dates, currency, decimals and values it carries unread (arrays).
class PlatformConversions {
 public:
  virtual ~PlatformConversions() = default;
  virtual std::int32_t ToInt32(const HostValue& value) const = 0;
  virtual std::u16string ToText(const HostValue& value) const = 0;
  // Negative, zero or positive as in CompareWith.
  virtual int CompareWith(const HostValue& value, std::int32_t constant) const = 0;
};

// Whether the conversions above hand `value` to the installed platform.
bool LeftToPlatform(const HostValue& value) noexcept;

// Installs the platform's conversions (nullptr: the core's own rules, which
// agree with the platform's wherever they are defined) and returns the ones
// installed before. The Windows server installs them when its module is attached.
const PlatformConversions* InstallPlatformConversions(
    const PlatformConversions* conversions) noexcept;

// Installs conversions for the length of a scope and puts back the ones it
// found, so that a test that stops early leaves no strategy behind.
class ScopedPlatformConversions {
 public:
  explicit ScopedPlatformConversions(const PlatformConversions* conversions) noexcept
      : previous_(InstallPlatformConversions(conversions)) {}
  ~ScopedPlatformConversions() { InstallPlatformConversions(previous_); }
  ScopedPlatformConversions(const ScopedPlatformConversions&) = delete;
  ScopedPlatformConversions& operator=(const ScopedPlatformConversions&) = delete;

 private:
  const PlatformConversions* previous_;
};

}  // namespace clasp
