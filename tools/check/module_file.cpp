#include "module_file.h"

#include <windows.h>

#include <fstream>
#include <vector>

#include "facts.h"

namespace clasp::check {
namespace {

constexpr int kShiftHigh = 16;
constexpr WORD kLowWord = 0xFFFF;

template <class T>
bool ReadAt(std::ifstream& file, std::streamoff offset, T& out) {
  file.seekg(offset);
  file.read(reinterpret_cast<char*>(&out), sizeof out);
  return static_cast<bool>(file);
}

}  // namespace

int ModuleBits(const std::wstring& path) {
  // MinGW's ifstream takes a wide path: the file may lie in a folder with
  // characters outside the ANSI code page.
  std::ifstream file(path.c_str(), std::ios::binary);
  IMAGE_DOS_HEADER dos{};
  if (!ReadAt(file, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return 0;
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!ReadAt(file, dos.e_lfanew, signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(file, dos.e_lfanew + static_cast<std::streamoff>(sizeof signature), header)) {
    return 0;
  }
  if (header.Machine == IMAGE_FILE_MACHINE_I386) return kBitsOf32;
  if (header.Machine == IMAGE_FILE_MACHINE_AMD64) return kBitsOf64;
  return 0;
}

std::optional<std::string> FileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      length < sizeof *info) {
    return std::nullopt;
  }
  return std::to_string(info->dwFileVersionMS >> kShiftHigh) + "." +
         std::to_string(info->dwFileVersionMS & kLowWord) + "." +
         std::to_string(info->dwFileVersionLS >> kShiftHigh) + "." +
         std::to_string(info->dwFileVersionLS & kLowWord);
}

}  // namespace clasp::check
