#include "host/text.h"

#include "host/failure.h"

namespace clasp {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char16_t kSpace = u' ';

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1, code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, minimum = 0x10000;
    }
    bool valid = length != 0 && i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    valid = valid && code >= minimum && code <= 0x10FFFF &&
            !(code >= 0xD800 && code <= 0xDFFF);
    if (!valid) {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    AppendUtf16(out, code);
    i += length;
  }
  return out;
}

std::string Utf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t code = utf16[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < utf16.size() &&
        utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = kReplacement;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::u16string DecimalText(std::int64_t number) {
  // Work on the magnitude as unsigned so the most negative value survives.
  std::uint64_t magnitude = number < 0 ? 0 - static_cast<std::uint64_t>(number)
                                       : static_cast<std::uint64_t>(number);
  char16_t buffer[24];
  char16_t* end = buffer + sizeof(buffer) / sizeof(buffer[0]);
  char16_t* begin = end;
  do {
    *--begin = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) *--begin = u'-';
  return {begin, end};
}

std::u16string Concat(std::initializer_list<std::u16string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  std::u16string text;
  text.reserve(size);
  for (const auto part : parts) text += part;
  return text;
}

std::u16string Trim(std::u16string_view text) {
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::u16string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return std::u16string(text.substr(first, last - first + 1));
}

NullableText Mid(const NullableText& text, std::size_t start, std::size_t count) {
  if (!text) return std::nullopt;
  if (start == 0 || start > text->size()) return std::u16string();
  return text->substr(start - 1, count);
}

NullableText Left(const NullableText& text, std::size_t count) {
  return Mid(text, 1, count);
}

NullableText Join(const NullableText& left, const NullableText& right) {
  if (!left || !right) return std::nullopt;
  return *left + *right;
}

bool TextEquals(const NullableText& left, std::u16string_view right) {
  if (!left) throw InvalidUseOfNullFailure();
  return *left == right;
}

}  // namespace clasp
