// Reads a fuzz input front to back; past the end every read gives zero, so a
// short input always means "the plain answer" and seeds stay easy to write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace clasp::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return next_ >= size_; }
  std::size_t Remaining() const { return Empty() ? 0 : size_ - next_; }

  std::uint8_t Byte() { return Empty() ? 0 : data_[next_++]; }

  // Little-endian, as many bytes as T has.
  template <class T>
  T Raw() {
    std::uint8_t bytes[sizeof(T)] = {};
    for (auto& b : bytes) b = Byte();
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }

  // UTF-16 text whose characters come from `alphabet` (one byte each) or, for
  // bytes past the alphabet, from a few awkward code units.
  std::u16string Text(std::size_t length, std::u16string_view alphabet) {
    static constexpr char16_t kAwkward[] = {
        0x00A0, 0x3000, 0xFF10, 0x0660, 0xD800, 0xDC00, 0xFFFD, 0x0000,
        0x2212, 0x00B2, 0x0085, 0x1680, 0x200B, 0xFEFF, 0x4E00, 0x0009};
    std::u16string text;
    for (std::size_t i = 0; i < length && !Empty(); ++i) {
      const std::uint8_t b = Byte();
      text.push_back(b < alphabet.size() ? alphabet[b]
                                         : kAwkward[b % (sizeof(kAwkward) / sizeof(kAwkward[0]))]);
    }
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

}  // namespace clasp::fuzz
