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
}

}  // namespace clasp::hostile
