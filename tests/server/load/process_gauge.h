// What a module that leaks per load leaves behind: committed private memory
// and thread-local storage slots.
#pragma once

#include <windows.h>

#include <cstddef>

namespace clasp::testing {

// Bytes of committed private memory in this process, summed over the address space.
std::size_t CommittedPrivateBytes();
// The lowest free thread-local storage slot: slots leaked below it push it up.
DWORD FirstFreeTlsSlot();

}  // namespace clasp::testing
