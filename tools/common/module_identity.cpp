#include "common/module_identity.h"

#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <vector>

#include "common/sha256.h"

namespace clasp::tools {
namespace {

constexpr int kGuidChars = 40;
constexpr int kShiftHigh = 16;
constexpr DWORD kLowWord = 0xFFFF;
// In-process first: that is what the component and the bench create.
constexpr const wchar_t* kServerKeys[] = {L"InprocServer32", L"LocalServer32"};

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

// The default value of HKCR\<key>, environment strings expanded.
std::wstring ReadDefault(const std::wstring& key) {
  DWORD bytes = 0;
  // Text only: an expandable value comes back expanded, as text.
  constexpr DWORD kTextKinds = RRF_RT_REG_SZ;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kTextKinds, nullptr, nullptr,
                   &bytes) != ERROR_SUCCESS || bytes == 0) {
    return {};
  }
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kTextKinds, nullptr, value.data(),
                   &bytes) != ERROR_SUCCESS) {
    return {};
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  return value;
}

// A local server's registration may carry switches after the path.
std::wstring PathPart(std::wstring command) {
  if (!command.empty() && command.front() == L'"') {
    const std::size_t end = command.find(L'"', 1);
    return command.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
  }
  return command;
}

std::string FileVersionOf(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      length < sizeof *info) {
    return {};
  }
  return std::to_string(info->dwFileVersionMS >> kShiftHigh) + "." +
         std::to_string(info->dwFileVersionMS & kLowWord) + "." +
         std::to_string(info->dwFileVersionLS >> kShiftHigh) + "." +
         std::to_string(info->dwFileVersionLS & kLowWord);
}

}  // namespace

ModuleIdentity IdentifyProgId(const std::string& prog_id) {
  ModuleIdentity identity;
  identity.prog_id = prog_id;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(Wide(prog_id).c_str(), &clsid))) return identity;
  wchar_t text[kGuidChars];
  StringFromGUID2(clsid, text, kGuidChars);
  identity.clsid = Narrow(text);
  for (const wchar_t* server : kServerKeys) {
    std::wstring path = PathPart(ReadDefault(L"CLSID\\" + std::wstring(text) + L"\\" + server));
    if (path.empty()) continue;
    // A bare file name is found the way the loader finds it.
    if (path.find(L'\\') == std::wstring::npos) {
      wchar_t found[MAX_PATH];
      if (SearchPathW(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr) > 0) path = found;
    }
    identity.module = Narrow(path);
    identity.file_version = FileVersionOf(path);
    identity.sha256 = Sha256OfFile(std::filesystem::path(path)).value_or("");
    break;
  }
  return identity;
}

}  // namespace clasp::tools
