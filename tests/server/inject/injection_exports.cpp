// The switch of the test-only copy of Holdfast.dll: the test program reaches
// the allocator inside this module through these exports.
#include <windows.h>

#include "support/allocation_injector.h"

extern "C" {

// Fails the nth allocation of this module from now on; 0 disarms.
__declspec(dllexport) void WINAPI ClaspFailAllocation(ULONG nth) {
  clasp::testing::FailAllocation(nth);
}
// Whether the armed failure has happened.
__declspec(dllexport) BOOL WINAPI ClaspAllocationFailed() {
  return clasp::testing::AllocationFailed() ? TRUE : FALSE;
}
// Blocks this module allocated and has not freed.
__declspec(dllexport) LONGLONG WINAPI ClaspLiveAllocations() {
  return clasp::testing::LiveAllocations();
}

}
