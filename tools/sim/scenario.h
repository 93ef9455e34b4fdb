// One simulated run: every answer the step depends on, from a scenario file,
// from the command line, or both (the command line wins).
#pragma once

#include <array>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>

#include "host/failure.h"
#include "host/host_value.h"
#include "sim/catalogue.h"

namespace clasp::sim {

// Bad input: names the option or file position at fault. Exit status 2.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kDisplayValueCount = 4;

// Every setting of one run; what is not set keeps the simulated hosts' defaults.
struct Scenario {
  std::string name = "command line";
  std::string description;
  // Text handed to the component's ScreenNo; not set when absent.
  std::optional<std::u16string> screen_no;
  // Values handed to DisapleVal01..04 before Cols; not set when absent.
  std::array<std::optional<HostValue>, kDisplayValueCount> display_values;
  // A method's answer, or a property's value before the step starts.
  std::map<MemberRef, HostValue> answers;
  std::map<MemberRef, Failure> raises;
  std::set<MemberRef> lacking;
  std::set<HostRole> unset;
};

// The ways to name a setting, shared by options and scenario keys.
namespace key {
inline constexpr std::string_view kDescription = "description";
inline constexpr std::string_view kScreenNo = "screen-no";
inline constexpr std::string_view kDisplayValue = "display-value";
inline constexpr std::string_view kStatus = "status";
inline constexpr std::string_view kAnswer = "answer";
inline constexpr std::string_view kRaise = "raise";
inline constexpr std::string_view kLack = "lack";
inline constexpr std::string_view kUnset = "unset";
}  // namespace key

// Options that set one member's answer: "reader" is StepMks.CardReaderRetain.
struct Shortcut {
  std::string_view key;
  std::string_view member;
  std::string_view help;
};
std::span<const Shortcut> Shortcuts();
// Sets the answer(s) behind the shortcut `key`, which must be one of Shortcuts().
void ApplyShortcut(Scenario& scenario, std::string_view key, const HostValue& value);
// The transaction status text TransAction1 holds before the step.
void SetStatus(Scenario& scenario, std::u16string status);

// Reads a scenario file. Errors name the file, line and column.
Scenario LoadScenario(const std::string& path);

// Command-line value syntax: 42, 2.5, text:abc, i2:5, i4:5, r8:2.5, empty, null,
// true, false. `option` names the option in the error.
HostValue ParseValueOption(const std::string& option, const std::string& text);
// "1234:description" for a failure to raise.
Failure ParseFailureOption(const std::string& option, const std::string& text);
// "DisapleVal01=value".
std::pair<int, HostValue> ParseDisplayValueOption(const std::string& option,
                                                  const std::string& text);
// "Object.Member", exact spelling.
MemberRef ParseMemberOption(const std::string& option, const std::string& text);
HostRole ParseRoleOption(const std::string& option, const std::string& text);

// Range of failure numbers a host can raise: what survives the platform's
// error codes unchanged.
inline constexpr std::int32_t kMinFailureNumber = 1;
inline constexpr std::int32_t kMaxFailureNumber = 65535;

}  // namespace clasp::sim
