// What the simulator's Windows parts share about the platform's run time: the
// HRESULT as its documents write it, and the run time held for a scope.
#pragma once

#include <windows.h>
#include <objbase.h>

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
