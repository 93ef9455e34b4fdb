// What the conversion rules say a host value converts to, worked out on the
// exact model of exact_number.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host_value.h"

namespace clasp::fuzz {

// The rules' answer for one conversion.
template <class T>
struct Expected {
  enum class Is { kValue, kFailure, kUnchecked } is = Is::kUnchecked;
  T value{};
  std::int32_t failure = 0;  // the failure number when is == kFailure

  static Expected Value(T v) { return {Is::kValue, std::move(v), 0}; }
  static Expected Fails(std::int32_t number) { return {Is::kFailure, T{}, number}; }
  static Expected Unchecked() { return {}; }
};

// Text the reference decides: plain decimal text, &H / &O patterns, and text
// without a single digit. The platform reads more (currency and parentheses,
// signs after the number, Unicode blanks, ...); such text is left to the
// consistency checks of the fuzz target.
bool DecidedText(std::u16string_view text);

Expected<std::int32_t> ExpectedInt32(const HostValue& value);

// Dates are checked only for whole days (their time of day follows the
// platform's own rounding); everything else exactly.
Expected<std::u16string> ExpectedText(const HostValue& value);

// The sign of value - constant, or no value (null: every test is false).
Expected<std::optional<int>> ExpectedCompare(const HostValue& value, std::int32_t constant);

}  // namespace clasp::fuzz
