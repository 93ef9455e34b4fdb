// Hosts that call back into the component while it calls them: nested Cols,
// the last reference dropped, fields emptied or swapped, names looked up,
// values put, and a failure raised inside a nested call.
#include <vector>

#include "attacks.h"
#include "stage.h"

namespace clasp::hostile {
namespace {

constexpr int kNestingDepth = 50;
constexpr LONG kNotRetained = 0;

std::string ColsAnswers(Stage& stage, LONG expected) {
  LONG result = -1;
  const HRESULT outcome = stage.component->Cols(&result);
  if (outcome == S_OK && result == expected) return "";
  return " Cols answered " + Hex(outcome) + " " + std::to_string(result) + ";";
}

std::string NestedCols() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  int depth = 0;
  std::vector<LONG> inner;
  stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
    if (depth < kNestingDepth) {
      ++depth;
      LONG answer = 0;
      component->Cols(&answer);
      inner.push_back(answer);
    }
    V_VT(result) = VT_I4;
    V_I4(result) = kRetained;
    return S_OK;
  });
  stage.Assign();
  std::string wrong = ColsAnswers(stage, kRetained);
  if (inner.size() != kNestingDepth) wrong += " nested " + std::to_string(inner.size()) + " deep;";
  for (LONG answer : inner) {
    if (answer != kRetained) wrong += " a nested Cols answered " + std::to_string(answer) + ";";
  }
  return wrong + stage.Balanced();
}

std::string LastReleaseDuringCall() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  stage.disp->Calls(L"ScreenDisplay", [&](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    stage.component.Reset();  // the caller's last reference
    return S_OK;
  });
  stage.Assign();
  LONG result = 0;
  const HRESULT outcome = component->Cols(&result);
  std::string wrong;
  if (outcome != S_OK || result != kRetained)
    wrong += " Cols answered " + std::to_string(result) + ";";
  return wrong + stage.Balanced();
}

std::string FieldEmptiedDuringCall() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  stage.disp->Calls(L"ScreenDisplay", [&](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    component->putref_StepDisp(nullptr);
    return S_OK;
  });
  stage.Assign();
  std::string wrong = ColsAnswers(stage, kFailure);
  if (stage.LastTrace() != "091Object variable or With block variable not set") {
    wrong += " the failure is not traced as object not set;";
  }
  return wrong + stage.Balanced();
}

std::string FieldSwappedDuringCall() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  ComPtr<DispatchHost> other = DispatchHost::Create("OtherMks", {Binding::kExtended, stage.log});
  other->Returns(L"CardReaderRetain", MakeI4(kNotRetained).Get());
  stage.disp->Calls(L"ScreenDisplay", [&](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    component->putref_StepMks(other.Get());
    return S_OK;
  });
  stage.Assign();
  std::string wrong = ColsAnswers(stage, kNotRetained);
  component->putref_StepMks(stage.mks.Get());
  wrong += stage.Balanced();
  if (other->RefCount() != 1)
    wrong += " the swapped-in host holds " + std::to_string(other->RefCount()) + ";";
  return wrong;
}

std::string NamesDuringCall() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  std::string wrong;
  stage.trac->Calls(L"TraceWrite", [&](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    const std::pair<const wchar_t*, DISPID> names[] = {
        {L"Cols", kColsId}, {L"StepDisp", kStepDispId}, {L"DisapleVal01", kDisapleVal01Id}};
    for (const auto& [name, expected] : names) {
      LPOLESTR asked[] = {const_cast<LPOLESTR>(name)};
      DISPID id = DISPID_UNKNOWN;
      if (component->GetIDsOfNames(IID_NULL, asked, 1, LOCALE_USER_DEFAULT, &id) != S_OK ||
          id != expected) {
        wrong += " a name looked up during a call came back wrong;";
      }
    }
    return S_OK;
  });
  stage.Assign();
  wrong += ColsAnswers(stage, kRetained);
  return wrong + stage.Balanced();
}

