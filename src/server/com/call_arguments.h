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
#include "server/com/same_units.h"
#include "server/com/value.h"

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

// Inline: every call with arguments makes one.
inline CallArguments::CallArguments(std::span<const HostValue> args)
    : args_(args), values_(args.size()) {
  // Sized once, so that each BSTR's address stays put for the call: inline
  // for the one text by reference a call passes at most, else one place per
  // argument. Counted no further than that: a loop the compiler can turn into
  // vector code saves vector registers at every host access.
  std::size_t references = 0;
  for (const HostValue& arg : args) {
    if (arg.IsByRef() && ++references > inline_.size()) break;
  }
  if (references > inline_.size()) heap_ = std::make_unique<Reference[]>(args.size());
  references_ = heap_ ? heap_.get() : inline_.data();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const HostValue& arg = args[i];
    VARIANTARG& slot = values_[args.size() - 1 - i];
    if (arg.IsByRef()) {
      Reference& reference = references_[used_++];
      reference.target = &arg.RefTarget();
      BSTR* text = reference.text.Put();
      *text = Bstr(arg.AsText()).Detach();
      V_BSTRREF(&slot) = text;
      V_VT(&slot) = VT_BYREF | VT_BSTR;
    } else if (LendableBstr(arg)) {
      ++lent_;
    } else {
      PutVariant(arg, &slot);
    }
  }
  if (lent_ == 0) return;
  // Lent only once nothing more can fail: a slot cleared on the way out of a
  // failed construction would free a text its value still owns.
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (const BSTR lent = LendableBstr(args[i])) {
      VARIANTARG& slot = values_[args.size() - 1 - i];
      V_BSTR(&slot) = lent;
      V_VT(&slot) = VT_BSTR;
    }
  }
}

inline CallArguments::~CallArguments() {
  if (lent_ == 0) return;
  // A callee that changed a slot it was lent took the text with it (freed it,
  // or coerced it in place), whatever the rules say of arguments by value:
  // its value lets go of the text rather than free it a second time.
  for (std::size_t i = 0; i < args_.size(); ++i) {
    const BSTR lent = LendableBstr(args_[i]);
    if (!lent) continue;
    VARIANTARG& slot = values_[args_.size() - 1 - i];
    if (V_VT(&slot) == VT_BSTR && V_BSTR(&slot) == lent) {
      V_VT(&slot) = VT_EMPTY;
    } else {
      args_[i].AsHeld()->As<BstrText>()->Taken();
    }
  }
}

inline void CallArguments::CopyBack() const {
  for (std::size_t i = 0; i < used_; ++i) {
    const Reference& reference = references_[i];
    const std::u16string_view now = ViewOf(reference.text.Get());
    std::u16string& target = *reference.target;
    if (now.size() != target.size() || !SameUnits(now.data(), target)) target.assign(now);
  }
}

}  // namespace clasp
