// The host contract as the tools read it: the members of each host object,
// as the host spells them, and the roads of Cols, from
// contract/host-contract.json (generated into the build at configure time).
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace clasp::sim {

// The five host objects, in the order the component's properties list them.
enum class HostRole { kDisp, kMks, kRunModul, kTrac, kJour };
inline constexpr int kHostRoleCount = 5;

// A property is read and put; a method is called, possibly without arguments.
enum class MemberKind { kProperty, kMethod };

// How the component reaches a property: it reads it, assigns it, or both.
enum class PropertyUse { kGet, kPut, kGetPut };

// What the component does with a member's answer: nothing (an assignment),
// converts it to a 32-bit integer, to text (null allowed or not), compares
// it with a number, or hands it on unchanged to another member.
enum class AnswerUse { kNone, kInt32, kText, kNullableText, kCompare, kHandedOn };

// One member of a host object as the host spells it, and how the component
// uses it (the host contract that docs/hosts.md spells out).
struct MemberInfo {
  std::string_view name;
  MemberKind kind;
  std::size_t arguments = 0;  // what a method takes; properties are read with none
  PropertyUse use = PropertyUse::kGet;  // properties only
  std::size_t by_ref = 0;  // 1-based position of the argument passed by reference, or 0
  AnswerUse answer = AnswerUse::kNone;  // what a read or a call must answer
  // The kinds the component passes: per argument, comma-separated, each
  // "Text", "I2", "I4", "Null", "&Text" or "any", alternatives joined by |;
  // for an assigned property, the value's kinds.
  std::string_view kinds = {};
};

// One road of Cols as the contract lists it: what drives it, in the
// simulator's syntax ("Object.Member=VALUE", "Object.Member!NUMBER:TEXT").
struct ContractRoad {
  std::string_view name;
  std::string_view summary;
  std::array<std::string_view, 4> drivers;
};

// The version of the host contract; a certificate names it, so that one made
// against another contract is told apart.
std::string_view ContractVersion();
// Every road the certification bench runs, in order.
std::span<const ContractRoad> ContractRoads();

// "StepDisp", "StepMks", ...: the component's property that holds the host.
std::string_view RoleProperty(HostRole role);
// "display", "card reader", ...: what the host is, for readers of a transcript.
std::string_view RoleTitle(HostRole role);
// Finds a role by its property name, exactly as spelled.
std::optional<HostRole> FindRole(std::string_view property);

// Every member of the host, in a fixed order (its index is its dispatch id).
std::span<const MemberInfo> Members(HostRole role);
// Index of `name` among Members(role), compared without regard to ASCII case
// as automation does; nothing when the host has no such member.
std::optional<std::size_t> FindMember(HostRole role, std::u16string_view name);
std::optional<std::size_t> FindMember(HostRole role, std::string_view name);

// A member given as "StepRunModul.PackMessage".
struct MemberRef {
  HostRole role;
  std::size_t index;
  std::string_view Name() const { return Members(role)[index].name; }
  friend bool operator<(const MemberRef& a, const MemberRef& b) {
    return a.role != b.role ? a.role < b.role : a.index < b.index;
  }
  friend bool operator==(const MemberRef&, const MemberRef&) = default;
};

// Parses "Object.Member"; the error text says what is wrong and lists the
// valid names. Member names must match exactly here, so a scenario cannot
// hide a misspelling that the host would forgive.
std::optional<MemberRef> ParseMemberRef(std::string_view text, std::string* error);

// One catalogue line, as `clasp-sim --members` prints it: "TraceWrite  method
// 3 arguments, the 2nd by reference", "ScreenNo  property  get, put".
std::string DescribeMember(const MemberInfo& member);

}  // namespace clasp::sim
