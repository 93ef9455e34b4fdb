#include "server/module.h"

#include <atomic>

#include "server/com/error.h"
#include "server/identity.h"

namespace clasp {
namespace {

HMODULE g_module = nullptr;
std::atomic<ITypeInfo*> g_type_info{nullptr};

// Long enough for any path the loader hands out.
constexpr DWORD kLongestPath = 32768;

}  // namespace

void SetModule(HMODULE module) noexcept { g_module = module; }

std::u16string ModulePath() {
  std::u16string path(kLongestPath, u'\0');
  const DWORD length = GetModuleFileNameW(g_module, reinterpret_cast<wchar_t*>(path.data()),
                                          static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) Check(HRESULT_FROM_WIN32(GetLastError()));
  path.resize(length);
  return path;
}

ComPtr<ITypeLib> LoadOwnTypeLibrary() {
  const std::u16string path = ModulePath();
  ComPtr<ITypeLib> library;
  Check(LoadTypeLibEx(WideOf(path), REGKIND_NONE, library.Put()));
  return library;
}

ComPtr<ITypeInfo> HoldfastTypeInfo() {
  if (ITypeInfo* cached = g_type_info.load()) return ComPtr<ITypeInfo>(cached);
  ComPtr<ITypeInfo> info;
  Check(LoadOwnTypeLibrary()->GetTypeInfoOfGuid(IID__Holdfast, info.Put()));
  ITypeInfo* expected = nullptr;
  // Two apartments may load at once; the first one to finish is kept.
  if (g_type_info.compare_exchange_strong(expected, info.Get())) {
    info->AddRef();
    return info;
  }
  return ComPtr<ITypeInfo>(expected);
}

void RequireHoldfastTypeInfo() {
  if (!g_type_info.load()) HoldfastTypeInfo();
}

void ReleaseHoldfastTypeInfo() noexcept {
  if (ITypeInfo* cached = g_type_info.exchange(nullptr)) cached->Release();
}

}  // namespace clasp
