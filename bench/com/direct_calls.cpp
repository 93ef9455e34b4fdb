#include "direct_calls.h"

#include "server/com/address_slot.h"
#include "support/com_values.h"

namespace clasp::bench {
namespace {

using testing::MakeI2;
using testing::MakeText;

constexpr SHORT kDefaultScreenNumber = 420;
constexpr SHORT kTimeSig = 1;
constexpr SHORT kCinCount = 5;
constexpr wchar_t kObjectLog[] = L"c:\\orbis\\qz\\log\\object.log";
constexpr wchar_t kPrintLog[] = L"c:\\orbis\\qz\\log\\PrintJournal.log";
constexpr wchar_t kSource[] = L"Clench";

static_assert(sizeof(Variant) == sizeof(VARIANT));

// Text by reference: the VARIANT points at `variable`, which outlives the call.
Variant TextRef(Bstr& variable) {
  Variant result;
  VARIANT* out = result.Put();
  V_BSTRREF(out) = variable.Put();
  V_VT(out) = VT_BYREF | VT_BSTR;
  return result;
}

}  // namespace

DirectCaller::DirectCaller(const ComHosts& hosts)
    : disp_(QueryAs<IDispatchEx>(hosts.disp.Get())),
      mks_(QueryAs<IDispatchEx>(hosts.mks.Get())),
      run_(QueryAs<IDispatchEx>(hosts.run.Get())),
      trac_(QueryAs<IDispatchEx>(hosts.trac.Get())),
      jour_(QueryAs<IDispatchEx>(hosts.jour.Get())) {}

bool DirectCaller::Ready() const { return disp_ && mks_ && run_ && trac_ && jour_; }

BSTR DirectCaller::Name(const wchar_t* member) {
  std::size_t slot = AddressSlot(member, kNameSlotBits);
  while (names_[slot].spelled_at && names_[slot].spelled_at != member) {
    slot = (slot + 1) % kNameSlots;
  }
  KeptName& kept = names_[slot];
  if (!kept.spelled_at) kept = KeptName{member, Bstr::Adopt(SysAllocString(member))};
  return kept.text.Get();
}

HRESULT DirectCaller::Access(IDispatchEx* host, const wchar_t* member, WORD flags,
                             DISPPARAMS& params, VARIANT* result) {
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = host->GetDispID(Name(member), fdexNameCaseInsensitive, &id);
  if (FAILED(found)) return found;
  ExcepInfo info;
  return host->InvokeEx(id, LOCALE_USER_DEFAULT, flags, &params, result, info.Put(), nullptr);
}

HRESULT DirectCaller::Call(IDispatchEx* host, const wchar_t* member, Variant* result,
                           VARIANTARG* last_first, UINT count) {
  DISPPARAMS params{last_first, nullptr, count, 0};
  Variant unused;
  return Access(host, member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, params,
                (result ? result : &unused)->Put());
}

HRESULT DirectCaller::Put(IDispatchEx* host, const wchar_t* member, Variant value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{value.ArgumentsForInvoke(), &named, 1, 1};
  return Access(host, member, DISPATCH_PROPERTYPUT, params, nullptr);
}

void DirectCaller::TraceLine(const wchar_t* path, const wchar_t* text, const wchar_t* source) {
  Bstr line;
  Variant args[] = {MakeText(source), TextRef(line), MakeText(path)};
  *line.Put() = SysAllocString(text);
  Call(trac_.Get(), L"TraceWrite", nullptr, args[0].ArgumentsForInvoke(), 3);
}

void DirectCaller::ShowScreen() {
  Put(disp_.Get(), L"ScreenNo", MakeI2(kDefaultScreenNumber));
  Call(disp_.Get(), L"ScreenDisplay", nullptr);
  Call(disp_.Get(), L"ScreenNo", nullptr);
  TraceLine(kObjectLog, L"Disp420: 0", kSource);
  for (const wchar_t* member :
       {L"DisapleVal01", L"DisapleVal02", L"DisapleVal03", L"DisapleVal04"}) {
    Put(disp_.Get(), member, MakeText(L""));
  }
}

void DirectCaller::JournalEntry(const wchar_t* chn, const wchar_t* eng) {
  TraceLine(kPrintLog, eng, L"");
  Put(jour_.Get(), L"TimeSig", MakeI2(kTimeSig));
  Put(jour_.Get(), L"ChnPromptString", MakeText(chn));
  Put(jour_.Get(), L"EngPromptString", MakeText(eng));
  Call(jour_.Get(), L"JournalWriteMsg", nullptr);
  Variant device;
  Call(run_.Get(), L"IsJRNDevice", &device);
  Put(jour_.Get(), L"isjrn", std::move(device));
}

void DirectCaller::Exchange(const wchar_t* trace_line) {
  IDispatchEx* run = run_.Get();
  Call(run, L"ControlNum", nullptr);
  {
    Bstr flag;
    Variant args[] = {TextRef(flag), MakeText(L"0"), MakeText(L"0"), MakeText(L"CRD")};
    *flag.Put() = SysAllocString(L"1");
    Call(run, L"WriteDetailFileName", nullptr, args[0].ArgumentsForInvoke(), 4);
  }
  {
    Variant oex = MakeText(L"OEX");
    Call(run, L"PackMessage", nullptr, oex.ArgumentsForInvoke(), 1);
  }
  Call(run, L"CommSign", nullptr);
  Call(run, L"IsWriteOnly", nullptr);
  {
    Variant args[2];  // message, then length: held last first
    Call(run, L"SendMessage", &args[1]);
    Call(run, L"SendMessageLen", &args[0]);
    Call(run, L"StepCommWrite", nullptr, args[0].ArgumentsForInvoke(), 2);
  }
  Call(run, L"IsUnPackOex", nullptr);
  {
    Variant args[3];  // time-out, message, length: held last first
    Call(run, L"TimeOutComm", &args[2]);
    Call(run, L"RecieveMessage", &args[1]);
    Call(run, L"RecieveMessageLen", &args[0]);
    Call(run, L"StepCommRead", nullptr, args[0].ArgumentsForInvoke(), 3);
  }
  {
    Variant oex = MakeText(L"OEX");
    Call(run, L"UnpackMessage", nullptr, oex.ArgumentsForInvoke(), 1);
  }
  TraceLine(kObjectLog, trace_line, kSource);
}

void DirectCaller::CaptureRoad() {
  ShowScreen();
  Call(mks_.Get(), L"CardReaderRetain", nullptr);
  TraceLine(kObjectLog, L"CardReaderRetain:10120011", kSource);
  IDispatchEx* run = run_.Get();
  Call(run, L"TransAction1", nullptr);
  Call(run, L"TransAction1", nullptr);
  Put(run, L"TransAction1", MakeText(L"0010"));
  {
    Variant args[] = {MakeI2(kCinCount), MakeText(L"CIN")};
    Call(run, L"RecordMessage", nullptr, args[0].ArgumentsForInvoke(), 2);
  }
  JournalEntry(L"\u541e\u5361\u6210\u529f", L"Card  retained");
  Put(run, L"ExcepCode", MakeText(L"1004"));
  Exchange(L"WD \u541e\u5361\u6210\u529f");
}

void DirectCaller::FailureRoad() {
  ShowScreen();
  if (FAILED(Call(mks_.Get(), L"CardReaderRetain", nullptr))) {
    JournalEntry(L"\u56de\u6536\u5361\u51fa\u9519,\u51fa\u9519\u4ee3\u7801\u4e3a:0",
                 L"ClaspErr:0");
    TraceLine(kObjectLog, L"01234Card jammed", kSource);
  }
}

}  // namespace clasp::bench
