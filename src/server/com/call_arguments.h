// The arguments of one host call as DISPPARAMS wants them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "host/host_value.h"
#include "server/com/owners.h"

namespace clasp {

// The VARIANTARGs of one call, last argument first. Text by reference points
// at a BSTR of ours; whatever the callee leaves there goes back to the
// caller's variable, whether the call succeeded or not. The component's calls
// have at most four arguments and one reference: those stay inline, so that a
// call allocates nothing but the texts it passes. Text a host answered goes on
// in the BSTR it came in, lent for the call, as an exchange passes its
// messages on unread.
class CallArguments {
 public:
  explicit CallArguments(std::span<const HostValue> args);
  // Lent texts go back to their values before the slots are cleared.
  ~CallArguments();
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;

  // The callee may have changed the text; the caller's variable follows.
  // Most leave it as it was: then nothing is copied, and nothing allocated.
  void CopyBack() const;

  VARIANTARG* Data() noexcept { return values_.Data(); }
  UINT Count() const noexcept { return static_cast<UINT>(values_.Size()); }

 private:
  struct Reference {
    Bstr text;
    std::u16string* target = nullptr;
  };
  std::span<const HostValue> args_;
  VariantArray values_;
  std::array<Reference, 1> inline_;
  std::unique_ptr<Reference[]> heap_;
  Reference* references_ = nullptr;
  std::size_t used_ = 0;
  std::size_t lent_ = 0;
};

}  // namespace clasp
