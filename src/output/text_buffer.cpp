#include "output/text_buffer.h"

#include "host/text.h"

namespace clasp {

BufferedText::BufferedText(TextBuffer& buffer, std::initializer_list<std::u16string_view> parts) {
  if (buffer.lent_) {
    ConcatInto(own_, parts);
    return;
  }
  ConcatInto(buffer.text_, parts);  // the only step that may fail, before the buffer is lent
  buffer.lent_ = true;
  buffer_ = &buffer;
}

}  // namespace clasp
