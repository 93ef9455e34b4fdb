// Whether two texts hold the same units, compared a word at a time.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace clasp {

// Whether `text` starts with the units of `member`. Read a word at a time, the
// last word overlapping the one before when the length is not a whole number
// of words: it runs before every host lookup.
inline bool SameUnits(const char16_t* text, std::u16string_view member) noexcept {
  const auto* a = reinterpret_cast<const unsigned char*>(text);
  const auto* b = reinterpret_cast<const unsigned char*>(member.data());
  const std::size_t bytes = member.size() * sizeof(char16_t);
  const auto word_at = [](const unsigned char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
  };
  if (bytes < sizeof(std::uint64_t)) return std::memcmp(a, b, bytes) == 0;
  for (std::size_t at = 0; at + sizeof(std::uint64_t) < bytes; at += sizeof(std::uint64_t)) {
    if (word_at(a + at) != word_at(b + at)) return false;
  }
  const std::size_t last = bytes - sizeof(std::uint64_t);
  return word_at(a + last) == word_at(b + last);
}

}  // namespace clasp
