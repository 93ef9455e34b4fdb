// A small in-process automation server standing for an integrator's own step
// objects, for the simulator's tests: a display ("ClaspTest.Display"), a
// journal printer ("ClaspTest.Journal"), a trace writer ("ClaspTest.Trace"),
// a run-time module ("ClaspTest.RunModul"), a card reader that retains
// ("ClaspTest.Reader"), an object that cannot be called
// by name ("ClaspTest.NoDispatch", IUnknown only), and faulty ones for the
// certification bench ("ClaspTest.Faulty.*", each with one known fault).
// Its objects are reached by name through the same adapter the server offers
// its own hosts with.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <map>
#include <string>
#include <utility>

#include "host/failure.h"
#include "host/host_object.h"
#include "host/host_value.h"
#include "server/class_factory.h"
#include "server/com/com_object.h"
#include "server/com/error.h"
#include "server/com/module_lock.h"
#include "server/com/object_bridge.h"

namespace {

using clasp::HostDispatch;
using clasp::HostObject;
using clasp::HostValue;

constexpr CLSID kDisplayClsid = {
    0x5B0F4C21, 0x7E3A, 0x4F0E, {0x9B, 0x51, 0x2D, 0x64, 0x0A, 0x1C, 0x77, 0x01}};
constexpr CLSID kJournalClsid = {
    0x5B0F4C21, 0x7E3A, 0x4F0E, {0x9B, 0x51, 0x2D, 0x64, 0x0A, 0x1C, 0x77, 0x02}};
constexpr CLSID kNoDispatchClsid = {
    0x5B0F4C21, 0x7E3A, 0x4F0E, {0x9B, 0x51, 0x2D, 0x64, 0x0A, 0x1C, 0x77, 0x03}};
// The classes below differ from these only in the last byte.
constexpr CLSID kClsidBase = {
    0x5B0F4C21, 0x7E3A, 0x4F0E, {0x9B, 0x51, 0x2D, 0x64, 0x0A, 0x1C, 0x77, 0x00}};
constexpr CLSID Numbered(unsigned char number) {
  CLSID clsid = kClsidBase;
  clsid.Data4[7] = number;
  return clsid;
}
constexpr CLSID kTraceClsid = Numbered(0x04);
constexpr CLSID kRunModulClsid = Numbered(0x05);
constexpr CLSID kNoExcepCodeClsid = Numbered(0x06);
constexpr CLSID kDropsTextClsid = Numbered(0x07);
constexpr CLSID kTextAnswerClsid = Numbered(0x08);
constexpr CLSID kBareRaiseClsid = Numbered(0x09);
constexpr CLSID kLeaksClsid = Numbered(0x0A);
constexpr CLSID kLeaksBesideObjectClsid = Numbered(0x0B);
constexpr CLSID kReaderClsid = Numbered(0x0C);
constexpr CLSID kBareRaiseInReportClsid = Numbered(0x0D);

std::atomic<long> g_objects{0};
HMODULE g_module = nullptr;

// A method's fixed answer and the number of arguments it takes.
struct Method {
  HostValue answer;
  std::size_t arguments = 0;
};

// Properties keep what is put; the methods listed answer what they are given.
class Step final : public clasp::RefCounted<Step, HostDispatch> {
 public:
  Step(std::map<std::u16string, Method> methods, std::map<std::u16string, HostValue> properties)
      : methods_(std::move(methods)), properties_(std::move(properties)) {
    ++g_objects;
  }
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override {
    if (auto m = methods_.find(std::u16string(member)); m != methods_.end()) {
      if (args.size() != m->second.arguments) throw clasp::WrongArgumentCountFailure();
      return m->second.answer;
    }
    if (auto p = properties_.find(std::u16string(member)); p != properties_.end() && args.empty()) {
      return p->second;
    }
    throw clasp::MemberMissingFailure();
  }
  void Put(std::u16string_view member, const HostValue& value) override {
    auto p = properties_.find(std::u16string(member));
    if (p == properties_.end()) throw clasp::MemberMissingFailure();
    p->second = value.IsByRef() ? HostValue::Text(value.AsText()) : value;
  }

