#include "certify/certify_probe.h"

#include <dispex.h>

#include <cstdio>
#include <map>
#include <string>

#include "host/failure.h"
#include "host/text.h"
#include "server/com/com_object.h"
#include "server/com/error.h"
#include "com/com_support.h"

namespace clasp::sim {
namespace {

constexpr VARTYPE kTextByRef = VT_BYREF | VT_BSTR;

bool MeansNoMember(HRESULT result) {
  return result == DISP_E_UNKNOWNNAME || result == DISP_E_MEMBERNOTFOUND;
}

// Dispatch errors by which a member turns its arguments down.
bool MeansArgumentsRefused(HRESULT result) {
  return result == DISP_E_BADPARAMCOUNT || result == DISP_E_TYPEMISMATCH ||
         result == DISP_E_PARAMNOTOPTIONAL || result == DISP_E_PARAMNOTFOUND ||
         result == DISP_E_BADVARTYPE;
}

// The members only the report exchange reaches. It gives up at the first
// failure and traces nothing of it, so such a failure shows on no line at all.
bool ReachedOnlyByTheReport(std::string_view member) {
  static constexpr std::string_view kReport[] = {
      "ControlNum",    "WriteDetailFileName", "PackMessage",    "CommSign",
      "IsWriteOnly",   "SendMessage",         "SendMessageLen", "StepCommWriteOnly",
      "StepCommWrite", "IsUnPackOex",         "TimeOutComm",    "RecieveMessage",
      "RecieveMessageLen", "StepCommRead",    "UnpackMessage"};
  for (const std::string_view name : kReport) {
    if (SameIgnoringCase(name, member)) return true;
  }
  return false;
}

Finding Fail(std::string check, std::string what, std::string expected) {
  return {Verdict::kFail, {}, {}, 0, std::move(check), std::move(what), std::move(expected)};
}

// The description an error object carries, left in place for the caller.
std::u16string ErrorObjectText() {
  ComPtr<IErrorInfo> error;
  if (GetErrorInfo(0, error.Put()) != S_OK || !error) return {};
  Bstr description;
  error->GetDescription(description.Put());
  SetErrorInfo(0, error.Get());
  return description.Text();
}

class Probe final : public ComObject<Probe, IDispatchEx> {
 public:
  void* Interface(REFIID iid) noexcept {
    if (iid == __uuidof(IDispatch)) return static_cast<IDispatch*>(this);
    if (iid == __uuidof(IDispatchEx) && extended_) return static_cast<IDispatchEx*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) noexcept override {
    const HRESULT result = real_->GetIDsOfNames(iid, names, count, locale, ids);
    return Resolved(result, names && count ? names[0] : nullptr, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                                   UINT* argument_error) noexcept override {
    return Observe(id, params, result, excep_info, [&](EXCEPINFO* info) {
      return real_->Invoke(id, iid, locale, flags, params, result, info, argument_error);
    });
  }
  HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD options, DISPID* id) noexcept override {
    const HRESULT result = extended_->GetDispID(name, options, id);
    // Not implemented: the caller falls back to GetIDsOfNames, which judges.
    if (result == E_NOTIMPL) return result;
    return Resolved(result, name, id);
  }
  HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep_info,
                                     IServiceProvider* caller) noexcept override {
    return Observe(id, params, result, excep_info, [&](EXCEPINFO* info) {
      return extended_->InvokeEx(id, locale, flags, params, result, info, caller);
    });
  }
  HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) noexcept override {
    if (parent) *parent = nullptr;
    return E_NOTIMPL;
  }

 private:
  friend class ComObject<Probe, IDispatchEx>;
  Probe(IDispatch* real, std::vector<AccessSeen>& seen, std::function<std::string()> reported)
      : real_(real), extended_(QueryAs<IDispatchEx>(real)), seen_(seen),
        reported_(std::move(reported)) {}
  ~Probe() = default;

  HRESULT Resolved(HRESULT result, const wchar_t* name, const DISPID* id) noexcept {
    try {
      const std::string text = name ? Utf8(reinterpret_cast<const char16_t*>(name)) : "";
      if (SUCCEEDED(result) && id) {
        names_[*id] = text;
      } else if (FAILED(result)) {
        AccessSeen access{text, {}};
        access.findings.push_back(Fail("member exists", "has no member of that name (" +
                                                            Hex(result) + ", failure 438)",
                                       "a member named " + text));
        seen_.push_back(std::move(access));
      }
    } catch (...) {
      // Out of memory while taking notes: the call itself goes on unjudged.
    }
    return result;
  }

