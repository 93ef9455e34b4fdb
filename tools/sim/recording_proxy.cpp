#include "sim/recording_proxy.h"

#include <cstdint>

#include "host/failure.h"
#include "host/text.h"

namespace clasp::sim {
namespace {

class RecordingProxy final : public RefCounted<RecordingProxy, HostDispatch> {
 public:
  RecordingProxy(HostRole role, HostObject real, World& world)
      : role_(role), real_(std::move(real)), world_(world) {}


  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override {
    const Ref<RecordingProxy> keep(this);
    Event event = NewEvent(member, args.empty() && IsProperty(member) ? Access::kGet : Access::kCall);
    for (const HostValue& arg : args) {
      event.args.push_back(arg.IsByRef() ? HostValue::Text(arg.AsText()) : arg);
      event.by_ref.push_back(arg.IsByRef());
    }
    return Forward(std::move(event), [&] { return real_.InvokeArgs(member, args); });
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

  Event NewEvent(std::u16string_view member, Access access) const {
    Event event;
    event.object = std::string(RoleProperty(role_));
    event.member = Utf8(member);
    event.access = access;
    return event;
  }

  template <class Action>
  HostValue Forward(Event event, Action action) {
    // Numbered when the access starts: what the real object does meanwhile
    // (nothing the component sees) cannot come between.
    event.number = world_.next_number++;
    try {
      HostValue answer = action();
      if (event.access != Access::kPut) event.answer = answer;
      world_.join_own_failures();
      world_.events.push_back(std::move(event));
      return answer;
    } catch (const Failure& failure) {
      event.failure = failure;
      world_.join_own_failures();
      world_.events.push_back(std::move(event));
      throw;
    }
  }

  HostRole role_;
  HostObject real_;
  World& world_;
};

}  // namespace

HostObject MakeRecordingProxy(HostRole role, HostObject real, World& world) {
  return HostObject::Adopt(new RecordingProxy(role, std::move(real), world));
}

}  // namespace clasp::sim
