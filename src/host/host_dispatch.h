// What a host object offers, and the counted reference to one. Calling a member
// with arguments builds values: that half lives in host_object.h.
#pragma once

#include <initializer_list>
#include <span>
#include <string_view>
#include <utility>

#include "host/failure.h"
#include "host/ref.h"

namespace clasp {

class HostValue;

// What a host object offers: counted lifetime, and members by name.
// Implemented by the platform binding and by simulated or test hosts.
class HostDispatch {
 public:
  virtual void AddRef() noexcept = 0;
  virtual void Release() noexcept = 0;
  // Calls `member` as a method, or reads it as a property when `args` is empty.
  // Raises Failure when the member is missing or fails.
  virtual HostValue Invoke(std::u16string_view member,
                           std::span<const HostValue> args) = 0;
  // Invoke with the member's failure handed back instead of raised, for the
  // device calls whose failures are an everyday road. The default catches
  // Invoke's raise at once; a binding that learns of failures as return codes
  // overrides it and raises nothing.
  virtual Outcome<HostValue> TryInvoke(std::u16string_view member,
                                       std::span<const HostValue> args);
  // Assigns the property `member`. Raises Failure like Invoke.
  virtual void Put(std::u16string_view member, const HostValue& value) = 0;
  // Reads the default member, the one an object stands for when it has to
  // become a number or text. Raises Failure when the object has none (the
  // default) or the member fails.
  virtual HostValue DefaultValue();

  // Whether the object keeps itself alive through each of its calls, whatever
  // the calls run: then a HostObject calling it need not take a count for it.
  bool HoldsItselfDuringCalls() const noexcept { return holds_itself_; }

 protected:
  ~HostDispatch() = default;
  // For an implementation that holds a count on itself wherever one of its
  // calls could lose the last: a HostObject then calls it with no count of its own.
  void HoldItselfDuringCalls() noexcept { holds_itself_ = true; }

 private:
  bool holds_itself_ = false;
};

// A counted reference to a host object, or empty. Using a member of an empty
// reference fails with "Object variable or With block variable not set".
class HostObject {
 public:
  HostObject() = default;
  explicit HostObject(HostDispatch* object) : ref_(object) {}
  static HostObject Adopt(HostDispatch* object) {
    HostObject result;
    result.ref_ = Ref<HostDispatch>::Adopt(object);
    return result;
  }

  // Invokes `member` with positional arguments, first argument first
  // (host_object.h).
  template <class... Args>
  HostValue Invoke(std::u16string_view member, Args&&... args) const;
  HostValue InvokeArgs(std::u16string_view member,
                       std::span<const HostValue> args) const;
  // The same with the arguments built where the call reads them: each one
  // made once, in place, rather than made and then moved into an array.
  HostValue Invoke(std::u16string_view member, std::initializer_list<HostValue> args) const;
  // Invokes `member` with no arguments; its failure, an empty reference's
  // included, is handed back rather than raised.
  Outcome<HostValue> TryInvoke(std::u16string_view member) const;
  void Put(std::u16string_view member, const HostValue& value) const;
  // The object's default member; fails like Invoke on an empty reference.
  HostValue DefaultValue() const;

  HostDispatch* Get() const noexcept { return ref_.Get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(ref_); }
  void Reset() noexcept { ref_.Reset(); }
  friend bool operator==(const HostObject& a, const HostObject& b) noexcept {
    return a.ref_ == b.ref_;
  }

 private:
  [[noreturn]] static void RaiseNotSet();
  // The accesses above for an object that does not hold itself: each with a
  // count taken for the call.
  HostValue InvokeCounted(std::u16string_view member, std::span<const HostValue> args) const;
  Outcome<HostValue> TryInvokeCounted(std::u16string_view member) const;
  void PutCounted(std::u16string_view member, const HostValue& value) const;

  Ref<HostDispatch> ref_;
};

}  // namespace clasp
