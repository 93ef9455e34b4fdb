#include "server/com/owners.h"

#include <new>

namespace clasp {

Bstr::Bstr(std::u16string_view text)
    : text_(SysAllocStringLen(WideOf(text), static_cast<UINT>(text.size()))) {
  if (!text_) throw std::bad_alloc();
}

}  // namespace clasp
