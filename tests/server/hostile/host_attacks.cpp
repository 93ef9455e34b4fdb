// Misbehaving hosts: answers no value can be, interfaces claimed falsely, and
// the counts the component keeps on the hosts it holds.
#include <string>
#include <vector>

#include "attacks.h"
#include "bad_values.h"
#include "stage.h"

namespace clasp::hostile {
namespace {

// The card reader answers what `make` makes; Cols must answer `expected`,
// and its last trace line end in `traced` (null: not checked).
std::string HostAnswers(void (*make)(VARIANT&, Pointee&), LONG expected, const char* traced) {
  Stage stage;
  if (!stage.component) return " no component";
  Pointee pointee{};
  pointee.number = kRetained;
  stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
    if (result) make(*result, pointee);
    return S_OK;
  });
  stage.Assign();
  LONG result = 0;
  const HRESULT outcome = stage.component->Cols(&result);
  std::string wrong;
  if (outcome != S_OK || result != expected) {
    wrong += " Cols answered " + Hex(outcome) + " " + std::to_string(result) + ";";
  }
  if (traced) {
    const std::string last = stage.LastTrace();
    const std::string end = traced;
    if (last.size() < end.size() || last.compare(last.size() - end.size(), end.size(), end) != 0) {
      wrong += " the last trace line is \"" + last + "\";";
    }
  }
  return wrong + stage.Balanced();
}

// Every host is held once by the component, whatever it offers, and asked for
// nothing but IDispatchEx.
std::string HeldOnce(bool extended, bool every_iid) {
  Stage stage;
  if (!stage.component) return " no component";
  stage.disp = DispatchHost::Create(
      "StepDisp", {extended ? Binding::kExtended : Binding::kDispatch, stage.log, every_iid});
  stage.Assign();
  std::string wrong;
  if (stage.disp->RefCount() != 2)
    wrong += " held with " + std::to_string(stage.disp->RefCount() - 1) + " counts;";
  for (const GUID& iid : stage.disp->Asked()) {
    if (iid != __uuidof(IDispatchEx)) wrong += " asked for an interface other than IDispatchEx;";
  }
  LONG result = 0;
  if (stage.component->Cols(&result) != S_OK || result != kRetained) {
    wrong += " Cols answered " + std::to_string(result) + ";";
  }
  return wrong + stage.Balanced();
}

// A display that spoils the names it is asked for, then checks that the
// names it is handed read as BSTRs should: whole, with their terminator, and
// still its own until it returns.
enum class Spoil {
  // Writes into the name, then puts a display value through the component,
  // which asks this display for the same name again; afterwards a new text of
  // the name's length must not be handed the very name still being read.
  kWriteAndCallBack,
  // Overwrites the terminator after the name.
  kTerminator,
};

std::string NamesSpoiled(Spoil spoil) {
  Stage stage;
  _Holdfast* component = stage.component.Get();
  std::string wrong;
  bool inside = false;
  stage.disp->OnLookup([&](wchar_t* name) {
    const UINT length = SysStringLen(name);
    if (name[length] != L'\0') wrong += " a name came without its terminator;";
    if (spoil == Spoil::kTerminator) {
      name[length] = L'X';
      return;
    }
    if (inside || std::wstring(name, length) != L"DisapleVal01") return;
    inside = true;
    name[0] = L'?';
    component->put_DisapleVal01(MakeText(L"inner").Get());
    inside = false;
    // A BSTR let go of comes back first for the next one of its size.
    const BSTR probe = SysAllocStringLen(nullptr, length);
    if (probe == name) wrong += " the name being read was freed under it;";
    SysFreeString(probe);
  });
  stage.Assign();
  for (int round = 0; round < 2; ++round) {
    const HRESULT put = component->put_DisapleVal01(MakeText(L"outer").Get());
    if (put != S_OK) wrong += " the put answered " + Hex(put) + ";";
  }
  LONG result = 0;
  if (component->Cols(&result) != S_OK || result != kRetained) {
    wrong += " Cols answered " + std::to_string(result) + ";";
  }
  return wrong + stage.Balanced();
}

}  // namespace

void AddHostAttacks(std::vector<Attack>& attacks) {
  for (const BadValue& row : kBadValues) {
    attacks.push_back({std::string("card reader answers ") + row.name,
                       [&row] { return HostAnswers(row.make, kFailure, row.traced); }});
  }
  attacks.push_back({"card reader answers by-reference I4 holding the retained code", [] {
                       return HostAnswers(
                           [](VARIANT& v, Pointee& p) {
                             V_VT(&v) = VT_BYREF | VT_I4;
                             V_I4REF(&v) = &p.number;
                           },
                           kRetained, nullptr);
                     }});
  attacks.push_back({"display offers IDispatchEx", [] { return HeldOnce(true, false); }});
  attacks.push_back({"display offers IDispatch only", [] { return HeldOnce(false, false); }});
  attacks.push_back(
      {"display answers S_OK for every interface", [] { return HeldOnce(false, true); }});
  attacks.push_back(
      {"card reader answers an object that says yes to every interface", [] {
         Stage stage;
         const ComPtr<DispatchHost> liar =
             DispatchHost::Create("Liar", {Binding::kDispatch, stage.log, true});
         stage.mks->Calls(L"CardReaderRetain", [&](DISPPARAMS&, VARIANT* result, EXCEPINFO*) {
           V_VT(result) = VT_DISPATCH;
           V_DISPATCH(result) = liar.Get();
           liar->AddRef();
           return S_OK;
         });
         stage.Assign();
         LONG result = 0;
         stage.component->Cols(&result);
         std::string wrong = result == kFailure ? "" : " Cols answered " + std::to_string(result);
         wrong += stage.Balanced();
         if (liar->RefCount() != 1)
           wrong += " the answered object holds " + std::to_string(liar->RefCount()) + ";";
         return wrong;
       }});
  attacks.push_back({"one host in two fields, reassigned and emptied", [] {
                       Stage stage;
                       stage.Assign();
                       stage.component->putref_StepJour(stage.disp.Get());
                       std::string wrong;
                       if (stage.disp->RefCount() != 3)
                         wrong +=
                             " two fields hold " + std::to_string(stage.disp->RefCount() - 1) + ";";
                       stage.component->putref_StepDisp(stage.disp.Get());
                       if (stage.disp->RefCount() != 3) wrong += " reassigning changed the count;";
                       stage.component->putref_StepDisp(nullptr);
                       if (stage.disp->RefCount() != 2) wrong += " emptying did not release;";
                       stage.component->putref_StepJour(stage.jour.Get());
                       return wrong + stage.Balanced();
                     }});
  attacks.push_back({"display writes into a name and calls back in while asked for it",
                     [] { return NamesSpoiled(Spoil::kWriteAndCallBack); }});
  attacks.push_back({"display overwrites the terminator after each name",
                     [] { return NamesSpoiled(Spoil::kTerminator); }});
  attacks.push_back(
      {"display raises with a deferred EXCEPINFO", [] {
         Stage stage;
         constexpr WORD kBoom = 1234;
         stage.disp->Calls(L"ScreenDisplay",
                           RaiseDeferred(MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, kBoom),
                                         L"boom"));
         stage.Assign();
         LONG result = 0;
         stage.component->Cols(&result);
         std::string wrong = result == kFailure ? "" : " Cols answered " + std::to_string(result);
         if (stage.LastTrace() != "01234boom") {
           wrong += " the failure is not traced as 1234 boom;";
         }
         return wrong + stage.Balanced();
       }});
}

}  // namespace clasp::hostile
