// Where a text is filed in a small table by the address it is spelled at.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

namespace clasp {

// The slot of `spelled_at` in a table of 2^`slot_bits` slots. Fibonacci
// hashing: the high bits of the product spread addresses that differ only in
// their low bits, as literals in one file do. In the width of an address, so
// that a 32-bit build multiplies once.
inline std::size_t AddressSlot(const void* spelled_at, std::size_t slot_bits) noexcept {
  constexpr std::uintptr_t kFactor =
      sizeof(std::uintptr_t) == sizeof(std::uint64_t)
          ? static_cast<std::uintptr_t>(0x9E3779B97F4A7C15ull)
          : static_cast<std::uintptr_t>(0x9E3779B9u);
  constexpr std::size_t kAddressBits = sizeof(std::uintptr_t) * CHAR_BIT;
  const auto address = reinterpret_cast<std::uintptr_t>(spelled_at);
  return static_cast<std::size_t>((address * kFactor) >> (kAddressBits - slot_bits));
}

}  // namespace clasp
