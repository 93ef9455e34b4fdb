#include "null_dispatch.h"

#include "variants.h"

#include <string_view>

#include "host/text.h"

namespace clasp::bench {
namespace {

constexpr SHORT kScreenAnswer = 420;
constexpr SHORT kJournalDevice = 1;
constexpr SHORT kUnpackWanted = 1;
constexpr LONG kRetainedCode = 10120011;
constexpr LONG kMessageLength = 64;
constexpr LONG kTimeOut = 30;
constexpr LONG kReaderFailure = 1234;

}  // namespace

std::wstring DescribeVariant(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_EMPTY: return L"Empty";
    case VT_I2: return L"I2 " + std::to_wstring(V_I2(&value));
    case VT_I4: return L"I4 " + std::to_wstring(V_I4(&value));
    case VT_BSTR: return L"Text \"" + std::wstring(V_BSTR(&value) ? V_BSTR(&value) : L"") + L"\"";
    case VT_BYREF | VT_BSTR: {
      const BSTR text = *V_BSTRREF(&value);
      return L"&Text \"" + std::wstring(text ? text : L"") + L"\"";
    }
    default: return L"vt " + std::to_wstring(V_VT(&value));
  }
}

ComPtr<NullDispatch> NullDispatch::Create(std::wstring name, std::vector<std::wstring>* log) {
  return ComPtr<NullDispatch>::Adopt(new NullDispatch(std::move(name), log));
}

NullDispatch::Member& NullDispatch::Add(const wchar_t* member) {
  Member& added = members_.emplace_back();
  added.name = member;
  return added;
}

NullDispatch& NullDispatch::Answers(const wchar_t* member, Variant answer) {
  Add(member).answer = std::move(answer);
  return *this;
}

NullDispatch& NullDispatch::Knows(const wchar_t* member) {
  Add(member);
  return *this;
}

NullDispatch& NullDispatch::Raises(const wchar_t* member, LONG number,
                                   const wchar_t* description) {
  Member& added = Add(member);
  added.raises = true;
  added.number = number;
  added.description = description;
  return *this;
}

HRESULT NullDispatch::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch)) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

ULONG NullDispatch::Release() {
  const ULONG left = --count_;
  if (left == 0) delete this;
  return left;
}

HRESULT NullDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT NullDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT NullDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count != 1 || !names[0]) return E_INVALIDARG;
  // The identifier is the table index + 1.
  const std::wstring_view name = names[0];
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (SameIgnoringCase(std::wstring_view(members_[i].name), name)) {
      ids[0] = static_cast<DISPID>(i + 1);
      return S_OK;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

void NullDispatch::Record(const Member& member, WORD flags, const DISPPARAMS& params) const {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  std::wstring line = name_ + L"." + member.name + (put ? L" = " : L"(");
  for (UINT i = 0; i < params.cArgs; ++i) {
    // DISPPARAMS holds the last argument first.
    line += (i ? L", " : L"") + DescribeVariant(params.rgvarg[params.cArgs - 1 - i]);
  }
  log_->push_back(line + (put ? L"" : L")"));
}

HRESULT NullDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* info, UINT*) {
  if (id < 1 || static_cast<std::size_t>(id) > members_.size() || !params) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const Member& member = members_[static_cast<std::size_t>(id - 1)];
  if (log_) Record(member, flags, *params);
  if (member.raises) {
    if (info) {
      *info = EXCEPINFO{};
      info->bstrSource = SysAllocString(name_.c_str());
      info->bstrDescription = SysAllocString(member.description.c_str());
      info->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, member.number);
    }
    return DISP_E_EXCEPTION;
  }
  if (result && !(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) {
    VariantInit(result);
    // VariantCopy only reads its source; its signature predates const.
    return VariantCopy(result, const_cast<VARIANT*>(&member.answer.Get()));
  }
  return S_OK;
}

ComHosts::ComHosts(Path path, std::vector<std::wstring>* log)
    : disp(NullDispatch::Create(L"StepDisp", log)),
      mks(NullDispatch::Create(L"StepMks", log)),
      run(NullDispatch::Create(L"StepRunModul", log)),
      trac(NullDispatch::Create(L"StepTrac", log)),
      jour(NullDispatch::Create(L"StepJour", log)) {
  disp->Answers(L"ScreenDisplay", I4(0))
      .Answers(L"ScreenNo", I2(kScreenAnswer))
      .Knows(L"DisapleVal01")
      .Knows(L"DisapleVal02")
      .Knows(L"DisapleVal03")
      .Knows(L"DisapleVal04");
  if (path == Path::kCapture) {
    mks->Answers(L"CardReaderRetain", I4(kRetainedCode));
  } else {
    mks->Raises(L"CardReaderRetain", kReaderFailure, L"Card jammed");
  }
  run->Answers(L"TransAction1", Text(L"0000"))
      .Answers(L"IsJRNDevice", I2(kJournalDevice))
      .Answers(L"RecordMessage", I4(0))
      .Knows(L"ExcepCode")
      .Answers(L"ControlNum", I4(0))
      .Answers(L"WriteDetailFileName", I4(0))
      .Answers(L"PackMessage", I4(0))
      .Answers(L"CommSign", I4(0))
      .Answers(L"IsWriteOnly", I4(0))
      .Answers(L"SendMessage", Text(L"OEX0000000000000"))
      .Answers(L"SendMessageLen", I4(kMessageLength))
      .Answers(L"StepCommWrite", I4(0))
      .Answers(L"IsUnPackOex", I2(kUnpackWanted))
      .Answers(L"TimeOutComm", I4(kTimeOut))
      .Answers(L"RecieveMessage", Text(L""))
      .Answers(L"RecieveMessageLen", I4(0))
      .Answers(L"StepCommRead", I4(0))
      .Answers(L"UnpackMessage", I4(0));
  trac->Answers(L"TraceWrite", I4(0));
  jour->Knows(L"isjrn")
      .Knows(L"TimeSig")
      .Knows(L"ChnPromptString")
      .Knows(L"EngPromptString")
      .Answers(L"JournalWriteMsg", I4(0));
}

bool ComHosts::GiveTo(IDispatch* component) const {
  const std::pair<const wchar_t*, NullDispatch*> fields[] = {
      {L"StepDisp", disp.Get()}, {L"StepMks", mks.Get()}, {L"StepRunModul", run.Get()},
      {L"StepTrac", trac.Get()}, {L"StepJour", jour.Get()}};
  for (const auto& [field, host] : fields) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(field)};
    if (FAILED(component->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
      return false;
    }
    VARIANT object;
    V_VT(&object) = VT_DISPATCH;
    V_DISPATCH(&object) = host;  // borrowed for the call
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&object, &named, 1, 1};
    if (FAILED(component->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF,
                                 &params, nullptr, nullptr, nullptr))) {
      return false;
    }
  }
  return true;
}

}  // namespace clasp::bench
