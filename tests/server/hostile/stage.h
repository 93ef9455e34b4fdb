// The component as an attacker reaches it: Holdfast.dll loaded beside the
// program, a new instance through its class factory, five hosts assigned.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "holdfast_idl.h"  // _Holdfast, generated from the server's IDL
#include "support/com_values.h"
#include "support/dispatch_host.h"

namespace clasp::hostile {

using testing::Binding;
using testing::CallLog;
using testing::DispatchHost;
using testing::MakeI4;
using testing::MakeText;
using testing::RaiseDeferred;

// The members' dispatch identifiers, as the IDL fixes them: attacks call by
// number without asking for names first.
inline constexpr DISPID kStepDispId = kDispidStepDisp;
inline constexpr DISPID kColsId = kDispidCols;
inline constexpr DISPID kDisapleVal01Id = kDispidDisapleVal01;
inline constexpr DISPID kScreenNoId = kDispidScreenNo;

// Cols' answers the attacks expect.
inline constexpr LONG kRetained = 10120011;
inline constexpr LONG kFailure = 10010003;

// Holdfast.dll's exports, loaded once.
struct Module {
  static const Module& Get();
  HRESULT(__stdcall* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(__stdcall* can_unload_now)() = nullptr;
};

// A new component, asked for _Holdfast; empty when it cannot be made.
ComPtr<_Holdfast> CreateComponent();

// A component and the five hosts of one attack, logging to one log. The hosts
// answer Empty to everything except CardReaderRetain, which retains the card.
struct Stage : testing::StepHosts {
  Stage();
  // Assigns the five hosts through the interface's table.
  void Assign() const;
  // Empty when, with the component gone, every host is back to the one count
  // this program holds and the module may be unloaded; else what is not.
  std::string Balanced();
  // The text of the last trace line written, empty when there was none.
  std::string LastTrace() const;

  ComPtr<_Holdfast> component;
};

// "0x80020008" and the like.
std::string Hex(HRESULT result);

}  // namespace clasp::hostile
