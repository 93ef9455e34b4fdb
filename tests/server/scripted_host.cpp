#include "scripted_host.h"

#include <cstdio>
#include <cstring>

#include "host/text.h"

namespace clasp::testing {
namespace {

std::string Narrow(const std::wstring& text) {
  return Utf8(std::u16string(text.begin(), text.end()));
}

std::string TypeName(VARTYPE type) {
  switch (type & VT_TYPEMASK) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_NULL: return "VT_NULL";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_R4: return "VT_R4";
    case VT_R8: return "VT_R8";
    case VT_CY: return "VT_CY";
    case VT_DATE: return "VT_DATE";
    case VT_BSTR: return "VT_BSTR";
    case VT_DISPATCH: return "VT_DISPATCH";
    case VT_ERROR: return "VT_ERROR";
    case VT_BOOL: return "VT_BOOL";
    case VT_VARIANT: return "VT_VARIANT";
    case VT_UNKNOWN: return "VT_UNKNOWN";
    case VT_DECIMAL: return "VT_DECIMAL";
    case VT_I1: return "VT_I1";
    case VT_UI1: return "VT_UI1";
    case VT_UI2: return "VT_UI2";
    case VT_UI4: return "VT_UI4";
    case VT_I8: return "VT_I8";
    case VT_UI8: return "VT_UI8";
    default: return "VT_" + std::to_string(type & VT_TYPEMASK);
  }
}

std::string ArrayText(SAFEARRAY* array) {
  if (!array) return "{}";
  VARTYPE element = VT_EMPTY;
  SafeArrayGetVartype(array, &element);
  LONG lower = 0;
  LONG upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  std::string text = "{";
  for (LONG i = lower; i <= upper; ++i) {
    if (element != VT_UI1) {
      text += "?";
      break;
    }
    BYTE byte = 0;
    SafeArrayGetElement(array, &i, &byte);
    if (i > lower) text += ',';
    text += std::to_string(byte);
  }
  return text + "}";
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "x" + std::string.
std::string Quoted(const std::string& text) {
  std::string result = "\"";
  result += text;
  result += '"';
  return result;
}

std::string Braced(const std::string& text) {
  std::string result = "{";
  result += text;
  result += '}';
  return result;
}

std::string ValueText(const VARIANT& v) {
  const VARTYPE type = V_VT(&v);
  const bool by_ref = (type & VT_BYREF) != 0;
  if (type & VT_ARRAY) return ArrayText(by_ref ? *V_ARRAYREF(&v) : V_ARRAY(&v));
  switch (type & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL: return "";
    case VT_I2: return std::to_string(by_ref ? *V_I2REF(&v) : V_I2(&v));
    case VT_I4: return std::to_string(by_ref ? *V_I4REF(&v) : V_I4(&v));
    case VT_UI1: return std::to_string(by_ref ? *V_UI1REF(&v) : V_UI1(&v));
    case VT_I8: return std::to_string(V_I8(&v));
    case VT_R8: return std::to_string(V_R8(&v));
    case VT_DATE: return std::to_string(V_DATE(&v));
    case VT_CY: return std::to_string(V_CY(&v).int64);
    case VT_BOOL: return V_BOOL(&v) ? "True" : "False";
    case VT_ERROR: return std::to_string(V_ERROR(&v));
    case VT_BSTR: {
      const BSTR text = by_ref ? *V_BSTRREF(&v) : V_BSTR(&v);
      return Quoted(Utf8(TextOf(text)));
    }
    case VT_DISPATCH: return (by_ref ? *V_DISPATCHREF(&v) : V_DISPATCH(&v)) ? "object" : "Nothing";
    case VT_DECIMAL: {
      const DECIMAL& d = V_DECIMAL(&v);
      std::string text = d.sign ? "-" : "";
      text += std::to_string(d.Hi32);
      text += ":";
      text += std::to_string(d.Lo64);
      text += "e-";
      text += std::to_string(d.scale);
      return text;
    }
    case VT_VARIANT: return by_ref ? Braced(ShowVariant(*V_VARIANTREF(&v))) : "";
    default: return "?";
  }
}

}  // namespace

std::string ShowVariant(const VARIANT& value) {
  const VARTYPE type = V_VT(&value);
  std::string name = TypeName(type);
  if (type & VT_ARRAY) name = "VT_ARRAY|" + name;
  if (type & VT_BYREF) name = "VT_BYREF|" + name;
  const std::string text = ValueText(value);
  return text.empty() ? name : name + " " + text;
}

ComPtr<ScriptedHost> ScriptedHost::Create(std::string name, std::shared_ptr<CallLog> log,
                                          Binding binding) {
  return ComPtr<ScriptedHost>::Adopt(new ScriptedHost(std::move(name), std::move(log), binding));
}

ScriptedHost::ScriptedHost(std::string name, std::shared_ptr<CallLog> log, Binding binding)
    : name_(std::move(name)), log_(std::move(log)), binding_(binding) {}

ScriptedHost& ScriptedHost::Returns(const std::wstring& member, const VARIANT& value) {
  DISPID id = 0;
  Resolve(member.c_str(), &id);
  auto answer = std::make_shared<Variant>();
  VariantCopy(answer->Put(), const_cast<VARIANT*>(&value));
  members_[id - 1].answer = std::move(answer);
  return *this;
}

ScriptedHost& ScriptedHost::Calls(const std::wstring& member, HostAction action) {
  DISPID id = 0;
  Resolve(member.c_str(), &id);
  members_[id - 1].action = std::move(action);
  return *this;
}

ScriptedHost& ScriptedHost::Lacks(const std::wstring& member) {
  DISPID id = 0;
  Resolve(member.c_str(), &id);
  members_[id - 1].missing = true;
  return *this;
}

HRESULT ScriptedHost::Resolve(const wchar_t* name, DISPID* id) {
  if (!name || !id) return E_POINTER;
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (SameIgnoringCase(std::wstring_view(members_[i].name), std::wstring_view(name))) {
      if (members_[i].missing) return DISP_E_UNKNOWNNAME;
      *id = static_cast<DISPID>(i + 1);
      return S_OK;
    }
  }
  members_.push_back(Member{name, nullptr, nullptr, false, nullptr});
  *id = static_cast<DISPID>(members_.size());
  return S_OK;
}

