// What the simulator's Windows parts share about the platform's run time: the
// HRESULT as its documents write it, and the run time held for a scope.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "server/com/owners.h"

namespace clasp::sim {

inline std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// A failure code as a reader can look it up: "0x80020012 (-2147352558)";
// numbers that are not failing codes stay decimal.
inline std::string CodeText(std::int32_t number) {
  if (number >= 0) return std::to_string(number);
  return Hex(static_cast<HRESULT>(number)) + " (" + std::to_string(number) + ")";
}

// The platform's own text for a failing code ("Division by zero"), or empty.
inline std::string PlatformText(HRESULT code) {
  wchar_t* text = nullptr;
  const DWORD size = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  for (DWORD i = 0; i < size; ++i) {
    // Kept to ASCII: the text goes into reports read on any machine.
    if (text[i] >= 0x20 && text[i] < 0x7F) out += static_cast<char>(text[i]);
  }
  LocalFree(text);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out;
}

// The name the platform's headers give a common failing code, and what it
// means: Wine's script engine reports run-time errors by these codes alone,
// and its message table has no text for them.
inline std::string CodeName(HRESULT code) {
  struct Named {
    HRESULT code;
    const char* text;
  };
  static constexpr Named kNamed[] = {
      {DISP_E_DIVBYZERO, "DISP_E_DIVBYZERO, division by zero"},
      {DISP_E_OVERFLOW, "DISP_E_OVERFLOW, overflow"},
      {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH, type mismatch"},
      {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME, unknown name"},
      {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND, member not found"},
      {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT, wrong number of arguments"},
      {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL, argument not optional"},
      {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE, a kind of value automation cannot carry"},
      {DISP_E_BADINDEX, "DISP_E_BADINDEX, index out of range"},
      {DISP_E_EXCEPTION, "DISP_E_EXCEPTION, the member raised a failure"},
      {static_cast<HRESULT>(0x80020101), "SCRIPT_E_REPORTED, reported to the script's host"},
      {E_FAIL, "E_FAIL, unspecified failure"},
      {E_NOTIMPL, "E_NOTIMPL, not implemented"},
      {E_OUTOFMEMORY, "E_OUTOFMEMORY, out of memory"},
      {E_INVALIDARG, "E_INVALIDARG, invalid argument"},
  };
  for (const Named& named : kNamed) {
    if (named.code == code) return named.text;
  }
  return {};
}

// Whether this program runs on Wine, whose script engine keeps some of what a
// script object does from its caller.
inline bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The automation object registered as `prog_id`, created afresh and asked
// for IDispatch. Raises InputError naming it when it cannot be.
ComPtr<IDispatch> CreateDispatch(const std::string& prog_id);

// The calling thread in a single-threaded apartment for the object's life.
class ComInit {
 public:
  ComInit() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(result)) throw std::runtime_error("COM could not start: " + Hex(result));
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  ~ComInit() { CoUninitialize(); }
};

}  // namespace clasp::sim