 private:
  friend RefCounted;
  ~Step() { --g_objects; }
  std::map<std::u16string, Method> methods_;
  std::map<std::u16string, HostValue> properties_;
};

// An answer that stands for a number through its default member, as script
// hosts often answer.
class Answer final : public clasp::RefCounted<Answer, HostDispatch> {
 public:
  explicit Answer(HostValue value) : value_(std::move(value)) { ++g_objects; }
  HostValue Invoke(std::u16string_view, std::span<const HostValue>) override {
    throw clasp::MemberMissingFailure();
  }
  void Put(std::u16string_view, const HostValue&) override { throw clasp::MemberMissingFailure(); }
  HostValue DefaultValue() override { return value_; }

 private:
  friend RefCounted;
  ~Answer() { --g_objects; }
  HostValue value_;
};

HostObject MakeDisplay() {
  return HostObject::Adopt(new Step(
      {{u"ScreenDisplay", {HostValue::Object(HostObject::Adopt(new Answer(HostValue::I4(0))))}}},
      {{u"ScreenNo", HostValue::Empty()},
       {u"DisapleVal01", HostValue::Empty()},
       {u"DisapleVal02", HostValue::Empty()},
       {u"DisapleVal03", HostValue::Empty()},
       {u"DisapleVal04", HostValue::Empty()}}));
}

HostObject MakeJournal() {
  return HostObject::Adopt(new Step({{u"JournalWriteMsg", {HostValue::I4(0)}}},
                                    {{u"isjrn", HostValue::Empty()},
                                     {u"TimeSig", HostValue::Empty()},
                                     {u"ChnPromptString", HostValue::Empty()},
                                     {u"EngPromptString", HostValue::Empty()}}));
}

constexpr std::int32_t kRetained = 10120011;
HostObject MakeReader() {
  return HostObject::Adopt(new Step({{u"CardReaderRetain", {HostValue::I4(kRetained)}}}, {}));
}

constexpr std::size_t kTraceArguments = 3;
HostObject MakeTrace() {
  return HostObject::Adopt(new Step({{u"TraceWrite", {HostValue::I4(0), kTraceArguments}}}, {}));
}

HostObject MakeRunModul() {
  const HostValue ok = HostValue::I4(0);
  return HostObject::Adopt(new Step(
      {{u"RecordMessage", {ok, 2}},
       {u"WriteDetailFileName", {ok, 4}},
       {u"PackMessage", {ok, 1}},
       {u"StepCommWriteOnly", {ok, 2}},
       {u"StepCommWrite", {ok, 2}},
       {u"StepCommRead", {ok, 3}},
       {u"UnpackMessage", {ok, 1}}},
      {{u"TransAction1", HostValue::Text(u"0000")},
       {u"ExcepCode", HostValue::Text(u"")},
       {u"ControlNum", HostValue::I2(0)},
       {u"CommSign", HostValue::I2(0)},
       {u"IsWriteOnly", HostValue::I2(0)},
       {u"SendMessage", HostValue::Text(u"OEX")},
       {u"SendMessageLen", HostValue::I4(3)},
       {u"IsUnPackOex", HostValue::I2(1)},
       {u"TimeOutComm", HostValue::I4(30)},
       {u"RecieveMessage", HostValue::Text(u"")},
       {u"RecieveMessageLen", HostValue::I4(256)},
       {u"IsJRNDevice", HostValue::I2(1)}}));
}

// The one fault a faulty object has, on one member.
enum class Fault {
  kNoMember,     // the member is missing
  kDropsText,    // frees the by-reference text and leaves nothing in its place
  kTextAnswer,   // answers text that is no number
  kBareRaise,    // raises a failure with a number and no description
  kLeaksCount,   // takes a count on itself and never gives it back
};
constexpr std::int32_t kBareNumber = 1001;
constexpr HRESULT kControlFacility = static_cast<HRESULT>(0x800A0000);

// A compliant object made faulty at the platform's level, where an
// integrator's mistakes happen: everything else goes to the compliant object.
class Faulty final : public clasp::ComObject<Faulty, IDispatch> {
 public:
  void* Interface(REFIID iid) noexcept {
    return iid == __uuidof(IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    return inner_->GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override {
    return inner_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) noexcept override {
    const HRESULT result = inner_->GetIDsOfNames(iid, names, count, locale, ids);
    if (SUCCEEDED(result) && count > 0) {
      if (fault_ == Fault::kNoMember && lstrcmpiW(names[0], member_) == 0) return DISP_E_UNKNOWNNAME;
      if (lstrcmpiW(names[0], member_) == 0) faulty_id_ = ids[0];
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep_info,
                                   UINT* argument_error) noexcept override {
    if (id != faulty_id_) {
      return inner_->Invoke(id, iid, locale, flags, params, result, excep_info, argument_error);
    }
    if (fault_ == Fault::kBareRaise) {
      if (!excep_info) return kControlFacility | kBareNumber;
      *excep_info = EXCEPINFO{};
      excep_info->scode = kControlFacility | kBareNumber;
      return DISP_E_EXCEPTION;
    }
    const HRESULT outcome =
        inner_->Invoke(id, iid, locale, flags, params, result, excep_info, argument_error);
    if (FAILED(outcome)) return outcome;
    switch (fault_) {
      case Fault::kDropsText:
        for (UINT i = 0; params && i < params->cArgs; ++i) {
          VARIANTARG& arg = params->rgvarg[i];
          if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
            SysFreeString(*V_BSTRREF(&arg));
            *V_BSTRREF(&arg) = nullptr;
          }
        }
        break;
      case Fault::kTextAnswer:
        if (result) {
          VariantClear(result);
          V_VT(result) = VT_BSTR;
          V_BSTR(result) = SysAllocString(L"done");
        }
        break;
      case Fault::kLeaksCount:
        AddRef();
        break;
      default:
        break;
    }
    return outcome;
  }

 private:
  friend class clasp::ComObject<Faulty, IDispatch>;
  Faulty(HostObject inner, Fault fault, const wchar_t* member)
      : inner_(clasp::DispatchOfHost(inner)), fault_(fault), member_(member) {}
  ~Faulty() = default;
  clasp::ComPtr<IDispatch> inner_;
  Fault fault_;
  const wchar_t* member_;
  DISPID faulty_id_ = DISPID_UNKNOWN;
};

// Offers IUnknown and nothing else.
class NoDispatch final : public clasp::ComObject<NoDispatch, IUnknown> {
 public:
  void* Interface(REFIID) noexcept { return nullptr; }

 private:
  friend class clasp::ComObject<NoDispatch, IUnknown>;
  NoDispatch() = default;
  ~NoDispatch() = default;
};

// What the factories make: an object of each class, asked for `iid`.
template <HostObject (*MakeHost)()>
HRESULT CreateHost(REFIID iid, void** out) noexcept {
  return clasp::Guarded([&] { return clasp::DispatchOfHost(MakeHost())->QueryInterface(iid, out); });
}
template <HostObject (*MakeHost)(), Fault kFault, const wchar_t* kMember>
HRESULT CreateFaulty(REFIID iid, void** out) noexcept {
  return clasp::Guarded([&] { return Faulty::Make(MakeHost(), kFault, kMember)->QueryInterface(iid, out); });
}
constexpr wchar_t kExcepCode[] = L"ExcepCode";
constexpr wchar_t kTraceWrite[] = L"TraceWrite";
constexpr wchar_t kJournalWriteMsg[] = L"JournalWriteMsg";
constexpr wchar_t kRecordMessage[] = L"RecordMessage";
constexpr wchar_t kUnpackMessage[] = L"UnpackMessage";
constexpr wchar_t kScreenNo[] = L"ScreenNo";
constexpr wchar_t kScreenDisplay[] = L"ScreenDisplay";

HRESULT CreateNoDispatch(REFIID iid, void** out) noexcept {
  return clasp::Guarded([&] { return NoDispatch::Make()->QueryInterface(iid, out); });
}

struct Registered {
  const wchar_t* prog_id;
  const CLSID* clsid;
  HRESULT (*make_factory)(REFIID iid, void** out);
};
constexpr Registered kClasses[] = {
    {L"ClaspTest.Display", &kDisplayClsid, clasp::ClassFactory<CreateHost<MakeDisplay>>::Make},
    {L"ClaspTest.Journal", &kJournalClsid, clasp::ClassFactory<CreateHost<MakeJournal>>::Make},
    {L"ClaspTest.NoDispatch", &kNoDispatchClsid, clasp::ClassFactory<CreateNoDispatch>::Make},
    {L"ClaspTest.Trace", &kTraceClsid, clasp::ClassFactory<CreateHost<MakeTrace>>::Make},
    {L"ClaspTest.RunModul", &kRunModulClsid, clasp::ClassFactory<CreateHost<MakeRunModul>>::Make},
    {L"ClaspTest.Reader", &kReaderClsid, clasp::ClassFactory<CreateHost<MakeReader>>::Make},
    {L"ClaspTest.Faulty.NoExcepCode", &kNoExcepCodeClsid,
     clasp::ClassFactory<CreateFaulty<MakeRunModul, Fault::kNoMember, kExcepCode>>::Make},
    {L"ClaspTest.Faulty.DropsText", &kDropsTextClsid,
     clasp::ClassFactory<CreateFaulty<MakeTrace, Fault::kDropsText, kTraceWrite>>::Make},
    {L"ClaspTest.Faulty.TextAnswer", &kTextAnswerClsid,
     clasp::ClassFactory<CreateFaulty<MakeJournal, Fault::kTextAnswer, kJournalWriteMsg>>::Make},
    {L"ClaspTest.Faulty.BareRaise", &kBareRaiseClsid,
     clasp::ClassFactory<CreateFaulty<MakeRunModul, Fault::kBareRaise, kRecordMessage>>::Make},
    // The same, where only the report reaches it: no trace line shows that failure.
    {L"ClaspTest.Faulty.BareRaiseInReport", &kBareRaiseInReportClsid,
     clasp::ClassFactory<CreateFaulty<MakeRunModul, Fault::kBareRaise, kUnpackMessage>>::Make},
    {L"ClaspTest.Faulty.Leaks", &kLeaksClsid,
     clasp::ClassFactory<CreateFaulty<MakeDisplay, Fault::kLeaksCount, kScreenNo>>::Make},
    // Its leak comes with an answer that is an object, which may hold a
    // count of its own: only the count after the road tells.
    {L"ClaspTest.Faulty.LeaksBesideObject", &kLeaksBesideObjectClsid,
     clasp::ClassFactory<CreateFaulty<MakeDisplay, Fault::kLeaksCount, kScreenDisplay>>::Make}};

LONG SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                &handle, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status;
}

std::wstring ClsidText(const CLSID& clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  return text;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    // Loaded into apartment after apartment, as an integrator's steps are: it
    // is linked statically, like Holdfast.dll, and stays loaded for the same reason.
    clasp::PinModuleOf(reinterpret_cast<const void*>(&DllMain));
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const Registered& c : kClasses) {
    if (clsid == *c.clsid) return c.make_factory(iid, out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// Our host objects count themselves; COM objects (factories, the adapters in
// front of the hosts) hold the module lock.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_objects == 0 && !clasp::ModuleInUse() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH];
  if (!GetModuleFileNameW(g_module, path, MAX_PATH)) return E_FAIL;
  for (const Registered& c : kClasses) {
    const std::wstring clsid = ClsidText(*c.clsid);
    const std::wstring server = L"CLSID\\" + clsid + L"\\InprocServer32";
    if (SetText(std::wstring(c.prog_id) + L"\\CLSID", nullptr, clsid) != ERROR_SUCCESS ||
        SetText(server, nullptr, path) != ERROR_SUCCESS ||
        SetText(server, L"ThreadingModel", L"Apartment") != ERROR_SUCCESS) {
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  for (const Registered& c : kClasses) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, c.prog_id);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText(*c.clsid)).c_str());
  }
  return S_OK;
}
