#include "server/holdfast_object.h"

#include <oleauto.h>

#include <optional>
#include <utility>

#include "component/holdfast.h"
#include "server/com/com_object.h"
#include "server/com/error.h"
#include "server/com/owners.h"
#include "server/com/object_bridge.h"
#include "server/com/value.h"
#include "server/identity.h"
#include "server/module.h"
#include "server/platform_convert.h"

namespace clasp {
namespace {

bool IsHoldfastInterface(REFIID iid) noexcept {
  return iid == IID__Holdfast || iid == kIidHoldfastV0 || iid == kIidHoldfastV1;
}

bool IsPut(WORD flags) noexcept {
  return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
}

// The display values the fast path takes: held by value, of a kind the
// dispatcher hands on as it came. Errors are left to it: one stands for a
// missing argument there.
bool IsPlainDisplayKind(VARTYPE kind) noexcept {
  switch (kind) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_BOOL: return true;
    default: return false;
  }
}

// Cols exactly as hosts call it: as a method (scripts add the property read),
// no arguments. This request and the plain puts (ServePlainPut) are served
// without the type library's dispatcher, which otherwise walks its
// descriptions on every call; every other request, malformed ones above all,
// is still answered by it.
bool IsPlainColsCall(DISPID id, WORD flags, const DISPPARAMS& params) noexcept {
  return id == kDispidCols &&
         (flags == DISPATCH_METHOD || flags == (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) &&
         params.cArgs == 0 && params.cNamedArgs == 0;
}

// A caller's malformed request, refused before the type library's dispatcher
// reads through any of it. Every member is a put of one value or Cols, which
// takes none.
HRESULT CheckRequest(WORD flags, const DISPPARAMS* params) noexcept {
  if (!params) return E_INVALIDARG;
  if (params->cArgs > 0 && !params->rgvarg) return E_INVALIDARG;
  if (params->cNamedArgs > 0 && !params->rgdispidNamedArgs) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    // The one named argument automation knows for our members is the put's value.
    if (!IsPut(flags) || params->rgdispidNamedArgs[i] != DISPID_PROPERTYPUT) {
      return DISP_E_PARAMNOTFOUND;
    }
  }
  if (IsPut(flags) && params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
  for (UINT i = 0; i < params->cArgs; ++i) {
    if (const HRESULT bad = CheckValue(params->rgvarg[i]); FAILED(bad)) return bad;
  }
  return S_OK;
}

// Stands in for the component while the type library's dispatcher shapes the
// failure of a member that was served without it: every member answers that
// failure again, with its error object put back on the thread, and runs
// nothing. The failure lives here, for this one call, and not on the
// component: a call that reaches the component meanwhile (a host's AddRef,
// run by the dispatcher as it copies an object argument, say) is served and
// answered as any other.
class FailedMember final : public _Holdfast {
 public:
  FailedMember(HRESULT failure, ComPtr<IErrorInfo> error) noexcept
      : failure_(failure), error_(std::move(error)) {}
  FailedMember(const FailedMember&) = delete;
  FailedMember& operator=(const FailedMember&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || IsHoldfastInterface(iid)) {
      *out = static_cast<_Holdfast*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the stack of the one Invoke it serves.
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return 1; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                   EXCEPINFO*, UINT*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE putref_StepDisp(IDispatch*) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE putref_StepMks(IDispatch*) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE putref_StepRunModul(IDispatch*) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE putref_StepTrac(IDispatch*) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE putref_StepJour(IDispatch*) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE Cols(LONG*) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE put_DisapleVal01(VARIANT) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE put_DisapleVal02(VARIANT) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE put_DisapleVal03(VARIANT) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE put_DisapleVal04(VARIANT) noexcept override { return Again(); }
  HRESULT STDMETHODCALLTYPE put_ScreenNo(BSTR) noexcept override { return Again(); }

 private:
  HRESULT Again() noexcept {
    SetErrorInfo(0, error_.Get());
    return failure_;
  }

  HRESULT failure_;
  ComPtr<IErrorInfo> error_;
};

class HoldfastObject final
    : public ComObject<HoldfastObject, _Holdfast, ISupportErrorInfo> {
 public:
  void* Interface(REFIID iid) noexcept {
    if (iid == __uuidof(IDispatch) || IsHoldfastInterface(iid)) {
      return static_cast<_Holdfast*>(this);
    }
    if (iid == __uuidof(ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) noexcept override {
    return IsHoldfastInterface(iid) ? S_OK : S_FALSE;
  }

  // IDispatch, served from our own type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return Guarded([&] {
      *info = HoldfastTypeInfo().Detach();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) noexcept override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) {
      if (!names[i]) return E_INVALIDARG;
    }
    return Guarded([&] { return HoldfastTypeInfo()->GetIDsOfNames(names, count, ids); });
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep_info,
                                   UINT* argument_error) noexcept override;

  // _Holdfast
  HRESULT STDMETHODCALLTYPE putref_StepDisp(IDispatch* object) noexcept override {
    return Member([&] { core_->StepDisp(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepMks(IDispatch* object) noexcept override {
    return Member([&] { core_->StepMks(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepRunModul(IDispatch* object) noexcept override {
    return Member([&] { core_->StepRunModul(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepTrac(IDispatch* object) noexcept override {
    return Member([&] { core_->StepTrac(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE putref_StepJour(IDispatch* object) noexcept override {
    return Member([&] { core_->StepJour(HostOfDispatch(object)); });
  }
  HRESULT STDMETHODCALLTYPE Cols(LONG* result) noexcept override {
    if (!result) return E_POINTER;
    return Member([&] { *result = core_->Cols(); });
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal01(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal01);
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal02(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal02);
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal03(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal03);
  }
  HRESULT STDMETHODCALLTYPE put_DisapleVal04(VARIANT value) noexcept override {
    return Display(value, &Holdfast::DisapleVal04);
  }
  HRESULT STDMETHODCALLTYPE put_ScreenNo(BSTR text) noexcept override {
    return Member([&] { core_->ScreenNo(TextOf(text)); });
  }

 private:
  friend class ComObject<HoldfastObject, _Holdfast, ISupportErrorInfo>;
  // Dates, currency, decimals and arrays convert exactly as the host's own
  // runtime converts them.
  HoldfastObject() : core_(Holdfast::Create(Conversions(OleConversions()))) {}
  ~HoldfastObject() = default;

  // Runs one member: a counted reference to ourselves for the whole call (the
  // host may drop its last one inside it), and failures turned into an
  // HRESULT with an error object for the caller.
  template <class Body>
  HRESULT Member(Body&& body) noexcept {
    const ComPtr<HoldfastObject> keep_alive(this);
    return Run(body);
  }

  // Member for a caller that already holds a count for the whole call.
  template <class Body>
  HRESULT Run(Body&& body) noexcept {
    try {
      body();
      return S_OK;
    } catch (...) {
      last_failure_ = ToHresult(IID__Holdfast, kErrorSource);
      return last_failure_;
    }
  }

  // A display value goes on only when it is one: the caller's malformed
  // VARIANT is the caller's error, not a failure of the display.
  template <class Setter>
  HRESULT Display(const VARIANT& value, Setter setter) noexcept {
    if (const HRESULT bad = CheckValue(value); FAILED(bad)) return bad;
    return Member([&] { ((*core_).*setter)(ToHostValue(value)); });
  }

  // A put exactly as hosts make one, served without the type library's
  // dispatcher as a plain Cols is: a step object assigned by reference, a
  // display value of a plain kind, a screen number as text. Each is a value
  // the dispatcher hands to the member unchanged. Nothing for any other
  // request, which the dispatcher answers.
  std::optional<HRESULT> ServePlainPut(DISPID id, WORD flags, const DISPPARAMS& params) noexcept {
    if (params.cArgs != 1 || params.cNamedArgs != 1 ||
        params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
      return std::nullopt;
    }
    const VARIANT& value = params.rgvarg[0];
    const VARTYPE kind = V_VT(&value);
    const bool step = flags == DISPATCH_PROPERTYPUTREF && kind == VT_DISPATCH;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    const bool display = put && IsPlainDisplayKind(kind);
    switch (id) {
      case kDispidStepDisp: if (step) return putref_StepDisp(V_DISPATCH(&value)); break;
      case kDispidStepMks: if (step) return putref_StepMks(V_DISPATCH(&value)); break;
      case kDispidStepRunModul: if (step) return putref_StepRunModul(V_DISPATCH(&value)); break;
      case kDispidStepTrac: if (step) return putref_StepTrac(V_DISPATCH(&value)); break;
      case kDispidStepJour: if (step) return putref_StepJour(V_DISPATCH(&value)); break;
      case kDispidDisapleVal01: if (display) return put_DisapleVal01(value); break;
      case kDispidDisapleVal02: if (display) return put_DisapleVal02(value); break;
      case kDispidDisapleVal03: if (display) return put_DisapleVal03(value); break;
      case kDispidDisapleVal04: if (display) return put_DisapleVal04(value); break;
      case kDispidScreenNo: if (put && kind == VT_BSTR) return put_ScreenNo(V_BSTR(&value)); break;
      default: break;
    }
    return std::nullopt;
  }

  // A failure served without the dispatcher, shaped by it for this call alone.
  HRESULT AnswerFailure(HRESULT failure, DISPID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep_info, UINT* argument_error);

  // What the last failing member returned, for Invoke's EXCEPINFO; each Invoke
  // keeps the one of any call nested inside it from its own.
  HRESULT last_failure_ = S_OK;
  Ref<Holdfast> core_;
};

HRESULT HoldfastObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep_info,
                               UINT* argument_error) noexcept {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (const HRESULT bad = CheckRequest(flags, params); FAILED(bad)) return bad;
  const ComPtr<HoldfastObject> keep_alive(this);
  const HRESULT enclosing_failure = std::exchange(last_failure_, S_OK);
  const HRESULT outcome = Guarded([&] {
    // Loaded before any call is served, so that a call fails alike whichever
    // way it is served; fetched (and counted) only for the dispatcher.
    RequireHoldfastTypeInfo();
    SetErrorInfo(0, nullptr);
    if (IsPlainColsCall(id, flags, *params)) {
      LONG answer = 0;
      // Cols' own body: this call already holds a count, and nothing can be
      // left to replay at its start.
      const HRESULT called = Run([&] { answer = core_->Cols(); });
      if (SUCCEEDED(called)) {
        // As the dispatcher hands a result back: initialised, then the value.
        if (result) {
          VariantInit(result);
          V_VT(result) = VT_I4;
          V_I4(result) = answer;
        }
        return called;
      }
      // A failure is rare and its answer is the dispatcher's to shape
      // (EXCEPINFO from our error object).
      return AnswerFailure(called, id, flags, params, result, excep_info, argument_error);
    }
    if (const std::optional<HRESULT> put = ServePlainPut(id, flags, *params)) {
      // A put's result is left as the caller passed it, as the dispatcher leaves it.
      if (SUCCEEDED(*put)) return *put;
      return AnswerFailure(*put, id, flags, params, result, excep_info, argument_error);
    }
    const HRESULT dispatched = HoldfastTypeInfo()->Invoke(
        static_cast<_Holdfast*>(this), id, flags, params, result, excep_info, argument_error);
    // Script hosts read the number from scode only; make sure it is there even
    // if the type library's dispatcher filled just the description.
    if (dispatched == DISP_E_EXCEPTION && excep_info && excep_info->scode == 0 &&
        excep_info->wCode == 0 && FAILED(last_failure_)) {
      excep_info->scode = last_failure_;
    }
    return dispatched;
  });
  last_failure_ = enclosing_failure;
  return outcome;
}

HRESULT HoldfastObject::AnswerFailure(HRESULT failure, DISPID id, WORD flags,
                                      DISPPARAMS* params, VARIANT* result,
                                      EXCEPINFO* excep_info, UINT* argument_error) {
  // The member's error object goes with the stand-in, so that nothing run in
  // between can take it off the thread or put another there.
  ComPtr<IErrorInfo> error;
  GetErrorInfo(0, error.Put());
  FailedMember stand_in(failure, std::move(error));
  const HRESULT dispatched = HoldfastTypeInfo()->Invoke(static_cast<_Holdfast*>(&stand_in), id,
                                                        flags, params, result, excep_info,
                                                        argument_error);
  if (dispatched == DISP_E_EXCEPTION && excep_info && excep_info->scode == 0 &&
      excep_info->wCode == 0) {
    excep_info->scode = failure;
  }
  return dispatched;
}

}  // namespace

HRESULT CreateHoldfastObject(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded([&] { return HoldfastObject::Make()->QueryInterface(iid, out); });
}

}  // namespace clasp
