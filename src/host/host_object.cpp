#include "host/host_object.h"

#include "host/failure.h"
#include "host/host_value.h"

namespace clasp {
namespace {

thread_local EmptyReferenceWatch* t_watch = nullptr;

Failure NotSet(const HostObject& empty, std::u16string_view member) {
  Failure failure = ObjectNotSetFailure();
  if (t_watch) t_watch->Reached(empty, member, failure);
  return failure;
}

[[noreturn]] void RaiseNotSet(const HostObject& empty, std::u16string_view member) {
  throw NotSet(empty, member);
}

}  // namespace

ScopedEmptyReferenceWatch::ScopedEmptyReferenceWatch(EmptyReferenceWatch& watch) noexcept
    : previous_(t_watch) {
  t_watch = &watch;
}

ScopedEmptyReferenceWatch::~ScopedEmptyReferenceWatch() { t_watch = previous_; }

HostValue HostObject::InvokeArgs(std::u16string_view member,
                                 std::span<const HostValue> args) const {
  if (!ref_) RaiseNotSet(*this, member);
  // Hold our own count: the host may drop the reference we were called through.
  const Ref<HostDispatch> keep = ref_;
  return keep->Invoke(member, args);
}

Outcome<HostValue> HostObject::TryInvoke(std::u16string_view member) const {
  if (!ref_) return NotSet(*this, member);
  const Ref<HostDispatch> keep = ref_;
  return keep->TryInvoke(member, {});
}

void HostObject::Put(std::u16string_view member, const HostValue& value) const {
  if (!ref_) RaiseNotSet(*this, member);
  const Ref<HostDispatch> keep = ref_;
  keep->Put(member, value);
}

HostValue HostObject::DefaultValue() const {
  if (!ref_) RaiseNotSet(*this, {});
  const Ref<HostDispatch> keep = ref_;
  return keep->DefaultValue();
}

Outcome<HostValue> HostDispatch::TryInvoke(std::u16string_view member,
                                           std::span<const HostValue> args) {
  try {
    return Invoke(member, args);
  } catch (const Failure& failure) {
    return failure;
  }
}

HostValue HostDispatch::DefaultValue() { throw MemberMissingFailure(); }

}  // namespace clasp