std::string PutDuringCall() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  HRESULT put = E_FAIL;
  stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
    put = component->put_DisapleVal01(MakeText(L"again").Get());
    V_VT(result) = VT_I4;
    V_I4(result) = kRetained;
    return S_OK;
  });
  stage.Assign();
  std::string wrong = ColsAnswers(stage, kRetained);
  if (put != S_OK) wrong += " the put inside the call answered " + Hex(put) + ";";
  return wrong + stage.Balanced();
}

std::string RaiseInsideNestedCall() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  int calls = 0;
  LONG inner = 0;
  stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO* info) {
    if (++calls == 1) {
      component->Cols(&inner);
      V_VT(result) = VT_I4;
      V_I4(result) = kRetained;
      return S_OK;
    }
    if (!info) return E_FAIL;
    info->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1234);
    info->bstrDescription = SysAllocString(L"boom");
    info->bstrSource = SysAllocString(L"host");
    return DISP_E_EXCEPTION;
  });
  stage.Assign();
  std::string wrong = ColsAnswers(stage, kRetained);
  if (inner != kFailure) wrong += " the nested Cols answered " + std::to_string(inner) + ";";
  return wrong + stage.Balanced();
}

std::string HostRewritesItsArguments() {
  Stage stage;
  stage.run->Calls(L"RecordMessage", [](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    for (UINT i = 0; i < params.cArgs; ++i) {
      VariantClear(&params.rgvarg[i]);
      V_VT(&params.rgvarg[i]) = VT_BSTR;
      V_BSTR(&params.rgvarg[i]) = SysAllocString(L"the host's own text, freed by the caller");
    }
    return S_OK;
  });
  stage.Assign();
  const std::string wrong = ColsAnswers(stage, kRetained);
  return wrong + stage.Balanced();
}

// What a put or Cols nested past the component's bound answers: error 28.
constexpr HRESULT kOutOfStackSpace = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 28);
constexpr HRESULT kRaisedByDisplay = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1234);
// The bound itself, as the component keeps it.
constexpr int kNestingLimit = 100;

// Whether the thread's error object describes error 28.
std::string OutOfStackDescribed() {
  ComPtr<IErrorInfo> error;
  BSTR description = nullptr;
  if (GetErrorInfo(0, error.Put()) != S_OK || !error ||
      FAILED(error->GetDescription(&description))) {
    return " no error object describes the failure;";
  }
  const std::wstring text = description ? description : L"";
  SysFreeString(description);
  return text == L"Out of stack space" ? "" : " the failure is described otherwise;";
}

// A display put that reaches the component itself again, directly or through
// a second component, ends in error 28 rather than the end of the stack.
std::string DisplayLoop(bool through_twin) {
  Stage stage;
  ComPtr<_Holdfast> twin = through_twin ? CreateComponent() : ComPtr<_Holdfast>();
  _Holdfast* component = stage.component.Get();
  _Holdfast* display = through_twin ? twin.Get() : component;
  component->putref_StepDisp(display);
  if (twin) twin->putref_StepDisp(component);
  std::string wrong;
  const HRESULT put = component->put_DisapleVal01(MakeText(L"x").Get());
  if (put != kOutOfStackSpace) wrong += " the put answered " + Hex(put) + ";";
  else wrong += OutOfStackDescribed();
  // The loop is broken and the component works as before.
  component->putref_StepDisp(stage.disp.Get());
  if (twin) twin->putref_StepDisp(nullptr);
  stage.Assign();
  wrong += ColsAnswers(stage, kRetained);
  twin.Reset();
  return wrong + stage.Balanced();
}

// A reader that calls Cols again from every Cols: the call past the bound
// fails with error 28, and every call above it ends as it should.
std::string ColsNestedWithoutEnd() {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  int depth = 0;
  std::vector<HRESULT> refused;
  stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
    ++depth;
    LONG answer = 0;
    const HRESULT inner = component->Cols(&answer);
    if (inner != S_OK) refused.push_back(inner);
    V_VT(result) = VT_I4;
    V_I4(result) = kRetained;
    return S_OK;
  });
  stage.Assign();
  std::string wrong = ColsAnswers(stage, kRetained);
  if (depth != kNestingLimit) wrong += " nested " + std::to_string(depth) + " deep;";
  if (refused.size() != 1 || refused[0] != kOutOfStackSpace) {
    wrong += " the calls past the bound were not refused once with error 28;";
  }
  return wrong + stage.Balanced();
}

