#include "server/com/host_object_adapter.h"

#include <dispex.h>

#include <optional>

#include "host/failure.h"
#include "server/com/call_arguments.h"
#include "server/com/default_member.h"
#include "server/com/error.h"
#include "server/com/value.h"

namespace clasp {

HostObject HostObjectAdapter::Wrap(IDispatch* dispatch) {
  if (!dispatch) return {};
  // One interface pointer per host: IDispatchEx when offered, else IDispatch.
  ComPtr<IDispatch> held = ComPtr<IDispatch>::Adopt(QueryAs<IDispatchEx>(dispatch).Detach());
  const bool extended = static_cast<bool>(held);
  if (!extended) held = ComPtr<IDispatch>(dispatch);
  return HostObject::Adopt(new HostObjectAdapter(std::move(held), extended));
}

HostObjectAdapter::HostObjectAdapter(ComPtr<IDispatch> dispatch, bool extended) noexcept
    : dispatch_(std::move(dispatch)), extended_(extended) {
  HoldItselfDuringCalls();
}

IDispatchEx* HostObjectAdapter::Extended() const noexcept {
  return extended_ ? static_cast<IDispatchEx*>(dispatch_.Get()) : nullptr;
}

inline std::optional<DISPID> HostObjectAdapter::Resolve(std::u16string_view member) {
  // The name's text is kept; its identifier never is: asked for at every access.
  Bstr unkept;
  BSTR name = names_.TextOf(member);
  if (!name) name = (unkept = Bstr(member)).Get();
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = E_NOTIMPL;
  IDispatchEx* extended = Extended();
  {
    const NameIndex::Lookup lookup(names_);
    if (extended) result = extended->GetDispID(name, fdexNameCaseInsensitive, &id);
    if (!extended || result == E_NOTIMPL) {
      LPOLESTR names[] = {name};
      result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    }
  }
  if (FAILED(result)) return std::nullopt;
  return id;
}

// Inline, as every access makes one.
inline std::optional<Failure> HostObjectAdapter::Call(DISPID id, WORD flags,
                                                      DISPPARAMS& params, Variant* result) {
  failures_.BeforeCall(dispatch_.Get());
  ExcepInfo excep_info;
  HRESULT outcome;
  VARIANT* answer = result ? result->Put() : nullptr;
  if (IDispatchEx* extended = Extended()) {
    outcome = extended->InvokeEx(id, LOCALE_USER_DEFAULT, flags, &params, answer,
                                 excep_info.Put(), nullptr);
  } else {
    UINT argument_error = 0;
    outcome = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, answer,
                                excep_info.Put(), &argument_error);
  }
  if (FAILED(outcome)) {
    return failures_.Of(outcome, excep_info, dispatch_.Get(),
                        Extended() ? __uuidof(IDispatchEx) : __uuidof(IDispatch));
  }
  return std::nullopt;
}

// Each entry below holds a count on the adapter for the call: the host may
// drop the reference we were called through, whatever it does to the
// component. Made part of each entry, as every access makes one.
[[gnu::always_inline]] inline std::optional<Failure> HostObjectAdapter::CallMember(
    std::u16string_view member, const HostValue* args, std::size_t count, Variant& answer) {
  const std::optional<DISPID> id = Resolve(member);
  if (!id) return MemberMissingFailure();
  if (count == 0) {
    // Most accesses are reads: nothing to build, nothing to copy back.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Call(*id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, none, &answer);
  }
  CallArguments arguments(std::span<const HostValue>(args, count));
  DISPPARAMS params{arguments.Data(), nullptr, arguments.Count(), 0};
  std::optional<Failure> failure =
      Call(*id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params, &answer);
  // Copied back on either road: the callee may have written before failing.
  arguments.CopyBack();
  return failure;
}

// Both entries convert the answer straight into the value they return, with
// no value in between to move from; `fail` hands the failure back or raises it.
template <class Result, class Fail>
[[gnu::always_inline]] inline Result HostObjectAdapter::Answer(
    std::u16string_view member, std::span<const HostValue> args, Fail fail) {
  const Ref<HostObjectAdapter> keep_alive(this);
  Variant answer;
  if (std::optional<Failure> failure = CallMember(member, args.data(), args.size(), answer)) {
    return fail(std::move(*failure));
  }
  return TakeHostValue(answer);
}

Outcome<HostValue> HostObjectAdapter::TryInvoke(std::u16string_view member,
                                                std::span<const HostValue> args) {
  return Answer<Outcome<HostValue>>(
      member, args, [](Failure&& failure) -> Outcome<HostValue> { return std::move(failure); });
}

HostValue HostObjectAdapter::Invoke(std::u16string_view member,
                                    std::span<const HostValue> args) {
  // Raised here, once, for the callers that cannot take it handed back.
  return Answer<HostValue>(member, args,
                           [](Failure&& failure) -> HostValue { throw std::move(failure); });
}

void HostObjectAdapter::Put(std::u16string_view member, const HostValue& value) {
  const Ref<HostObjectAdapter> keep_alive(this);
  const std::optional<DISPID> id = Resolve(member);
  if (!id) throw MemberMissingFailure();
  Variant argument = ToVariant(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{argument.ArgumentsForInvoke(), &named, 1, 1};
  if (std::optional<Failure> failure = Call(*id, DISPATCH_PROPERTYPUT, params, nullptr)) {
    throw std::move(*failure);
  }
}

HostValue HostObjectAdapter::DefaultValue() {
  const Ref<HostObjectAdapter> keep_alive(this);
  return ReadDefaultMember(dispatch_.Get());
}

}  // namespace clasp
