#include "server/com/host_object_adapter.h"

#include <dispex.h>

#include <vector>

#include "host/failure.h"
#include "server/com/default_member.h"
#include "server/com/error.h"
#include "server/com/value.h"

namespace clasp {
namespace {

// The VARIANTARGs of one call, last argument first as DISPPARAMS wants them.
// Text by reference points at a BSTR of ours; whatever the callee leaves
// there goes back to the caller's variable, whether the call succeeded or not.
class Arguments {
 public:
  explicit Arguments(std::span<const HostValue> args) : values_(args.size()) {
    std::size_t references = 0;
    for (const HostValue& arg : args) references += arg.IsByRef() ? 1 : 0;
    // Reserved once, so that each BSTR's address stays put for the call.
    references_.reserve(references);
    for (std::size_t i = 0; i < args.size(); ++i) {
      const HostValue& arg = args[i];
      VARIANTARG& slot = values_[args.size() - 1 - i];
      if (arg.IsByRef()) {
        Reference& reference = references_.emplace_back();
        reference.target = &arg.RefTarget();
        BSTR* text = reference.text.Put();
        *text = Bstr(arg.AsText()).Detach();
        V_BSTRREF(&slot) = text;
        V_VT(&slot) = VT_BYREF | VT_BSTR;
      } else {
        slot = ToVariant(arg).Detach();
      }
    }
  }

  // The callee may have changed the text; the caller's variable follows.
  void CopyBack() const {
    for (const Reference& reference : references_) *reference.target = reference.text.Text();
  }

  VARIANTARG* Data() noexcept { return values_.Data(); }
  UINT Count() const noexcept { return static_cast<UINT>(values_.Size()); }

 private:
  struct Reference {
    Bstr text;
    std::u16string* target = nullptr;
  };
  VariantArray values_;
  std::vector<Reference> references_;
};

}  // namespace

HostObject HostObjectAdapter::Wrap(IDispatch* dispatch) {
  if (!dispatch) return {};
  // One interface pointer per host: IDispatchEx when offered, else IDispatch.
  ComPtr<IDispatch> held = ComPtr<IDispatch>::Adopt(QueryAs<IDispatchEx>(dispatch).Detach());
  const bool extended = static_cast<bool>(held);
  if (!extended) held = ComPtr<IDispatch>(dispatch);
  return HostObject::Adopt(new HostObjectAdapter(std::move(held), extended));
}

HostObjectAdapter::HostObjectAdapter(ComPtr<IDispatch> dispatch, bool extended) noexcept
    : dispatch_(std::move(dispatch)), extended_(extended) {}

void HostObjectAdapter::AddRef() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }

void HostObjectAdapter::Release() noexcept {
  if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

IDispatchEx* HostObjectAdapter::Extended() const noexcept {
  return extended_ ? static_cast<IDispatchEx*>(dispatch_.Get()) : nullptr;
}

DISPID HostObjectAdapter::Resolve(std::u16string_view member) const {
  Bstr name(member);
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = E_NOTIMPL;
  IDispatchEx* extended = Extended();
  if (extended) result = extended->GetDispID(name.Get(), fdexNameCaseInsensitive, &id);
  if (!extended || result == E_NOTIMPL) {
    LPOLESTR names[] = {name.Get()};
    result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  }
  if (FAILED(result)) throw MemberMissingFailure();
  return id;
}

void HostObjectAdapter::Call(DISPID id, WORD flags, DISPPARAMS& params, Variant* result) const {
  // An error object left by an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);
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
    throw FailureOfCall(outcome, excep_info, dispatch_.Get(),
                        Extended() ? __uuidof(IDispatchEx) : __uuidof(IDispatch));
  }
}

HostValue HostObjectAdapter::Invoke(std::u16string_view member,
                                    std::span<const HostValue> args) {
  const HostObject keep_alive(this);
  const DISPID id = Resolve(member);
  Arguments arguments(args);
  DISPPARAMS params{arguments.Data(), nullptr, arguments.Count(), 0};
  Variant result;
  try {
    Call(id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params, &result);
  } catch (...) {
    arguments.CopyBack();
    throw;
  }
  arguments.CopyBack();
  return ToHostValue(result.Get());
}

void HostObjectAdapter::Put(std::u16string_view member, const HostValue& value) {
  const HostObject keep_alive(this);
  const DISPID id = Resolve(member);
  Variant argument = ToVariant(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{argument.Address(), &named, 1, 1};
  Call(id, DISPATCH_PROPERTYPUT, params, nullptr);
}

HostValue HostObjectAdapter::DefaultValue() {
  const HostObject keep_alive(this);
  return ReadDefaultMember(dispatch_.Get());
}

}  // namespace clasp