// A display that fails a put of an object: while the failure is shaped, the
// object, counted again, puts a screen number. That put runs and answers for
// itself, the failing put runs once, and the next Cols shows the new screen.
std::string PutInsideFailureShaping() {
  Stage stage;
  ComPtr<DispatchHost> value = DispatchHost::Create("Value", {Binding::kDispatch, stage.log});
  ComPtr<IDispatch> component;
  stage.component->QueryInterface(IID_IDispatch, component.PutVoid());
  HRESULT inner = E_FAIL;
  int display_puts = 0;
  stage.disp->Calls(L"DisapleVal01", [&](DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
    ++display_puts;
    value->OnNextAddRef([&] {
      VARIANT screen = MakeText(L"12").Detach();
      DISPID named = DISPID_PROPERTYPUT;
      DISPPARAMS params{&screen, &named, 1, 1};
      inner = component->Invoke(kScreenNoId, IID_NULL, LOCALE_USER_DEFAULT,
                                DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
      VariantClear(&screen);
    });
    if (!info) return kRaisedByDisplay;
    info->scode = kRaisedByDisplay;
    info->bstrDescription = SysAllocString(L"boom");
    info->bstrSource = SysAllocString(L"display");
    return DISP_E_EXCEPTION;
  });
  LONG screen = 0;
  stage.disp->Calls(L"ScreenNo", [&](DISPPARAMS& params, VARIANT*, EXCEPINFO*) {
    VARIANT number;
    VariantInit(&number);
    if (params.cArgs == 1 && VariantChangeType(&number, &params.rgvarg[0], 0, VT_I4) == S_OK) {
      screen = V_I4(&number);
    }
    return S_OK;
  });
  stage.Assign();
  VARIANT object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = value.Get();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&object, &named, 1, 1};
  EXCEPINFO info{};
  const HRESULT outer = component->Invoke(kDisapleVal01Id, IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_PROPERTYPUT, &params, nullptr, &info, nullptr);
  const SCODE outer_scode = info.scode;
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrHelpFile);
  std::string wrong;
  if (outer != DISP_E_EXCEPTION || outer_scode != kRaisedByDisplay) {
    wrong += " the failing put answered " + Hex(outer) + " " + Hex(outer_scode) + ";";
  }
  if (inner != S_OK) wrong += " the put made meanwhile answered " + Hex(inner) + ";";
  if (display_puts != 1) wrong += " the failing put ran " + std::to_string(display_puts) + " times;";
  stage.disp->Calls(L"DisapleVal01", [](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return S_OK; });
  wrong += ColsAnswers(stage, kRetained);
  if (screen != 12) wrong += " Cols showed screen " + std::to_string(screen) + ";";
  component.Reset();
  return wrong + stage.Balanced();
}

}  // namespace

void AddReentryAttacks(std::vector<Attack>& attacks) {
  attacks.push_back({"reentry: Cols nested 50 deep", NestedCols});
  attacks.push_back({"reentry: last release during Cols", LastReleaseDuringCall});
  attacks.push_back({"reentry: display field emptied during Cols", FieldEmptiedDuringCall});
  attacks.push_back({"reentry: card reader field swapped during Cols", FieldSwappedDuringCall});
  attacks.push_back({"reentry: names looked up during Cols", NamesDuringCall});
  attacks.push_back({"reentry: display value put during Cols", PutDuringCall});
  attacks.push_back({"reentry: raise inside a nested Cols", RaiseInsideNestedCall});
  attacks.push_back({"reentry: host rewrites its by-value arguments", HostRewritesItsArguments});
  attacks.push_back({"reentry: component set as its own display",
                     [] { return DisplayLoop(false); }});
  attacks.push_back({"reentry: two components each other's display",
                     [] { return DisplayLoop(true); }});
  attacks.push_back({"reentry: Cols nested without end", ColsNestedWithoutEnd});
  attacks.push_back({"reentry: put made while a failing put is answered",
                     PutInsideFailureShaping});
}

}  // namespace clasp::hostile