HRESULT ScriptedHost::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const bool ex = iid == __uuidof(IDispatchEx) && binding_ == Binding::kScriptLike;
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || ex) {
    *out = static_cast<IDispatchEx*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG ScriptedHost::Release() {
  const ULONG left = --count_;
  if (left == 0) delete this;
  return left;
}

HRESULT ScriptedHost::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT ScriptedHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT ScriptedHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  // Script class objects answer names only through GetDispID.
  if (binding_ == Binding::kScriptLike) return E_NOTIMPL;
  if (count != 1) return DISP_E_UNKNOWNNAME;
  ++name_lookups_;
  return Resolve(names[0], ids);
}

HRESULT ScriptedHost::GetDispID(BSTR name, DWORD, DISPID* id) {
  ++dispid_lookups_;
  return Resolve(name, id);
}

HRESULT ScriptedHost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* info, UINT*) {
  return Call(id, flags, params, result, info);
}

HRESULT ScriptedHost::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* info, IServiceProvider*) {
  return Call(id, flags, params, result, info);
}

HRESULT ScriptedHost::Call(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* info) {
  if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
  const ComPtr<ScriptedHost> keep_alive(this);
  // Copied: an action may add members and move the vector.
  const Member member = members_[id - 1];
  std::string line = name_ + "." + Narrow(member.name);
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    const bool well_formed = params->cArgs == 1 && params->cNamedArgs == 1 &&
                             params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    log_->push_back(line + " = " + ShowVariant(params->rgvarg[0]) +
                    (well_formed ? "" : " (malformed put)"));
    if (!well_formed) return DISP_E_BADPARAMCOUNT;
    if (member.action) return member.action(*params, nullptr, info);
    auto property = std::make_shared<Variant>();
    VariantCopyInd(property->Put(), &params->rgvarg[0]);
    members_[id - 1].property = std::move(property);
    return S_OK;
  }
  line += "(";
  for (UINT i = 0; i < params->cArgs; ++i) {
    if (i) line += ", ";
    line += ShowVariant(params->rgvarg[params->cArgs - 1 - i]);
  }
  log_->push_back(line + ")");
  if (member.action) return member.action(*params, result, info);
  if (result) {
    if (member.answer) {
      VariantCopy(result, member.answer->Address());
    } else if (params->cArgs == 0 && member.property) {
      VariantCopy(result, member.property->Address());
    }
  }
  return S_OK;
}

