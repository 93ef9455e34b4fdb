#include "sim/catalogue.h"

#include <array>

#include "host/text.h"

namespace clasp::sim {
namespace {

#include "host_contract.inc"

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

constexpr std::array<std::string_view, 5> kOrdinals{"1st", "2nd", "3rd", "4th", "5th"};

}  // namespace

std::string DescribeMember(const MemberInfo& member) {
  std::string line = std::string(member.name);
  if (member.kind == MemberKind::kProperty) {
    switch (member.use) {
      case PropertyUse::kGet: return line + "  property  get";
      case PropertyUse::kPut: return line + "  property  put";
      case PropertyUse::kGetPut: return line + "  property  get, put";
    }
  }
  line += "  method  " + std::to_string(member.arguments) +
          (member.arguments == 1 ? " argument" : " arguments");
  if (member.by_ref > 0 && member.by_ref <= kOrdinals.size()) {
    line += ", the " + std::string(kOrdinals[member.by_ref - 1]) + " by reference";
  }
  return line;
}

std::string_view RoleProperty(HostRole role) { return kProperties[static_cast<int>(role)]; }
std::string_view RoleTitle(HostRole role) { return kTitles[static_cast<int>(role)]; }

std::optional<HostRole> FindRole(std::string_view property) {
  for (int i = 0; i < kHostRoleCount; ++i) {
    if (kProperties[i] == property) return static_cast<HostRole>(i);
  }
  return std::nullopt;
}

std::span<const MemberInfo> Members(HostRole role) {
  return kFieldMembers[static_cast<std::size_t>(role)];
}

std::string_view ContractVersion() { return kContractVersionText; }
std::span<const ContractRoad> ContractRoads() { return kRoads; }

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