  template <class Call>
  HRESULT Observe(DISPID id, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                  Call call) noexcept {
    ExcepInfo own_info;
    EXCEPINFO* info = excep_info ? excep_info : own_info.Put();
    // The by-reference texts we lent, to see what comes back in them.
    std::vector<std::pair<std::size_t, BSTR*>> lent;
    if (params) {
      for (std::size_t i = 0; i < params->cArgs; ++i) {
        const VARIANTARG& arg = params->rgvarg[i];
        if (V_VT(&arg) == kTextByRef) lent.emplace_back(i, V_BSTRREF(&arg));
      }
    }
    const ULONG before = CountOf(real_.Get());
    const HRESULT outcome = call(info);
    const ULONG after = CountOf(real_.Get());
    try {
      AccessSeen access;
      const auto name = names_.find(id);
      access.member = name != names_.end() ? name->second : "[default]";
      Judge(access, outcome, *info, params, lent, result);
      if (after > before && !(result && SUCCEEDED(outcome) &&
                              (V_VT(result) == VT_DISPATCH || V_VT(result) == VT_UNKNOWN))) {
        access.findings.push_back(
            Fail("count", "the object's count went from " + std::to_string(before) + " to " +
                              std::to_string(after) + " across the access",
                 "the count back where it started (an answer that is an object aside)"));
      }
      seen_.push_back(std::move(access));
    } catch (...) {
      // Out of memory while taking notes: the call's outcome still goes back.
    }
    return outcome;
  }

  void Judge(AccessSeen& access, HRESULT outcome, EXCEPINFO& info, DISPPARAMS* params,
             const std::vector<std::pair<std::size_t, BSTR*>>& lent, VARIANT*) {
    for (const auto& [index, text] : lent) {
      const VARIANTARG& arg = params->rgvarg[index];
      const std::size_t position = params->cArgs - index;
      if (V_VT(&arg) != kTextByRef || V_BSTRREF(&arg) != text) {
        access.findings.push_back(Fail("by-reference text",
                                       "argument " + std::to_string(position) +
                                           " came back as another kind of value",
                                       "the by-reference text written back as text"));
      } else if (*text == nullptr) {
        access.findings.push_back(Fail("by-reference text",
                                       "argument " + std::to_string(position) +
                                           " came back with no text in it (a null string)",
                                       "the by-reference text written back as text"));
      }
    }
    if (SUCCEEDED(outcome)) return;
    if (MeansNoMember(outcome)) {
      access.findings.push_back(Fail("member exists", "answered " + Hex(outcome) + " (failure 438)",
                                     "a member that takes this access"));
      return;
    }
    if (MeansArgumentsRefused(outcome)) {
      access.findings.push_back(Fail("arguments", "turned the arguments down (" + Hex(outcome) + ")",
                                     "the arguments accepted as the component passes them"));
      return;
    }
    std::int32_t number = NumberOf(outcome);
    std::u16string description;
    if (outcome == DISP_E_EXCEPTION) {
      if (auto fill = std::exchange(info.pfnDeferredFillIn, nullptr)) fill(&info);
      number = info.scode != 0 ? NumberOf(info.scode) : info.wCode;
      description = TextOf(info.bstrDescription);
    }
    if (description.empty()) description = ErrorObjectText();
    if (number == kMemberMissing || number == kWrongArgumentCount) {
      access.findings.push_back(Fail(number == kMemberMissing ? "member exists" : "arguments",
                                     "raised " + std::to_string(number),
                                     "a member that takes this access and its arguments"));
      return;
    }
    std::string raised = "raised " + CodeText(number);
    if (reported_) {
      if (const std::string script = reported_(); !script.empty()) {
        raised += " (its script engine reported " + script + " to the script's host instead)";
      }
    }
    if (number == 0) {
      access.findings.push_back(Fail("failure described", raised + " (no number)",
                                     "a failure with a number and a description"));
    } else if (description.empty()) {
      const char* shown = ReachedOnlyByTheReport(access.member)
                              ? " without a description: the report stops there and no trace "
                                "line shows it"
                              : " without a description: the trace line shows it bare";
      access.findings.push_back({Verdict::kWarning, {}, {}, 0, "failure described",
                                 raised + shown, "a failure with a number and a description"});
    } else {
      access.findings.push_back({Verdict::kPass, {}, {}, 0, "failure described",
                                 raised + " \"" + Utf8(description) + "\"",
                                 "a failure with a number and a description"});
    }
  }

  ComPtr<IDispatch> real_;
  ComPtr<IDispatchEx> extended_;
  std::vector<AccessSeen>& seen_;
  std::function<std::string()> reported_;
  std::map<DISPID, std::string> names_;
};

}  // namespace

ComPtr<IDispatch> MakeProbe(IDispatch* real, std::vector<AccessSeen>& seen,
                            std::function<std::string()> reported) {
  const Ref<Probe> probe = Probe::Make(real, seen, std::move(reported));
  return ComPtr<IDispatch>(static_cast<IDispatch*>(static_cast<IDispatchEx*>(probe.Get())));
}

ULONG CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace clasp::sim