Variant MakeI2(SHORT value) {
  Variant v;
  V_VT(v.Put()) = VT_I2;
  V_I2(v.Address()) = value;
  return v;
}

Variant MakeI4(LONG value) {
  Variant v;
  V_VT(v.Put()) = VT_I4;
  V_I4(v.Address()) = value;
  return v;
}

Variant MakeText(const std::wstring& text) {
  Variant v;
  V_VT(v.Put()) = VT_BSTR;
  V_BSTR(v.Address()) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

Variant MakeDate(DATE value) {
  Variant v;
  V_VT(v.Put()) = VT_DATE;
  V_DATE(v.Address()) = value;
  return v;
}

Variant MakeCurrency(LONGLONG scaled) {
  Variant v;
  V_VT(v.Put()) = VT_CY;
  V_CY(v.Address()).int64 = scaled;
  return v;
}

Variant MakeDecimal(BYTE scale, bool negative, ULONG high, ULONGLONG low) {
  Variant v;
  DECIMAL& d = V_DECIMAL(v.Put());
  d.scale = scale;
  d.sign = negative ? DECIMAL_NEG : 0;
  d.Hi32 = high;
  d.Lo64 = low;
  V_VT(v.Address()) = VT_DECIMAL;
  return v;
}

Variant MakeBytes(const std::vector<BYTE>& bytes) {
  Variant v;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  void* data = nullptr;
  SafeArrayAccessData(array, &data);
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  SafeArrayUnaccessData(array);
  V_VT(v.Put()) = VT_ARRAY | VT_UI1;
  V_ARRAY(v.Address()) = array;
  return v;
}

Variant MakeDispatch(IDispatch* object) {
  Variant v;
  V_VT(v.Put()) = VT_DISPATCH;
  V_DISPATCH(v.Address()) = object;
  if (object) object->AddRef();
  return v;
}

HostAction RaiseExcepInfo(SCODE scode, WORD code, const std::wstring& description) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
    if (!info) return scode ? scode : DISP_E_EXCEPTION;
    *info = EXCEPINFO{};
    info->scode = scode;
    info->wCode = code;
    info->bstrDescription = SysAllocString(description.c_str());
    info->bstrSource = SysAllocString(L"ScriptedHost");
    return DISP_E_EXCEPTION;
  };
}

namespace {
// The deferred fill-in reads what to fill from these; one failure at a time.
SCODE g_deferred_scode = 0;
std::wstring g_deferred_description;

HRESULT __stdcall FillDeferred(EXCEPINFO* info) {
  info->scode = g_deferred_scode;
  info->bstrDescription = SysAllocString(g_deferred_description.c_str());
  return S_OK;
}
}  // namespace

HostAction RaiseDeferred(SCODE scode, const std::wstring& description) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO* info) {
    if (!info) return scode;
    g_deferred_scode = scode;
    g_deferred_description = description;
    *info = EXCEPINFO{};
    info->pfnDeferredFillIn = FillDeferred;
    return DISP_E_EXCEPTION;
  };
}

HostAction RaiseErrorObject(HRESULT result, const std::wstring& description) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO*) {
    ComPtr<ICreateErrorInfo> create;
    CreateErrorInfo(create.Put());
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    SetErrorInfo(0, QueryAs<IErrorInfo>(create.Get()).Get());
    return result;
  };
}

HostAction RaiseHresult(HRESULT result) {
  return [=](DISPPARAMS&, VARIANT*, EXCEPINFO*) { return result; };
}

}  // namespace clasp::testing
