#include "sim/recording_proxy.h"

#include <cstdint>

#include "host/failure.h"
#include "host/text.h"

namespace clasp::sim {
namespace {

class RecordingProxy final : public RefCounted<RecordingProxy, HostDispatch> {
 public:
  RecordingProxy(HostRole role, HostObject real, World& world, std::map<std::size_t, Handed> handed)
      : role_(role), real_(std::move(real)), world_(world), handed_(std::move(handed)) {}


  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override {
    const Ref<RecordingProxy> keep(this);
    Event event = NewEvent(member, args.empty() && IsProperty(member) ? Access::kGet : Access::kCall);
    for (const HostValue& arg : args) {
      event.args.push_back(arg.IsByRef() ? HostValue::Text(arg.AsText()) : arg);
      event.by_ref.push_back(arg.IsByRef());
    }
    return Forward(std::move(event), [&] { return real_.InvokeArgs(member, args); },
                   HandedFor(member));
  }

  void Put(std::u16string_view member, const HostValue& value) override {
    const Ref<RecordingProxy> keep(this);
    Event event = NewEvent(member, Access::kPut);
    event.args.push_back(value.IsByRef() ? HostValue::Text(value.AsText()) : value);
    event.by_ref.push_back(value.IsByRef());
    Forward(std::move(event), [&] {
      real_.Put(member, value);
      return HostValue();
    });
  }

  HostValue DefaultValue() override {
    const Ref<RecordingProxy> keep(this);
    return Forward(NewEvent(u"[default]", Access::kGet), [&] { return real_.DefaultValue(); });
  }

 private:
  friend RefCounted;
  ~RecordingProxy() = default;

  // Whether the host's contract reads `member` as a property; the real object
  // is asked the same way either way.
  bool IsProperty(std::u16string_view member) const {
    const auto index = FindMember(role_, member);
    return index && Members(role_)[*index].kind == MemberKind::kProperty;
  }

  const Handed* HandedFor(std::u16string_view member) const {
    const auto index = FindMember(role_, member);
    const auto it = index ? handed_.find(*index) : handed_.end();
    return it == handed_.end() ? nullptr : &it->second;
  }

  Event NewEvent(std::u16string_view member, Access access) const {
    Event event;
    event.object = std::string(RoleProperty(role_));
    event.member = Utf8(member);
    event.access = access;
    return event;
  }

  // The real object is always reached and its answer recorded, so that it is
  // judged; `handed`, when given and not already what it did, goes on to the
  // component in its place.
  template <class Action>
  HostValue Forward(Event event, Action action, const Handed* handed = nullptr) {
    // Numbered when the access starts: what the real object does meanwhile
    // (nothing the component sees) cannot come between.
    event.number = world_.next_number++;
    HostValue answer;
    try {
      answer = action();
      if (event.access != Access::kPut) event.answer = answer;
    } catch (const Failure& failure) {
      event.failure = failure;
    }
    if (handed && !AlreadyHanded(*handed, event.answer, event.failure)) {
      event.handed = *handed;
      const std::string given = handed->failure
                                    ? "failure " + std::to_string(handed->failure->Number())
                                    : ShowValue(*handed->answer);
      event.notes.push_back("the bench handed the component " + given + " instead");
    }
    world_.join_inside_failures();
    const std::optional<Handed> given = event.handed;
    const std::optional<Failure> failed = event.failure;
    world_.events.push_back(std::move(event));
    if (given) {
      if (given->failure) throw *given->failure;
      return *given->answer;
    }
    if (failed) throw *failed;
    return answer;
  }

  HostRole role_;
  HostObject real_;
  World& world_;
  std::map<std::size_t, Handed> handed_;
};

}  // namespace

HostObject MakeRecordingProxy(HostRole role, HostObject real, World& world,
                              std::map<std::size_t, Handed> handed) {
  return HostObject::Adopt(new RecordingProxy(role, std::move(real), world, std::move(handed)));
}

bool AlreadyHanded(const Handed& wanted, const std::optional<HostValue>& answer,
                   const std::optional<Failure>& failure) {
  if (wanted.failure) return failure.has_value();
  if (failure || !answer || !wanted.answer) return false;
  if (wanted.answer->GetKind() == Kind::kText) {
    return answer->GetKind() == Kind::kText && answer->AsText() == wanted.answer->AsText();
  }
  const auto code = CodeOf(*answer);
  return code && code == CodeOf(*wanted.answer);
}

}  // namespace clasp::sim
