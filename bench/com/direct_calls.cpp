#include "direct_calls.h"

#include "support/com_values.h"

#include <initializer_list>
#include <utility>

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

// Text by reference: the VARIANT points at `variable`, which outlives the call
// and receives its text afterwards.
Variant TextRef(Bstr& variable) {
  Variant result;
  VARIANT* out = result.Put();
  V_BSTRREF(out) = variable.Put();
  V_VT(out) = VT_BYREF | VT_BSTR;
  return result;
}

DISPID IdOf(IDispatch* host, const wchar_t* member) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(member)};
  host->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// A late-bound call: the name resolved, then invoked; arguments first to last.
Variant Call(IDispatch* host, const wchar_t* member, std::vector<Variant> args = {}) {
  std::vector<Variant> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(std::move(*it));
  static_assert(sizeof(Variant) == sizeof(VARIANT));
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.front().Address(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  Variant result;
  ExcepInfo info;
  const HRESULT outcome = host->Invoke(IdOf(host, member), IID_NULL, LOCALE_USER_DEFAULT,
                                       DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params,
                                       result.Put(), info.Put(), nullptr);
  if (FAILED(outcome)) throw outcome;
  return result;
}

void Put(IDispatch* host, const wchar_t* member, Variant value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{value.Address(), &named, 1, 1};
  host->Invoke(IdOf(host, member), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
               &params, nullptr, nullptr, nullptr);
}

std::vector<Variant> Arguments(std::initializer_list<Variant*> values) {
  std::vector<Variant> args;
  for (Variant* v : values) args.push_back(std::move(*v));
  return args;
}

void TraceLine(IDispatch* trac, const wchar_t* path, const wchar_t* text,
               const wchar_t* source) {
  Bstr line;
  Variant a = MakeText(path), b = TextRef(line), c = MakeText(source);
  *line.Put() = SysAllocString(text);
  Call(trac, L"TraceWrite", Arguments({&a, &b, &c}));
}

void ShowScreen(const ComHosts& h) {
  IDispatch* disp = h.disp.Get();
  Put(disp, L"ScreenNo", MakeI2(kDefaultScreenNumber));
  Call(disp, L"ScreenDisplay");
  Call(disp, L"ScreenNo");
  TraceLine(h.trac.Get(), kObjectLog, L"Disp420: 0", kSource);
  for (const wchar_t* member :
       {L"DisapleVal01", L"DisapleVal02", L"DisapleVal03", L"DisapleVal04"}) {
    Put(disp, member, MakeText(L""));
  }
}

void JournalEntry(const ComHosts& h, const wchar_t* chn, const wchar_t* eng) {
  IDispatch* jour = h.jour.Get();
  TraceLine(h.trac.Get(), kPrintLog, eng, L"");
  Put(jour, L"TimeSig", MakeI2(kTimeSig));
  Put(jour, L"ChnPromptString", MakeText(chn));
  Put(jour, L"EngPromptString", MakeText(eng));
  Call(jour, L"JournalWriteMsg");
  Put(jour, L"isjrn", Call(h.run.Get(), L"IsJRNDevice"));
}

void Exchange(const ComHosts& h, const wchar_t* trace_line) {
  IDispatch* run = h.run.Get();
  Call(run, L"ControlNum");
  {
    Bstr flag;
    Variant a = MakeText(L"CRD"), b = MakeText(L"0"), c = MakeText(L"0"), d = TextRef(flag);
    *flag.Put() = SysAllocString(L"1");
    Call(run, L"WriteDetailFileName", Arguments({&a, &b, &c, &d}));
  }
  {
    Variant oex = MakeText(L"OEX");
    Call(run, L"PackMessage", Arguments({&oex}));
  }
  Call(run, L"CommSign");
  Call(run, L"IsWriteOnly");
  {
    Variant message = Call(run, L"SendMessage");
    Variant length = Call(run, L"SendMessageLen");
    Call(run, L"StepCommWrite", Arguments({&message, &length}));
  }
  Call(run, L"IsUnPackOex");
  {
    Variant time_out = Call(run, L"TimeOutComm");
    Variant message = Call(run, L"RecieveMessage");
    Variant length = Call(run, L"RecieveMessageLen");
    Call(run, L"StepCommRead", Arguments({&time_out, &message, &length}));
  }
  {
    Variant oex = MakeText(L"OEX");
    Call(run, L"UnpackMessage", Arguments({&oex}));
  }
  TraceLine(h.trac.Get(), kObjectLog, trace_line, kSource);
}

}  // namespace

void CaptureCalls(const ComHosts& h) {
  ShowScreen(h);
  Call(h.mks.Get(), L"CardReaderRetain");
  TraceLine(h.trac.Get(), kObjectLog, L"CardReaderRetain:10120011", kSource);
  IDispatch* run = h.run.Get();
  Call(run, L"TransAction1");
  Call(run, L"TransAction1");
  Put(run, L"TransAction1", MakeText(L"0010"));
  {
    Variant cin = MakeText(L"CIN"), count = MakeI2(kCinCount);
    Call(run, L"RecordMessage", Arguments({&cin, &count}));
  }
  JournalEntry(h, L"\u541e\u5361\u6210\u529f", L"Card  retained");
  Put(run, L"ExcepCode", MakeText(L"1004"));
  Exchange(h, L"WD \u541e\u5361\u6210\u529f");
}

void FailureCalls(const ComHosts& h) {
  ShowScreen(h);
  try {
    Call(h.mks.Get(), L"CardReaderRetain");
  } catch (HRESULT) {
    JournalEntry(h, L"\u56de\u6536\u5361\u51fa\u9519,\u51fa\u9519\u4ee3\u7801\u4e3a:0",
                 L"ClaspErr:0");
    TraceLine(h.trac.Get(), kObjectLog, L"01234Card jammed", kSource);
  }
}

}  // namespace clasp::bench
