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

#include <initializer_list>
#include <span>
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
#include "support/recording_host.h"

namespace {

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

HMODULE g_module = nullptr;

using clasp::testing::RecordingHost;

// A method that answers `answer` to exactly `arguments` arguments, as a typed
// object's would: any other count is refused.
void Answers(RecordingHost& host, const std::u16string& member, HostValue answer,
             std::size_t arguments = 0) {
  host.Calls(member, [answer = std::move(answer), arguments](std::span<const HostValue> args) {
    if (args.size() != arguments) throw clasp::WrongArgumentCountFailure();
    return answer;
  });
}

// Properties are read back as last put; these start with a value of their own.
void Starts(RecordingHost& host,
            std::initializer_list<std::pair<std::u16string, HostValue>> values) {
  for (const auto& [member, value] : values) host.Put(member, value);
}

HostObject MakeDisplay() {
  // Its answer stands for a number through its default member, as script
  // hosts often answer.
  const auto answer = RecordingHost::Create("answer");
  answer->Returns(std::u16string(RecordingHost::kDefaultMember), HostValue::I4(0));
  const auto display = RecordingHost::Create("display");
  Answers(*display, u"ScreenDisplay", HostValue::Object(answer->Object()));
  return display->Object();
}

HostObject MakeJournal() {
  const auto journal = RecordingHost::Create("journal");
  Answers(*journal, u"JournalWriteMsg", HostValue::I4(0));
  return journal->Object();
}

constexpr std::int32_t kRetained = 10120011;
HostObject MakeReader() {
  const auto reader = RecordingHost::Create("reader");
  Answers(*reader, u"CardReaderRetain", HostValue::I4(kRetained));
  return reader->Object();
}

constexpr std::size_t kTraceArguments = 3;
HostObject MakeTrace() {
  const auto trace = RecordingHost::Create("trace");
  Answers(*trace, u"TraceWrite", HostValue::I4(0), kTraceArguments);
  return trace->Object();
}

HostObject MakeRunModul() {
  const auto run = RecordingHost::Create("run");
  const HostValue ok = HostValue::I4(0);
  Answers(*run, u"RecordMessage", ok, 2);
  Answers(*run, u"WriteDetailFileName", ok, 4);
  Answers(*run, u"PackMessage", ok, 1);
  Answers(*run, u"StepCommWriteOnly", ok, 2);
  Answers(*run, u"StepCommWrite", ok, 2);
  Answers(*run, u"StepCommRead", ok, 3);
  Answers(*run, u"UnpackMessage", ok, 1);
  Starts(*run, {{u"TransAction1", HostValue::Text(u"0000")},
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
                {u"IsJRNDevice", HostValue::I2(1)}});
  return run->Object();
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

// Every host object is reached through an adapter, and the adapters and the
// factories hold the module lock.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return clasp::ModuleInUse() ? S_FALSE : S_OK;
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
