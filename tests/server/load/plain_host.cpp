#include "plain_host.h"

#include <iterator>

namespace clasp::testing {
namespace {

// Every member the component asks a step object for.
constexpr const wchar_t* kNames[] = {
    L"ScreenNo", L"ScreenDisplay", L"DisapleVal01", L"DisapleVal02", L"DisapleVal03",
    L"DisapleVal04", L"CardReaderRetain", L"TransAction1", L"RecordMessage", L"ExcepCode",
    L"TraceWrite", L"isjrn", L"TimeSig", L"ChnPromptString", L"EngPromptString",
    L"JournalWriteMsg", L"IsJRNDevice", L"ControlNum", L"WriteDetailFileName",
    L"PackMessage", L"CommSign", L"IsWriteOnly", L"SendMessage", L"SendMessageLen",
    L"StepCommWrite", L"StepCommWriteOnly", L"IsUnPackOex", L"StepCommRead",
    L"RecieveMessage", L"RecieveMessageLen", L"UnpackMessage", L"TimeOutComm"};

// A reader answer that is neither retained nor not retained: a device fault.
constexpr LONG kDeviceFault = 5;
// A display answer other than 0 stops the step.
constexpr LONG kDisplayRefused = 1;
// What a raising host member reports: an automation error number.
constexpr SCODE kHostRaise = static_cast<SCODE>(0x800A04D2);

// Member names are ASCII: folding their case needs no locale (and no time).
bool SameName(const wchar_t* a, const wchar_t* b) {
  const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
  for (; *a && fold(*a) == fold(*b); ++a, ++b) {
  }
  return fold(*a) == fold(*b);
}

}  // namespace

PlainHost::PlainHost() : members_(std::size(kNames)) {}

PlainHost* PlainHost::Create() { return new PlainHost(); }

DISPID PlainHost::IdOf(const wchar_t* name) {
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    // Host members are found without regard to case, as automation does.
    if (SameName(kNames[i], name)) return static_cast<DISPID>(i + 1);
  }
  return 0;
}

PlainHost::Member* PlainHost::Find(DISPID id) {
  if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return nullptr;
  return &members_[static_cast<std::size_t>(id - 1)];
}

PlainHost& PlainHost::Answers(const wchar_t* member, LONG value) {
  Member* m = Find(IdOf(member));
  m->answer = Answer::kInteger;
  m->value = value;
  return *this;
}

PlainHost& PlainHost::AnswersText(const wchar_t* member, const wchar_t* text) {
  Member* m = Find(IdOf(member));
  m->answer = Answer::kText;
  m->text = text;
  return *this;
}

PlainHost& PlainHost::Raises(const wchar_t* member, SCODE scode) {
  Member* m = Find(IdOf(member));
  m->answer = Answer::kRaise;
  m->value = scode;
  return *this;
}

HRESULT PlainHost::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG PlainHost::Release() {
  const ULONG left = --count_;
  if (left == 0) delete this;
  return left;
}

HRESULT PlainHost::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT PlainHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT PlainHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count != 1) return E_INVALIDARG;
  ids[0] = IdOf(names[0]);
  if (ids[0] == 0) {
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

HRESULT PlainHost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* info, UINT*) {
  const Member* m = Find(id);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  if (id == IdOf(L"TraceWrite") && params && params->cArgs >= 2) {
    // The line is the second argument; DISPPARAMS holds the last one first.
    const VARIANT& line = params->rgvarg[params->cArgs - 2];
    const BSTR text = line.vt == VT_BSTR                  ? line.bstrVal
                      : line.vt == (VT_BYREF | VT_BSTR) ? *line.pbstrVal
                                                          : nullptr;
    last_trace_.assign(text ? text : L"", text ? SysStringLen(text) : 0);
  }
  if (m->answer == Answer::kRaise) {
    if (info) {
      *info = EXCEPINFO{};
      info->scode = m->value;
      info->bstrDescription = SysAllocString(L"host raised");
      info->bstrSource = SysAllocString(L"PlainHost");
    }
    return DISP_E_EXCEPTION;
  }
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return S_OK;
  if (!result) return S_OK;
  VariantInit(result);
  if (m->answer == Answer::kInteger) {
    result->vt = VT_I4;
    result->lVal = m->value;
  } else if (m->answer == Answer::kText) {
    result->bstrVal = SysAllocString(m->text.c_str());
    if (!result->bstrVal) return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
  }
  return S_OK;
}

PlainHostSet::PlainHostSet(Road road)
    : disp(PlainHost::Create()),
      mks(PlainHost::Create()),
      run(PlainHost::Create()),
      trac(PlainHost::Create()),
      jour(PlainHost::Create()) {
  disp->Answers(L"ScreenDisplay", 0).Answers(L"ScreenNo", 420);
  run->AnswersText(L"TransAction1", L"0000");
  switch (road) {
    case Road::kCapture: mks->Answers(L"CardReaderRetain", kRetainedCode); break;
    case Road::kNotRetained: mks->Answers(L"CardReaderRetain", 0); break;
    case Road::kDeviceFault: mks->Answers(L"CardReaderRetain", kDeviceFault); break;
    case Road::kDisplayFailure: disp->Answers(L"ScreenDisplay", kDisplayRefused); break;
    case Road::kFailurePath: mks->Raises(L"CardReaderRetain", kHostRaise); break;
    case Road::kFailureInFailurePath:
      mks->Raises(L"CardReaderRetain", kHostRaise);
      jour->Raises(L"JournalWriteMsg", kHostRaise);
      break;
  }
}

PlainHostSet::~PlainHostSet() {
  for (PlainHost* host : {disp, mks, run, trac, jour}) host->Release();
}

bool PlainHostSet::Balanced() const {
  for (const PlainHost* host : {disp, mks, run, trac, jour}) {
    if (host->RefCount() != 1) return false;
  }
  return true;
}

LONG NormalResult(PlainHostSet::Road road) {
  switch (road) {
    case PlainHostSet::Road::kCapture: return kRetainedCode;
    case PlainHostSet::Road::kNotRetained: return 0;
    case PlainHostSet::Road::kDeviceFault: return kDeviceFault;
    case PlainHostSet::Road::kDisplayFailure: return kDisplayFailureCode;
    case PlainHostSet::Road::kFailurePath: return kFailureCode;
    case PlainHostSet::Road::kFailureInFailurePath: return 0;
  }
  return 0;
}

const char* RoadName(PlainHostSet::Road road) {
  switch (road) {
    case PlainHostSet::Road::kCapture: return "capture";
    case PlainHostSet::Road::kNotRetained: return "not retained";
    case PlainHostSet::Road::kDeviceFault: return "device fault";
    case PlainHostSet::Road::kDisplayFailure: return "display failure";
    case PlainHostSet::Road::kFailurePath: return "failure path";
    case PlainHostSet::Road::kFailureInFailurePath: return "failure in the failure path";
  }
  return "?";
}

}  // namespace clasp::testing
