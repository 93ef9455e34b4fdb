// Operations on the component's text (UTF-16), null included where the
// platform's text can be null.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

// Text arrives and leaves as UTF-8 at the edges: the conversions come along.
#include "host/encoding.h"

namespace clasp {

// Decimal text of a number: a minus sign for negatives, no blanks or zeros in front.
std::u16string DecimalText(std::int64_t number);

// The same text in a buffer of its own, for joining into a longer text without
// a string of its own on the way.
class DecimalDigits {
 public:
  explicit DecimalDigits(std::int64_t number) noexcept;
  operator std::u16string_view() const noexcept {  // NOLINT: reads as the text it is
    return {buffer_ + begin_, kCapacity - begin_};
  }

 private:
  static constexpr std::size_t kCapacity = 20;  // 19 digits of an int64 and a sign
  char16_t buffer_[kCapacity];
  std::size_t begin_;
};

// Joins the parts into one text, sized once.
std::u16string Concat(std::initializer_list<std::u16string_view> parts);
// The same into `text`, whose buffer is kept when it is large enough; no part
// may be `text` itself.
void ConcatInto(std::u16string& text, std::initializer_list<std::u16string_view> parts);

// Text that may be the platform's null value; operations on null give null.
using NullableText = std::optional<std::u16string>;

// Removes leading and trailing space characters (U+0020) only.
std::u16string Trim(std::u16string_view text);
// The part of `text` that Trim keeps, without a copy.
std::u16string_view TrimmedPart(std::u16string_view text) noexcept;
// Up to `count` characters of `text` starting at character `start` (counted from 1).
NullableText Mid(const NullableText& text, std::size_t start,
                 std::size_t count = std::u16string::npos);
// The first `count` characters.
NullableText Left(const NullableText& text, std::size_t count);
// Joins two texts; null on either side gives null.
NullableText Join(const NullableText& left, const NullableText& right);
// Exact comparison; comparing null raises "Invalid use of Null" because the
// caller's test has no truth value to branch on.
bool TextEquals(const NullableText& left, std::u16string_view right);

// Equal but for the case of ASCII letters, the way automation matches member
// names; any other character must match exactly. Works across character types.
template <class Left, class Right>
constexpr bool SameIgnoringCase(std::basic_string_view<Left> left,
                                std::basic_string_view<Right> right) noexcept {
  if (left.size() != right.size()) return false;
  const auto lower = [](auto c) {
    const auto code = static_cast<char32_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c));
    return code >= U'A' && code <= U'Z' ? code - U'A' + U'a' : code;
  };
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (lower(left[i]) != lower(right[i])) return false;
  }
  return true;
}

}  // namespace clasp
