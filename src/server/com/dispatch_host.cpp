#include "server/com/dispatch_host.h"

#include <vector>

#include "host/failure.h"
#include "server/com/default_member.h"
#include "server/com/error.h"
#include "server/com/host_dispatch.h"
#include "server/com/value.h"

namespace clasp {
namespace {

// The VARIANTs of one call, last argument first as DISPPARAMS wants them.
// Text by reference points at a BSTR of ours that is copied back afterwards.
class Arguments {
 public:
  explicit Arguments(std::span<const HostValue> args) : values_(args.size()) {
    references_.reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
      const HostValue& arg = args[i];
      Variant& slot = values_[args.size() - 1 - i];
      if (arg.IsByRef()) {
        // Reserved above, so the BSTR's address stays put for the call.
        Reference& reference = references_.emplace_back();
        reference.target = &arg.RefTarget();
        BSTR* text = reference.text.Put();
        *text = Bstr(arg.AsText()).Detach();
        VARIANT* out = slot.Put();
        V_BSTRREF(out) = text;
        V_VT(out) = VT_BYREF | VT_BSTR;
      } else {
        slot = ToVariant(arg);
      }
    }
  }

  // The callee may have changed the text; the caller's variable follows.
  void CopyBack() const {
    for (const Reference& reference : references_) *reference.target = reference.text.Text();
  }

  VARIANTARG* Data() noexcept {
    // Variant holds exactly one VARIANT, so the vector is a VARIANT array.
    static_assert(sizeof(Variant) == sizeof(VARIANT));
    return values_.empty() ? nullptr : values_.front().Address();
  }
  UINT Count() const noexcept { return static_cast<UINT>(values_.size()); }

 private:
  struct Reference {
    Bstr text;
    std::u16string* target = nullptr;
  };
  std::vector<Variant> values_;
  std::vector<Reference> references_;
};

}  // namespace

HostObject DispatchHost::Wrap(IDispatch* dispatch) {
  if (!dispatch) return {};
  return HostObject::Adopt(new DispatchHost(dispatch));
}

DispatchHost::DispatchHost(IDispatch* dispatch)
    : dispatch_(dispatch), dispatch_ex_(dispatch_.As<IDispatchEx>()) {}

void DispatchHost::AddRef() noexcept { count_.fetch_add(1, std::memory_order_relaxed); }

void DispatchHost::Release() noexcept {
  if (count_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

DISPID DispatchHost::Resolve(std::u16string_view member) const {
  Bstr name(member);
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = E_NOTIMPL;
  if (dispatch_ex_) result = dispatch_ex_->GetDispID(name.Get(), fdexNameCaseInsensitive, &id);
  if (!dispatch_ex_ || result == E_NOTIMPL) {
    LPOLESTR names[] = {name.Get()};
    result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  }
  if (FAILED(result)) throw MemberMissingFailure();
  return id;
}

void DispatchHost::Call(DISPID id, WORD flags, DISPPARAMS& params, Variant* result) const {
  // An error object left by an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);
  ExcepInfo excep_info;
  HRESULT outcome;
  VARIANT* answer = result ? result->Put() : nullptr;
  if (dispatch_ex_) {
    outcome = dispatch_ex_->InvokeEx(id, LOCALE_USER_DEFAULT, flags, &params, answer,
                                     excep_info.Put(), nullptr);
  } else {
    UINT argument_error = 0;
    outcome = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, answer,
                                excep_info.Put(), &argument_error);
  }
  if (FAILED(outcome)) throw FailureOfCall(outcome, excep_info);
}

HostValue DispatchHost::Invoke(std::u16string_view member, std::span<const HostValue> args) {
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

void DispatchHost::Put(std::u16string_view member, const HostValue& value) {
  const HostObject keep_alive(this);
  const DISPID id = Resolve(member);
  Variant argument = ToVariant(value);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{argument.Address(), &named, 1, 1};
  Call(id, DISPATCH_PROPERTYPUT, params, nullptr);
}

HostValue DispatchHost::DefaultValue() {
  const HostObject keep_alive(this);
  return ReadDefaultMember(dispatch_.Get());
}

HostObject HostOfDispatch(IDispatch* dispatch) {
  if (!dispatch) return {};
  if (HostObject original = HostBehindDispatch(dispatch)) return original;
  return DispatchHost::Wrap(dispatch);
}

}  // namespace clasp
