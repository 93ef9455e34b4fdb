// Text helpers: UTF-16 is the component's text, UTF-8 only at the edges.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace clasp {

// UTF-8 to UTF-16; malformed bytes become U+FFFD rather than being dropped.
std::u16string Utf16(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view utf16);

// Decimal text of a number: a minus sign for negatives, no blanks or zeros in front.
std::u16string DecimalText(std::int64_t number);

// Joins the parts into one text, sized once.
std::u16string Concat(std::initializer_list<std::u16string_view> parts);

// Text that may be the platform's null value; operations on null give null.
using NullableText = std::optional<std::u16string>;

// Removes leading and trailing space characters (U+0020) only.
std::u16string Trim(std::u16string_view text);
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

}  // namespace clasp
