#include "process_gauge.h"

namespace clasp::testing {

std::size_t CommittedPrivateBytes() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  std::size_t total = 0;
  auto* address = static_cast<char*>(system.lpMinimumApplicationAddress);
  auto* const end = static_cast<char*>(system.lpMaximumApplicationAddress);
  MEMORY_BASIC_INFORMATION region{};
  while (address < end && VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    address = static_cast<char*>(region.BaseAddress) + region.RegionSize;
  }
  return total;
}

DWORD FirstFreeTlsSlot() {
  const DWORD slot = TlsAlloc();
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  return slot;
}

}  // namespace clasp::testing
