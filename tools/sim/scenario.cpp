#include "sim/scenario.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include <nlohmann/json.hpp>

#include "host/text.h"
#include "sim/json_positions.h"

namespace clasp::sim {
namespace {

using nlohmann::json;

constexpr std::array<Shortcut, 14> kShortcuts{{
    {"display", "StepDisp.ScreenDisplay", "the display's answer to ScreenDisplay (0 shows the screen)"},
    {"reader", "StepMks.CardReaderRetain",
     "the reader's answer: 0 not retained, 10120011 retained, other a device fault"},
    {"record", "StepRunModul.RecordMessage", "RecordMessage's answer"},
    {"control-num", "StepRunModul.ControlNum", "ControlNum (6 makes the detail flag 2)"},
    {"detail", "StepRunModul.WriteDetailFileName", "WriteDetailFileName's answer"},
    {"pack", "StepRunModul.PackMessage", "PackMessage's answer (0 packed)"},
    {"comm-sign", "StepRunModul.CommSign", "CommSign (0 lets the message be sent)"},
    {"write-only", "StepRunModul.IsWriteOnly", "IsWriteOnly (above 0 sends with StepCommWriteOnly)"},
    {"send", "StepRunModul.StepCommWrite", "the send member's answer (0 sent); also StepCommWriteOnly"},
    {"unpack-oex", "StepRunModul.IsUnPackOex", "IsUnPackOex (1 reads and unpacks the answer)"},
    {"read", "StepRunModul.StepCommRead", "StepCommRead's answer (0 read)"},
    {"unpack", "StepRunModul.UnpackMessage", "UnpackMessage's answer"},
    {"jrn-device", "StepRunModul.IsJRNDevice", "IsJRNDevice, put back into the journal's isjrn"},
    {"journal", "StepJour.JournalWriteMsg", "JournalWriteMsg's answer"},
}};

// Both send members answer alike unless a scenario names them one by one.
constexpr std::string_view kSendShortcut = "send";
constexpr std::string_view kSendOnlyMember = "StepRunModul.StepCommWriteOnly";
constexpr std::string_view kStatusMember = "StepRunModul.TransAction1";
// An object reference that refers to nothing, as a host's `Nothing` answers.
constexpr std::string_view kNothing = "nothing";

const Shortcut* FindShortcut(std::string_view name) {
  for (const Shortcut& s : kShortcuts) {
    if (s.key == name) return &s;
  }
  return nullptr;
}

MemberRef KnownMember(std::string_view text) {
  std::string error;
  return *ParseMemberRef(text, &error);
}

std::string Quote(std::string_view text) { return "'" + std::string(text) + "'"; }

std::optional<std::int64_t> ParseInteger(std::string_view text) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> ParseReal(std::string_view text) {
  // from_chars for double is missing from some standard libraries we build with.
  std::istringstream in{std::string(text)};
  in.imbue(std::locale::classic());
  double value = 0;
  if (!(in >> value) || in.peek() != std::char_traits<char>::eof() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// The kinds that take a value: "i2:5" on the command line, {"kind": "i2"} in a file.
bool IsTypedKind(std::string_view kind) {
  return kind == "text" || kind == "i2" || kind == "i4" || kind == "r8";
}

// A typed value from its kind name (IsTypedKind) and text, or an explanation.
std::optional<HostValue> TypedValue(std::string_view kind, std::string_view text,
                                    std::string* error) {
  if (kind == "text") return HostValue::Text(Utf16(text));
  if (kind == "i2" || kind == "i4") {
    const auto number = ParseInteger(text);
    const bool i2 = kind == "i2";
    const std::int64_t low = i2 ? std::numeric_limits<std::int16_t>::min()
                                : std::numeric_limits<std::int32_t>::min();
    const std::int64_t high = i2 ? std::numeric_limits<std::int16_t>::max()
                                 : std::numeric_limits<std::int32_t>::max();
    if (!number || *number < low || *number > high) {
      *error = Quote(text) + " is not a " + (i2 ? "16" : "32") + "-bit integer";
      return std::nullopt;
    }
    return i2 ? HostValue::I2(static_cast<std::int16_t>(*number))
              : HostValue::I4(static_cast<std::int32_t>(*number));
  }
  if (kind == "r8") {
    if (const auto real = ParseReal(text)) return HostValue::R8(*real);
    *error = Quote(text) + " is not a number";
    return std::nullopt;
  }
  *error = "unknown kind " + Quote(kind);
  return std::nullopt;
}

// Plain words and numbers of the command-line value syntax.
std::optional<HostValue> PlainValue(std::string_view text, std::string* error) {
  if (text == "empty") return HostValue::Empty();
  if (text == "null") return HostValue::Null();
  if (text == kNothing) return HostValue::Object(HostObject());
  if (text == "true") return HostValue::Bool(true);
  if (text == "false") return HostValue::Bool(false);
  if (const auto colon = text.find(':'); colon != std::string_view::npos) {
    const std::string_view kind = text.substr(0, colon);
    if (!IsTypedKind(kind)) {
      *error = "unknown kind " + Quote(kind) +
               "; the kinds are text, i2, i4, r8 (text:abc, i2:5), and the words empty, null, nothing, true, false";
      return std::nullopt;
    }
    return TypedValue(kind, text.substr(colon + 1), error);
  }
  if (ParseInteger(text)) return TypedValue("i4", text, error);
  if (ParseReal(text)) return TypedValue("r8", text, error);
  *error = Quote(text) +
           " is not a value: write a number, text:" + std::string(text) +
           " for text, i2:N or i4:N for a kind of integer, or empty, null, nothing, true, false";
  return std::nullopt;
}

// Reads a scenario document, reporting errors at their position in the file.
class ScenarioReader {
 public:
  ScenarioReader(std::string path, JsonPositions positions)
      : path_(std::move(path)), positions_(std::move(positions)) {}

  [[noreturn]] void Fail(const std::string& pointer, const std::string& message,
                         bool at_key = false) const {
    const TextPosition at = positions_.Find(pointer, at_key);
    throw InputError(path_ + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
                     ": " + message);
  }

  Scenario Read(const json& document) {
    if (!document.is_object()) Fail("", "a scenario is a JSON object of settings");
    Scenario scenario;
    for (const auto& [name, value] : document.items()) {
      const std::string pointer = "/" + name;
      if (name == key::kDescription) {
        scenario.description = Text(pointer, value);
      } else if (name == key::kScreenNo) {
        scenario.screen_no = Utf16(Text(pointer, value));
      } else if (name == key::kStatus) {
        SetStatus(scenario, Utf16(Text(pointer, value)));
      } else if (name == key::kDisplayValue) {
        ReadDisplayValues(pointer, value, scenario);
      } else if (name == key::kAnswer) {
        for (const auto& [member, answer] : Object(pointer, value).items()) {
          const std::string at = pointer + "/" + member;
          scenario.answers[Member(at, member, true)] = Value(at, answer);
        }
      } else if (name == key::kRaise) {
        for (const auto& [member, failure] : Object(pointer, value).items()) {
          const std::string at = pointer + "/" + member;
          scenario.raises.insert_or_assign(Member(at, member, true), ReadFailure(at, failure));
        }
      } else if (name == key::kLack) {
        for (std::size_t i = 0; i < Array(pointer, value).size(); ++i) {
          const std::string at = pointer + "/" + std::to_string(i);
          scenario.lacking.insert(Member(at, Text(at, value[i])));
        }
      } else if (name == key::kUnset) {
        for (std::size_t i = 0; i < Array(pointer, value).size(); ++i) {
          const std::string at = pointer + "/" + std::to_string(i);
          const std::string role = Text(at, value[i]);
          const auto found = FindRole(role);
          if (!found) {
            Fail(at, "unknown host object " + Quote(role) +
                         "; the host objects are StepDisp, StepMks, StepRunModul, StepTrac, StepJour");
          }
          scenario.unset.insert(*found);
        }
      } else if (FindShortcut(name)) {
        ApplyShortcut(scenario, name, Value(pointer, value));
      } else {
        Fail(pointer, "unknown setting " + Quote(name) + KnownSettings(), true);
      }
    }
    return scenario;
  }

 private:
  static std::string KnownSettings() {
    std::string list = "; the settings are description, screen-no, status, display-value, "
                       "answer, raise, lack, unset";
    for (const Shortcut& s : kShortcuts) list += ", " + std::string(s.key);
    return list;
  }

  std::string Text(const std::string& pointer, const json& value) const {
    if (!value.is_string()) Fail(pointer, "expected text in quotes");
    return value.get<std::string>();
  }
  const json& Object(const std::string& pointer, const json& value) const {
    if (!value.is_object()) Fail(pointer, "expected an object { \"Object.Member\": ... }");
    return value;
  }
  const json& Array(const std::string& pointer, const json& value) const {
    if (!value.is_array()) Fail(pointer, "expected a list [ ... ]");
    return value;
  }

  MemberRef Member(const std::string& pointer, std::string_view text, bool at_key = false) const {
    std::string error;
    if (const auto ref = ParseMemberRef(text, &error)) return *ref;
    Fail(pointer, error, at_key);
  }

  // A JSON value as a host value: integers are 32-bit, fractions 64-bit reals,
  // strings text; {"kind": "i2", "value": 5} names another kind.
  HostValue Value(const std::string& pointer, const json& value) const {
    switch (value.type()) {
      case json::value_t::null: return HostValue::Null();
      case json::value_t::boolean: return HostValue::Bool(value.get<bool>());
      case json::value_t::string: return HostValue::Text(Utf16(value.get<std::string>()));
      case json::value_t::number_float: return HostValue::R8(value.get<double>());
      case json::value_t::number_integer:
      case json::value_t::number_unsigned: {
        std::string error;
        if (auto v = TypedValue("i4", value.dump(), &error)) return *v;
        Fail(pointer, error + "; write {\"kind\": \"r8\", \"value\": ...} for a larger number");
      }
      case json::value_t::object: return KindedValue(pointer, value);
      default: Fail(pointer, "expected a value: a number, text, true, false, null or {\"kind\": ...}");
    }
  }

  HostValue KindedValue(const std::string& pointer, const json& value) const {
    if (!value.contains("kind")) Fail(pointer, "a value object needs \"kind\"");
    const std::string kind = Text(pointer + "/kind", value["kind"]);
    for (const auto& [name, unused] : value.items()) {
      if (name != "kind" && name != "value") {
        Fail(pointer + "/" + name, "unknown key " + Quote(name) + " in a value; use kind and value", true);
      }
    }
    if (kind == "empty") return HostValue::Empty();
    if (kind == "null") return HostValue::Null();
    if (kind == kNothing) return HostValue::Object(HostObject());
    if (!IsTypedKind(kind)) {
      Fail(pointer + "/kind", "unknown kind " + Quote(kind) + "; the kinds are empty, null, nothing, text, i2, i4, r8");
    }
    if (!value.contains("value")) Fail(pointer, "a value of kind " + Quote(kind) + " needs \"value\"");
    const json& payload = value["value"];
    const std::string text = payload.is_string() ? payload.get<std::string>() : payload.dump();
    std::string error;
    if (auto v = TypedValue(kind, text, &error)) return *v;
    Fail(pointer + "/value", error);
  }

  Failure ReadFailure(const std::string& pointer, const json& value) const {
    if (!value.is_object()) {
      Fail(pointer, "expected {\"number\": 1234, \"description\": \"...\"}");
    }
    std::int64_t number = 0;
    std::string description;
    bool has_number = false;
    for (const auto& [name, item] : value.items()) {
      const std::string at = pointer + "/" + name;
      if (name == "number") {
        if (!item.is_number_integer() || item.get<std::int64_t>() < kMinFailureNumber ||
            item.get<std::int64_t>() > kMaxFailureNumber) {
          Fail(at, "a failure number is an integer from 1 to 65535");
        }
        number = item.get<std::int64_t>();
        has_number = true;
      } else if (name == "description") {
        description = Text(at, item);
      } else {
        Fail(at, "unknown key " + Quote(name) + " in a failure; use number and description", true);
      }
    }
    if (!has_number) Fail(pointer, "a failure needs \"number\"");
    return Failure(static_cast<std::int32_t>(number), Utf16(description));
  }

  void ReadDisplayValues(const std::string& pointer, const json& value, Scenario& scenario) const {
    for (const auto& [member, item] : Object(pointer, value).items()) {
      const std::string at = pointer + "/" + member;
      const int slot = DisplaySlot(member);
      if (slot < 0) Fail(at, "expected DisapleVal01 to DisapleVal04, not " + Quote(member), true);
      scenario.display_values[slot] = Value(at, item);
    }
  }

 public:
  static int DisplaySlot(std::string_view member) {
    for (int i = 0; i < kDisplayValueCount; ++i) {
      if (member == "DisapleVal0" + std::to_string(i + 1)) return i;
    }
    return -1;
  }

 private:
  std::string path_;
  JsonPositions positions_;
};

}  // namespace

std::span<const Shortcut> Shortcuts() { return kShortcuts; }

void ApplyShortcut(Scenario& scenario, std::string_view key, const HostValue& value) {
  const Shortcut* shortcut = FindShortcut(key);
  scenario.answers[KnownMember(shortcut->member)] = value;
  if (key == kSendShortcut) scenario.answers[KnownMember(kSendOnlyMember)] = value;
}

void SetStatus(Scenario& scenario, std::u16string status) {
  scenario.answers[KnownMember(kStatusMember)] = HostValue::Text(std::move(status));
}

Scenario LoadScenario(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot read the scenario file");
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();
  JsonPositions positions = JsonPositions::Of(text);
  if (const auto& fault = positions.Fault()) {
    const auto place = [&path](const TextPosition& at) {
      return path + ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
    };
    std::string message = place(fault->at) + ": " + fault->message;
    if (fault->earlier) message += " (first at " + place(*fault->earlier) + ")";
    throw InputError(message);
  }
  const json document = json::parse(text);
  ScenarioReader reader(path, std::move(positions));
  Scenario scenario = reader.Read(document);
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  if (const auto dot = name.rfind(".json"); dot != std::string::npos) name.erase(dot);
  scenario.name = name;
  return scenario;
}

HostValue ParseValueOption(const std::string& option, const std::string& text) {
  std::string error;
  if (auto value = PlainValue(text, &error)) return *value;
  throw InputError(option + ": " + error);
}

Failure ParseFailureOption(const std::string& option, const std::string& text) {
  const std::size_t colon = text.find(':');
  const auto number = ParseInteger(std::string_view(text).substr(0, colon));
  if (!number || *number < kMinFailureNumber || *number > kMaxFailureNumber) {
    throw InputError(option + ": " + Quote(text) +
                     " is not NUMBER:DESCRIPTION with a number from 1 to 65535");
  }
  const std::string description = colon == std::string::npos ? "" : text.substr(colon + 1);
  return Failure(static_cast<std::int32_t>(*number), Utf16(description));
}

std::pair<int, HostValue> ParseDisplayValueOption(const std::string& option,
                                                  const std::string& text) {
  const std::size_t equals = text.find('=');
  const int slot = ScenarioReader::DisplaySlot(std::string_view(text).substr(0, equals));
  if (equals == std::string::npos || slot < 0) {
    throw InputError(option + ": " + Quote(text) + " is not DisapleVal01..04=VALUE");
  }
  return {slot, ParseValueOption(option, text.substr(equals + 1))};
}

MemberRef ParseMemberOption(const std::string& option, const std::string& text) {
  std::string error;
  if (const auto ref = ParseMemberRef(text, &error)) return *ref;
  throw InputError(option + ": " + error);
}

HostRole ParseRoleOption(const std::string& option, const std::string& text) {
  if (const auto role = FindRole(text)) return *role;
  throw InputError(option + ": unknown host object " + Quote(text) +
                   "; the host objects are StepDisp, StepMks, StepRunModul, StepTrac, StepJour");
}

}  // namespace clasp::sim
