#include "support/allocation_injector.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace clasp::testing {
namespace {

std::atomic<std::uint64_t> g_countdown{0};  // 0: disarmed
std::atomic<bool> g_failed{false};
std::atomic<std::int64_t> g_live{0};
thread_local int t_uninjected = 0;

// True when this allocation is the one to fail.
bool ShouldFail() noexcept {
  if (t_uninjected > 0) return false;
  std::uint64_t left = g_countdown.load(std::memory_order_relaxed);
  while (left != 0) {
    if (g_countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
      if (left == 1) {
        g_failed = true;
        return true;
      }
      return false;
    }
  }
  return false;
}

void* Allocate(std::size_t size) noexcept {
  if (ShouldFail()) return nullptr;
  // malloc(0) may answer null; operator new must not.
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block) g_live.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void Free(void* block) noexcept {
  if (!block) return;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

}  // namespace

void FailAllocation(std::uint64_t nth) noexcept {
  // Disarming keeps the answer of AllocationFailed for the run just ended.
  if (nth != 0) g_failed = false;
  g_countdown = nth;
}
bool AllocationFailed() noexcept { return g_failed.load(); }
std::int64_t LiveAllocations() noexcept { return g_live.load(); }

Uninjected::Uninjected() noexcept { ++t_uninjected; }
Uninjected::~Uninjected() { --t_uninjected; }

}  // namespace clasp::testing

// The replaceable global allocation functions; the array and sized forms
// forward to these by default only for some of them, so all are replaced.
void* operator new(std::size_t size) {
  if (void* block = clasp::testing::Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* block = clasp::testing::Allocate(size)) return block;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return clasp::testing::Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return clasp::testing::Allocate(size);
}
void operator delete(void* block) noexcept { clasp::testing::Free(block); }
void operator delete[](void* block) noexcept { clasp::testing::Free(block); }
void operator delete(void* block, std::size_t) noexcept { clasp::testing::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { clasp::testing::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  clasp::testing::Free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  clasp::testing::Free(block);
}
