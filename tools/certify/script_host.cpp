#include "certify/script_host.h"

#include <activscp.h>
#include <dispex.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "host/text.h"
#include "server/com/com_object.h"
#include "server/com/error.h"
#include "com/com_support.h"
#include "sim/scenario.h"

namespace clasp::sim {
namespace {

constexpr wchar_t kEngine[] = L"VBScript";
constexpr unsigned char kUtf16Mark[] = {0xFF, 0xFE};
// Script lines count from 0 in the engine's report, from 1 for a reader.
constexpr ULONG kFirstLine = 1;

// The script's text as the engine wants it.
std::wstring ReadScript(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("--host-script: cannot read '" + path + "'");
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  if (bytes.size() >= sizeof kUtf16Mark &&
      static_cast<unsigned char>(bytes[0]) == kUtf16Mark[0] &&
      static_cast<unsigned char>(bytes[1]) == kUtf16Mark[1]) {
    std::wstring text((bytes.size() - sizeof kUtf16Mark) / sizeof(wchar_t), L'\0');
    std::copy(bytes.begin() + sizeof kUtf16Mark,
              bytes.begin() + static_cast<std::ptrdiff_t>(sizeof kUtf16Mark + text.size() * 2),
              reinterpret_cast<char*>(text.data()));
    return text;
  }
  if (bytes.empty()) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                       nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

// Our side of the engine: no named items of our own, and the first script
// error kept for the report.
class Site final : public ComObject<Site, IActiveScriptSite> {
 public:
  void* Interface(REFIID iid) noexcept {
    return iid == __uuidof(IActiveScriptSite) ? static_cast<IActiveScriptSite*>(this) : nullptr;
  }
  HRESULT STDMETHODCALLTYPE GetLCID(LCID*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR, DWORD, IUnknown** item,
                                        ITypeInfo** info) noexcept override {
    if (item) *item = nullptr;
    if (info) *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) noexcept override {
    if (!error) return S_OK;
    try {
      ExcepInfo info;
      error->GetExceptionInfo(info.Put());
      info.FillIn();
      DWORD context = 0;
      ULONG line = 0;
      LONG column = 0;
      error->GetSourcePosition(&context, &line, &column);
      const std::u16string description = TextOf(info.Get().bstrDescription);
      const HRESULT code = info.Get().scode;
      std::string text = "line " + std::to_string(line + kFirstLine) + ": run-time error " +
                         CodeText(static_cast<std::int32_t>(code));
      // A script's own raise travels in the control facility: its number is
      // the low word, as the script wrote it.
      if (const auto number = ControlNumber(code)) text += ", number " + std::to_string(*number);
      if (!description.empty()) {
        text += " \"" + Utf8(description) + "\"";
      } else if (const std::string platform = PlatformText(code); !platform.empty()) {
        text += " without a description from the engine (the platform's text for the code: \"" +
                platform + "\")";
      } else if (const std::string name = CodeName(code); !name.empty()) {
        text += " without a description from the engine (" + name + ")";
      } else {
        text += " without a description";
      }
      error_ = std::move(text);
    } catch (...) {
      error_ = "a script error";
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnEnterScript() noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnLeaveScript() noexcept override { return S_OK; }

  const std::string& Error() const noexcept { return error_; }
  std::string TakeError() noexcept { return std::exchange(error_, {}); }

 private:
  friend class ComObject<Site, IActiveScriptSite>;
  Site() = default;
  ~Site() = default;
  std::string error_;
};

// A global variable of the script by name, read as a property.
std::optional<Variant> ReadGlobal(IDispatch* globals, std::string_view name) {
  Bstr text(Utf16(name));
  DISPID id = DISPID_UNKNOWN;
  HRESULT result = E_NOTIMPL;
  if (const auto extended = QueryAs<IDispatchEx>(globals)) {
    result = extended->GetDispID(text.Get(), fdexNameCaseInsensitive, &id);
  }
  if (result == E_NOTIMPL) {
    LPOLESTR names[] = {text.Get()};
    result = globals->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  }
  if (FAILED(result)) return std::nullopt;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant value;
  if (FAILED(globals->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             value.Put(), nullptr, nullptr))) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

struct ScriptHost::Engine {
  Ref<Site> site;
  ComPtr<IActiveScript> script;
};

ScriptHost::ScriptHost(const std::string& path) : path_(path), engine_(std::make_unique<Engine>()) {
  const std::wstring code = ReadScript(path);
  const std::string where = "--host-script: " + path + ": ";
  CLSID clsid;
  HRESULT result = CLSIDFromProgID(kEngine, &clsid);
  if (FAILED(result)) throw InputError(where + "no VBScript engine is registered (" + Hex(result) + ")");
  result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                            engine_->script.PutVoid());
  if (FAILED(result)) throw InputError(where + "the VBScript engine did not start (" + Hex(result) + ")");
  const auto parse = QueryAs<IActiveScriptParse>(engine_->script.Get());
  if (!parse) throw InputError(where + "the VBScript engine cannot parse a script");
  engine_->site = Site::Make();
  result = engine_->script->SetScriptSite(engine_->site.Get());
  if (SUCCEEDED(result)) result = parse->InitNew();
  if (SUCCEEDED(result)) {
    EXCEPINFO info{};
    result = parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                    SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  // Connected: the script's global code runs and its classes come to life.
  if (SUCCEEDED(result)) result = engine_->script->SetScriptState(SCRIPTSTATE_CONNECTED);
  if (!engine_->site->Error().empty()) throw InputError(where + engine_->site->Error());
  if (FAILED(result)) throw InputError(where + "the script did not run (" + Hex(result) + ")");
}

ScriptHost::~ScriptHost() {
  if (engine_ && engine_->script) engine_->script->Close();
}

std::string ScriptHost::TakeReportedError() { return engine_->site->TakeError(); }

std::map<HostRole, ComPtr<IDispatch>> ScriptHost::Objects() const {
  ComPtr<IDispatch> globals;
  const HRESULT result = engine_->script->GetScriptDispatch(nullptr, globals.Put());
  if (FAILED(result) || !globals) {
    throw InputError("--host-script: " + path_ + ": the script's globals cannot be read (" +
                     Hex(result) + ")");
  }
  std::map<HostRole, ComPtr<IDispatch>> objects;
  for (int i = 0; i < kHostRoleCount; ++i) {
    const auto role = static_cast<HostRole>(i);
    const auto value = ReadGlobal(globals.Get(), RoleProperty(role));
    if (!value || V_VT(&value->Get()) == VT_EMPTY) continue;
    if (V_VT(&value->Get()) != VT_DISPATCH || !V_DISPATCH(&value->Get())) {
      throw InputError("--host-script: " + path_ + ": " + std::string(RoleProperty(role)) +
                       " holds no object (Set " + std::string(RoleProperty(role)) +
                       " = New YourClass)");
    }
    objects.emplace(role, ComPtr<IDispatch>(V_DISPATCH(&value->Get())));
  }
  return objects;
}

}  // namespace clasp::sim
