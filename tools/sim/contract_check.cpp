#include "sim/contract_check.h"

#include <string_view>
#include <vector>

#include "sim/catalogue.h"

namespace clasp::sim {
namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  if (text.empty()) return parts;
  std::size_t start = 0;
  for (std::size_t cut; (cut = text.find(separator, start)) != std::string_view::npos;
       start = cut + 1) {
    parts.push_back(text.substr(start, cut - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The contract's name for what was passed: by-reference text is "&Text".
std::string_view KindOf(const HostValue& value, bool by_ref) {
  if (by_ref) return value.GetKind() == Kind::kText ? "&Text" : "&other";
  switch (value.GetKind()) {
    case Kind::kText: return "Text";
    case Kind::kI2: return "I2";
    case Kind::kI4: return "I4";
    case Kind::kNull: return "Null";
    default: return "other";
  }
}

bool Allows(std::string_view alternatives, std::string_view kind) {
  for (const std::string_view allowed : Split(alternatives, '|')) {
    if (allowed == kind || (allowed == "any" && !kind.starts_with("&"))) return true;
  }
  return false;
}

// What was passed, each against its kinds.
std::optional<std::string> KindsDeparture(const Event& event, std::string_view kinds) {
  const std::vector<std::string_view> wanted = Split(kinds, ',');
  if (wanted.size() != event.args.size()) {
    return "passes " + std::to_string(event.args.size()) + " arguments; the contract has " +
           std::to_string(wanted.size());
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const bool by_ref = i < event.by_ref.size() && event.by_ref[i];
    const std::string_view kind = KindOf(event.args[i], by_ref);
    if (!Allows(wanted[i], kind)) {
      return "argument " + std::to_string(i + 1) + " is " + std::string(kind) +
             "; the contract has " + std::string(wanted[i]);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ContractDeparture(const Event& event) {
  if (event.object == "Holdfast" || event.raised_inside) return std::nullopt;
  const std::string name = event.object + "." + event.member;
  const auto role = FindRole(event.object);
  if (!role) return name + ": no host field of that name in the contract";
  const auto index = FindMember(*role, std::string_view(event.member));
  if (!index) return name + ": no such member in the contract";
  const MemberInfo& info = Members(*role)[*index];
  const bool property = info.kind == MemberKind::kProperty;
  std::optional<std::string> departure;
  switch (event.access) {
    case Access::kGet:
      if (!property || info.use == PropertyUse::kPut) {
        departure = "read; the contract does not read it";
      }
      break;
    case Access::kPut:
      if (!property || info.use == PropertyUse::kGet) {
        departure = "assigned; the contract does not assign it";
      } else {
        departure = KindsDeparture(event, info.kinds);
      }
      break;
    case Access::kCall:
      if (property) {
        departure = "called; the contract has a property";
      } else {
        departure = KindsDeparture(event, info.kinds);
      }
      break;
  }
  if (departure) return name + ": " + *departure;
  return std::nullopt;
}

}  // namespace clasp::sim
