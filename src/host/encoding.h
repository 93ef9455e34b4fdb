// UTF-16 is the component's text, UTF-8 only at the edges: the conversions
// between the two, which depend on nothing else in the core.
#pragma once

#include <string>
#include <string_view>

namespace clasp {

// UTF-8 to UTF-16; malformed bytes become U+FFFD rather than being dropped.
std::u16string Utf16(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view utf16);

}  // namespace clasp
