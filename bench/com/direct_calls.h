// The calls that Cols makes on its hosts, made directly by a client that knows
// the answers in advance: what a host pays without the component.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <dispex.h>

#include <array>
#include <cstddef>

#include "com_hosts.h"

namespace clasp::bench {

// A direct caller written as a careful compiled host writes one: each host
// taken through IDispatchEx (asked for once, as the component asks), the
// names' texts made once, every name looked up again at every access with
// GetDispID and called with InvokeEx, arguments on the stack, failures
// tested as HRESULTs.
class DirectCaller {
 public:
  explicit DirectCaller(const ComHosts& hosts);
  // False when a host offers no IDispatchEx.
  bool Ready() const;

  void CaptureRoad();
  void FailureRoad();

 private:
  BSTR Name(const wchar_t* member);
  HRESULT Access(IDispatchEx* host, const wchar_t* member, WORD flags, DISPPARAMS& params,
                 VARIANT* result);
  // A method call or property read; `last_first` holds the arguments as
  // DISPPARAMS does.
  HRESULT Call(IDispatchEx* host, const wchar_t* member, Variant* result,
               VARIANTARG* last_first = nullptr, UINT count = 0);
  HRESULT Put(IDispatchEx* host, const wchar_t* member, Variant value);
  void TraceLine(const wchar_t* path, const wchar_t* text, const wchar_t* source);
  void ShowScreen();
  void JournalEntry(const wchar_t* chn, const wchar_t* eng);
  void Exchange(const wchar_t* trace_line);

  ComPtr<IDispatchEx> disp_, mks_, run_, trac_, jour_;
  // The names' texts, each found in a probe or two by the address of the
  // literal that spells it, as the component finds its own. A compiled host
  // keeps each in a variable of its own; a search through a list cost the
  // direct calls more than its lookups cost the component.
  static constexpr std::size_t kNameSlotBits = 7;
  static constexpr std::size_t kNameSlots = std::size_t{1} << kNameSlotBits;
  struct KeptName {
    const wchar_t* spelled_at = nullptr;
    Bstr text;
  };
  std::array<KeptName, kNameSlots> names_;
};

}  // namespace clasp::bench
