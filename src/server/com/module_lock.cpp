#include "server/com/module_lock.h"

#include <windows.h>

#include <atomic>

namespace clasp {
namespace {

std::atomic<long> g_locks{0};
// The share of g_locks that clients hold through LockServer.
std::atomic<long> g_server_locks{0};

}  // namespace

void LockModule() noexcept { g_locks.fetch_add(1, std::memory_order_relaxed); }
void UnlockModule() noexcept { g_locks.fetch_sub(1, std::memory_order_acq_rel); }
bool ModuleInUse() noexcept { return g_locks.load(std::memory_order_acquire) != 0; }

void LockServer(bool lock) noexcept {
  if (lock) {
    g_server_locks.fetch_add(1, std::memory_order_relaxed);
    LockModule();
    return;
  }
  long held = g_server_locks.load(std::memory_order_relaxed);
  do {
    if (held <= 0) return;
  } while (!g_server_locks.compare_exchange_weak(held, held - 1, std::memory_order_relaxed));
  UnlockModule();
}

void PinModuleOf(const void* address) noexcept {
  HMODULE pinned = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     static_cast<LPCWSTR>(address), &pinned);
}

}  // namespace clasp
