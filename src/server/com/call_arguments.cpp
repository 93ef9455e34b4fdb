#include "server/com/call_arguments.h"

#include "server/com/same_units.h"
#include "server/com/value.h"

namespace clasp {

CallArguments::CallArguments(std::span<const HostValue> args)
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

CallArguments::~CallArguments() {
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
      args_[i].AsHeld()->Disown();
    }
  }
}

void CallArguments::CopyBack() const {
  for (std::size_t i = 0; i < used_; ++i) {
    const Reference& reference = references_[i];
    const std::u16string_view now = ViewOf(reference.text.Get());
    std::u16string& target = *reference.target;
    if (now.size() != target.size() || !SameUnits(now.data(), target)) target.assign(now);
  }
}

}  // namespace clasp
