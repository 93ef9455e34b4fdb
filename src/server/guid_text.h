// GUIDs from their registry text ({XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}),
// at compile time: a malformed text in the registration table stops the build.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string_view>

namespace clasp {
namespace detail {

inline constexpr std::size_t kGuidTextLength = 38;

// A hex digit, or a compile-time failure (throwing in a constant expression).
constexpr unsigned HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return static_cast<unsigned>(c - u'0');
  if (c >= u'A' && c <= u'F') return static_cast<unsigned>(c - u'A' + 10);
  if (c >= u'a' && c <= u'f') return static_cast<unsigned>(c - u'a' + 10);
  throw "not a hex digit";
}

// `digits` hex digits of `text` from `at`, most significant first.
constexpr unsigned long long Hex(std::u16string_view text, std::size_t at, std::size_t digits) {
  unsigned long long value = 0;
  for (std::size_t i = 0; i < digits; ++i) value = value * 16 + HexDigit(text[at + i]);
  return value;
}

}  // namespace detail

// The GUID that `text` spells; usable in constant expressions.
constexpr GUID GuidFromText(std::u16string_view text) {
  using detail::Hex;
  if (text.size() != detail::kGuidTextLength || text[0] != u'{' || text[9] != u'-' ||
      text[14] != u'-' || text[19] != u'-' || text[24] != u'-' || text[37] != u'}') {
    throw "not a GUID in braces";
  }
  GUID guid{};
  guid.Data1 = static_cast<unsigned long>(Hex(text, 1, 8));
  guid.Data2 = static_cast<unsigned short>(Hex(text, 10, 4));
  guid.Data3 = static_cast<unsigned short>(Hex(text, 15, 4));
  // The last eight bytes: two before the fourth dash, six after it.
  constexpr std::size_t kByteStarts[] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (std::size_t i = 0; i < 8; ++i) {
    guid.Data4[i] = static_cast<unsigned char>(Hex(text, kByteStarts[i], 2));
  }
  return guid;
}

}  // namespace clasp
