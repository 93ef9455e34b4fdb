// A small in-process automation server standing for an integrator's own step
// objects, for the simulator's tests: a display ("ClaspTest.Display"), a
// journal printer ("ClaspTest.Journal"), and an object that cannot be called
// by name ("ClaspTest.NoDispatch", IUnknown only). Its objects are reached by
// name through the same adapter the server offers its own hosts with.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <map>
#include <string>

#include "host/failure.h"
#include "host/host_object.h"
#include "host/host_value.h"
#include "server/class_factory.h"
#include "server/com/com_object.h"
#include "server/com/error.h"
#include "server/com/module_lock.h"
#include "server/com/value.h"

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

std::atomic<long> g_objects{0};
HMODULE g_module = nullptr;

// Properties keep what is put; the methods listed answer what they are given.
class Step final : public HostDispatch {
 public:
  Step(std::map<std::u16string, HostValue> methods, std::map<std::u16string, HostValue> properties)
      : methods_(std::move(methods)), properties_(std::move(properties)) {
    ++g_objects;
  }
  void AddRef() noexcept override { ++count_; }
  void Release() noexcept override {
    if (--count_ == 0) delete this;
  }
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override {
    if (auto m = methods_.find(std::u16string(member)); m != methods_.end()) {
      if (!args.empty()) throw clasp::WrongArgumentCountFailure();
      return m->second;
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
  ~Step() { --g_objects; }
  std::uint32_t count_ = 1;
  std::map<std::u16string, HostValue> methods_;
  std::map<std::u16string, HostValue> properties_;
};

// An answer that stands for a number through its default member, as script
// hosts often answer.
class Answer final : public HostDispatch {
 public:
  explicit Answer(HostValue value) : value_(std::move(value)) { ++g_objects; }
  void AddRef() noexcept override { ++count_; }
  void Release() noexcept override {
    if (--count_ == 0) delete this;
  }
  HostValue Invoke(std::u16string_view, std::span<const HostValue>) override {
    throw clasp::MemberMissingFailure();
  }
  void Put(std::u16string_view, const HostValue&) override { throw clasp::MemberMissingFailure(); }
  HostValue DefaultValue() override { return value_; }

 private:
  ~Answer() { --g_objects; }
  std::uint32_t count_ = 1;
  HostValue value_;
};

HostObject MakeDisplay() {
  return HostObject::Adopt(new Step(
      {{u"ScreenDisplay", HostValue::Object(HostObject::Adopt(new Answer(HostValue::I4(0))))}},
      {{u"ScreenNo", HostValue::Empty()},
       {u"DisapleVal01", HostValue::Empty()},
       {u"DisapleVal02", HostValue::Empty()},
       {u"DisapleVal03", HostValue::Empty()},
       {u"DisapleVal04", HostValue::Empty()}}));
}

HostObject MakeJournal() {
  return HostObject::Adopt(new Step({{u"JournalWriteMsg", HostValue::I4(0)}},
                                    {{u"isjrn", HostValue::Empty()},
                                     {u"TimeSig", HostValue::Empty()},
                                     {u"ChnPromptString", HostValue::Empty()},
                                     {u"EngPromptString", HostValue::Empty()}}));
}

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
    {L"ClaspTest.NoDispatch", &kNoDispatchClsid, clasp::ClassFactory<CreateNoDispatch>::Make}};

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
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
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
