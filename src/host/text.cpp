#include "host/text.h"

#include <cstdint>

#include "host/failure.h"

namespace clasp {
namespace {

constexpr char16_t kSpace = u' ';
constexpr std::uint32_t kRadix = 10;

}  // namespace

DecimalDigits::DecimalDigits(std::int64_t number) noexcept : begin_(kCapacity) {
  // Work on the magnitude as unsigned so the most negative value survives.
  std::uint64_t magnitude = number < 0 ? 0 - static_cast<std::uint64_t>(number)
                                       : static_cast<std::uint64_t>(number);
  while (magnitude > UINT32_MAX) {
    buffer_[--begin_] = static_cast<char16_t>(u'0' + magnitude % kRadix);
    magnitude /= kRadix;
  }
  // The rest in 32 bits, which a 32-bit build divides without a call into its
  // runtime: device results and screen numbers all fit.
  auto rest = static_cast<std::uint32_t>(magnitude);
  do {
    buffer_[--begin_] = static_cast<char16_t>(u'0' + rest % kRadix);
    rest /= kRadix;
  } while (rest != 0);
  if (number < 0) buffer_[--begin_] = u'-';
}

std::u16string DecimalText(std::int64_t number) {
  return std::u16string(std::u16string_view(DecimalDigits(number)));
}

std::u16string Concat(std::initializer_list<std::u16string_view> parts) {
  std::u16string text;
  ConcatInto(text, parts);
  return text;
}

void ConcatInto(std::u16string& text, std::initializer_list<std::u16string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  text.clear();
  text.reserve(size);
  for (const auto part : parts) text += part;
}

std::u16string Trim(std::u16string_view text) { return std::u16string(TrimmedPart(text)); }

std::u16string_view TrimmedPart(std::u16string_view text) noexcept {
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::u16string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
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
