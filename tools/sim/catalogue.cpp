#include "sim/catalogue.h"

#include <array>

#include "host/text.h"

namespace clasp::sim {
namespace {

constexpr MemberKind kProp = MemberKind::kProperty;
constexpr MemberKind kMeth = MemberKind::kMethod;

constexpr std::array<MemberInfo, 6> kDispMembers{{
    {"ScreenNo", kProp}, {"ScreenDisplay", kMeth}, {"DisapleVal01", kProp},
    {"DisapleVal02", kProp}, {"DisapleVal03", kProp}, {"DisapleVal04", kProp},
}};
constexpr std::array<MemberInfo, 1> kMksMembers{{{"CardReaderRetain", kMeth}}};
constexpr std::array<MemberInfo, 19> kRunMembers{{
    {"TransAction1", kProp},      {"RecordMessage", kMeth, 2},     {"ExcepCode", kProp},
    {"ControlNum", kProp},        {"WriteDetailFileName", kMeth, 4}, {"PackMessage", kMeth, 1},
    {"CommSign", kProp},          {"IsWriteOnly", kProp},       {"SendMessage", kProp},
    {"SendMessageLen", kProp},    {"StepCommWriteOnly", kMeth, 2}, {"StepCommWrite", kMeth, 2},
    {"IsUnPackOex", kProp},       {"TimeOutComm", kProp},       {"RecieveMessage", kProp},
    {"RecieveMessageLen", kProp}, {"StepCommRead", kMeth, 3},      {"UnpackMessage", kMeth, 1},
    {"IsJRNDevice", kProp},
}};
constexpr std::array<MemberInfo, 1> kTracMembers{{{"TraceWrite", kMeth, 3}}};
constexpr std::array<MemberInfo, 5> kJourMembers{{
    {"isjrn", kProp}, {"TimeSig", kProp}, {"ChnPromptString", kProp},
    {"EngPromptString", kProp}, {"JournalWriteMsg", kMeth},
}};

constexpr std::array<std::string_view, kHostRoleCount> kProperties{
    "StepDisp", "StepMks", "StepRunModul", "StepTrac", "StepJour"};
constexpr std::array<std::string_view, kHostRoleCount> kTitles{
    "display", "card reader", "run-time module", "trace writer", "journal printer"};

template <class Char>
std::optional<std::size_t> Find(HostRole role, std::basic_string_view<Char> name) {
  const auto members = Members(role);
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (SameIgnoringCase(members[i].name, name)) return i;
  }
  return std::nullopt;
}

std::string NameList(std::span<const MemberInfo> members) {
  std::string list;
  for (const MemberInfo& m : members) list += (list.empty() ? "" : ", ") + std::string(m.name);
  return list;
}

}  // namespace

std::string_view RoleProperty(HostRole role) { return kProperties[static_cast<int>(role)]; }
std::string_view RoleTitle(HostRole role) { return kTitles[static_cast<int>(role)]; }

std::optional<HostRole> FindRole(std::string_view property) {
  for (int i = 0; i < kHostRoleCount; ++i) {
    if (kProperties[i] == property) return static_cast<HostRole>(i);
  }
  return std::nullopt;
}

std::span<const MemberInfo> Members(HostRole role) {
  switch (role) {
    case HostRole::kDisp: return kDispMembers;
    case HostRole::kMks: return kMksMembers;
    case HostRole::kRunModul: return kRunMembers;
    case HostRole::kTrac: return kTracMembers;
    case HostRole::kJour: return kJourMembers;
  }
  return {};
}

std::optional<std::size_t> FindMember(HostRole role, std::u16string_view name) {
  return Find(role, name);
}
std::optional<std::size_t> FindMember(HostRole role, std::string_view name) {
  return Find(role, name);
}

std::optional<MemberRef> ParseMemberRef(std::string_view text, std::string* error) {
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) {
    *error = "'" + std::string(text) + "' is not Object.Member (for example StepMks.CardReaderRetain)";
    return std::nullopt;
  }
  const std::string_view object = text.substr(0, dot);
  const std::string_view member = text.substr(dot + 1);
  const auto role = FindRole(object);
  if (!role) {
    *error = "unknown host object '" + std::string(object) +
             "'; the host objects are StepDisp, StepMks, StepRunModul, StepTrac, StepJour";
    return std::nullopt;
  }
  const auto members = Members(*role);
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].name == member) return MemberRef{*role, i};
  }
  *error = "unknown member '" + std::string(member) + "' of " + std::string(object) +
           "; its members are " + NameList(members);
  return std::nullopt;
}

}  // namespace clasp::sim
