// A fuzz input read through libFuzzer's own FuzzedDataProvider: choices and
// numbers from the back, text from the front. Past the end every read gives
// zero or nothing, so a short input always means "the plain answer".
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>

namespace clasp::fuzz {

// What the provider lacks: raw bit patterns (any double, NaNs included, rather
// than one drawn from a range) and text over an alphabet of our own.
class FuzzInput : public FuzzedDataProvider {
 public:
  using FuzzedDataProvider::FuzzedDataProvider;

  bool Empty() { return remaining_bytes() == 0; }
  std::uint8_t Byte() { return ConsumeIntegral<std::uint8_t>(); }

  // Every bit pattern of T; zero when the input has run out.
  template <class T>
  T Raw() {
    using Bits = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                 std::conditional_t<sizeof(T) == 2, std::uint16_t,
                 std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    static_assert(sizeof(Bits) == sizeof(T));
    return std::bit_cast<T>(ConsumeIntegral<Bits>());
  }

  // UTF-16 text of up to `length` characters from `alphabet` (one byte each)
  // or, for bytes past the alphabet, from a few awkward code units.
  std::u16string Text(std::size_t length, std::u16string_view alphabet) {
    static constexpr char16_t kAwkward[] = {
        0x00A0, 0x3000, 0xFF10, 0x0660, 0xD800, 0xDC00, 0xFFFD, 0x0000,
        0x2212, 0x00B2, 0x0085, 0x1680, 0x200B, 0xFEFF, 0x4E00, 0x0009};
    std::u16string text;
    for (const std::uint8_t b : ConsumeBytes<std::uint8_t>(length)) {
      text.push_back(b < alphabet.size() ? alphabet[b] : kAwkward[b % std::size(kAwkward)]);
    }
    return text;
  }
};

}  // namespace clasp::fuzz
