#include "server/com/module_lock.h"

#include <atomic>

namespace clasp {
namespace {

std::atomic<long> g_locks{0};

}  // namespace

void LockModule() noexcept { g_locks.fetch_add(1, std::memory_order_relaxed); }
void UnlockModule() noexcept { g_locks.fetch_sub(1, std::memory_order_acq_rel); }
bool ModuleInUse() noexcept { return g_locks.load(std::memory_order_acquire) != 0; }

}  // namespace clasp
