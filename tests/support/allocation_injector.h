// A test-only replacement of the global allocation functions that can fail
// the Nth allocation from a chosen moment, and counts live blocks so that a
// test can tell a leak. Linked only into test programs, never into a product.
#pragma once

#include <cstdint>

namespace clasp::testing {

// From now on the `nth` allocation (1 = the next one) throws std::bad_alloc
// (or answers null for the nothrow forms); 0 disarms. Only one fails per arming.
void FailAllocation(std::uint64_t nth) noexcept;
// Whether the armed failure has happened since the last arming.
bool AllocationFailed() noexcept;
// Blocks allocated and not yet freed, by anyone in the process.
std::int64_t LiveAllocations() noexcept;

// While one exists on this thread, allocations neither count towards the
// armed failure nor fail: for the doubles that stand in for hosts, whose own
// allocations are not the component's.
class Uninjected {
 public:
  Uninjected() noexcept;
  ~Uninjected();
  Uninjected(const Uninjected&) = delete;
  Uninjected& operator=(const Uninjected&) = delete;
};

}  // namespace clasp::testing
