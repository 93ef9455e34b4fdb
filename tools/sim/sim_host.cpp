#include "sim/sim_host.h"

#include <nlohmann/json.hpp>

#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"

namespace clasp::sim {

std::string ShowValue(const HostValue& value) {
  if (value.GetKind() == Kind::kText) return "\"" + Utf8(value.AsText()) + "\"";
  if (value.IsEmpty()) return "empty";
  const std::string typed = Utf8(Describe(value));
  const std::size_t space = typed.find(' ');
  return space == std::string::npos ? typed : typed.substr(space + 1);
}

std::string ShowTyped(const HostValue& value, bool by_ref) {
  return (by_ref ? "&" : "") + Utf8(Describe(value));
}

nlohmann::ordered_json ValueJson(const HostValue& value, bool by_ref) {
  nlohmann::ordered_json out{{"kind", Utf8(KindName(value.GetKind()))}};
  if (by_ref) out["byref"] = true;
  switch (value.GetKind()) {
    case Kind::kEmpty:
    case Kind::kNull:
      break;
    case Kind::kText: out["value"] = Utf8(value.AsText()); break;
    case Kind::kBool: out["value"] = value.AsInteger() != 0; break;
    default:
      if (value.HasInteger()) out["value"] = value.AsInteger();
      else if (value.HasReal()) out["value"] = value.AsReal();
      else out["value"] = ShowValue(value);
  }
  return out;
}

nlohmann::ordered_json ValueJson(const HostValue* value) {
  return value ? ValueJson(*value) : nlohmann::ordered_json();
}

std::optional<std::int32_t> CodeOf(const HostValue& value) {
  try {
    return ToInt32(value);
  } catch (const Failure&) {
    return std::nullopt;
  }
}

SimHost::SimHost(HostRole role, World& world) : world_(world), role_(role) {
  for (const auto& [ref, value] : world.scenario.answers) {
    if (ref.role == role && Members(role)[ref.index].kind == MemberKind::kProperty) {
      properties_.insert_or_assign(std::string(ref.Name()), value);
    }
  }
}

Event SimHost::NewEvent(std::string_view member, Access access) const {
  Event event;
  event.object = std::string(RoleProperty(role_));
  event.member = std::string(member);
  event.access = access;
  return event;
}

void SimHost::Record(Event event) {
  event.number = world_.next_number++;
  world_.join_inside_failures();
  world_.events.push_back(std::move(event));
}

std::optional<std::size_t> SimHost::Resolve(std::u16string_view member) {
  const auto index = FindMember(role_, member);
  if (index && !world_.scenario.lacking.contains(MemberRef{role_, *index})) return index;
  Event event = NewEvent(index ? Members(role_)[*index].name : Utf8(member), Access::kCall);
  event.missing = true;
  event.notes.push_back(index ? "left out by the scenario" : "the host has no such member");
  Record(std::move(event));
  return std::nullopt;
}

HostValue SimHost::Invoke(std::u16string_view member, std::span<const HostValue> args) {
  const auto index = Resolve(member);
  if (!index) throw MemberMissingFailure();
  return InvokeMember(*index, args);
}

void SimHost::Put(std::u16string_view member, const HostValue& value) {
  const auto index = Resolve(member);
  if (!index) throw MemberMissingFailure();
  PutMember(*index, value);
}

HostValue SimHost::InvokeMember(std::size_t index, std::span<const HostValue> args) {
  const Ref<SimHost> keep(this);
  const MemberInfo& info = Members(role_)[index];
  const MemberRef ref{role_, index};
  const bool property = info.kind == MemberKind::kProperty;
  Event event = NewEvent(info.name, property ? Access::kGet : Access::kCall);
  for (const HostValue& arg : args) {
    event.args.push_back(arg.IsByRef() ? HostValue::Text(arg.AsText()) : arg);
    event.by_ref.push_back(arg.IsByRef());
  }
  try {
    if (const auto raise = world_.scenario.raises.find(ref); raise != world_.scenario.raises.end()) {
      event.notes.push_back("raises the failure the scenario asked for");
      throw raise->second;
    }
    if (args.size() != info.arguments) throw WrongArgumentCountFailure();
    HostValue answer;
    if (property) {
      if (const HostValue* value = Property(info.name)) answer = *value;
    } else {
      const auto configured = world_.scenario.answers.find(ref);
      answer = Act(info.name, args,
                   configured == world_.scenario.answers.end() ? nullptr : &configured->second,
                   event);
    }
    event.answer = answer;
    Record(std::move(event));
    return answer;
  } catch (const Failure& failure) {
    event.failure = failure;
    Record(std::move(event));
    throw;
  }
}

void SimHost::PutMember(std::size_t index, const HostValue& value) {
  const Ref<SimHost> keep(this);
  const MemberInfo& info = Members(role_)[index];
  Event event = NewEvent(info.name, Access::kPut);
  event.args.push_back(value.IsByRef() ? HostValue::Text(value.AsText()) : value);
  event.by_ref.push_back(value.IsByRef());
  try {
    if (const auto raise = world_.scenario.raises.find(MemberRef{role_, index});
        raise != world_.scenario.raises.end()) {
      event.notes.push_back("raises the failure the scenario asked for");
      throw raise->second;
    }
    // A method cannot be assigned.
    if (info.kind == MemberKind::kMethod) throw WrongArgumentCountFailure();
    Assigned(info.name, event.args.front(), event);
    SetProperty(info.name, event.args.front());
    Record(std::move(event));
  } catch (const Failure& failure) {
    event.failure = failure;
    Record(std::move(event));
    throw;
  }
}

const HostValue* SimHost::Property(std::string_view member) const {
  const auto it = properties_.find(member);
  return it == properties_.end() ? nullptr : &it->second;
}

void SimHost::SetProperty(std::string_view member, HostValue value) {
  properties_.insert_or_assign(std::string(member), std::move(value));
}

bool SimHost::Configured(std::string_view member) const {
  const auto index = FindMember(role_, member);
  return index && world_.scenario.answers.contains(MemberRef{role_, *index});
}

void SimHost::SetDefault(std::string_view member, HostValue value) {
  if (!Configured(member)) SetProperty(member, std::move(value));
}

}  // namespace clasp::sim
