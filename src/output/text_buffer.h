// Texts made in a buffer their owner keeps from one text to the next (the trace
// writer's copy of a line, a journal prompt), so that a text costs no
// allocation once the buffer has grown.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace clasp {

// A buffer lent to one text at a time.
class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

 private:
  friend class BufferedText;
  std::u16string text_;
  bool lent_ = false;
};

// One text, joined from `parts`: in the buffer when it is free, else (a host
// writing from inside another write) in a text of its own.
class BufferedText {
 public:
  BufferedText(TextBuffer& buffer, std::initializer_list<std::u16string_view> parts);
  ~BufferedText() {
    if (buffer_) buffer_->lent_ = false;
  }
  BufferedText(const BufferedText&) = delete;
  BufferedText& operator=(const BufferedText&) = delete;

  // The text; whoever it is handed to by reference may change it.
  std::u16string& Text() noexcept { return buffer_ ? buffer_->text_ : own_; }

 private:
  TextBuffer* buffer_ = nullptr;
  std::u16string own_;
};

}  // namespace clasp
