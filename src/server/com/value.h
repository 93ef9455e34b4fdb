// VARIANT <-> HostValue, without loss: what one host member answers reaches
// another as the same kind and value.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "host/host_value.h"
#include "server/com/owners.h"

namespace clasp {

// A VARIANT the core carries untouched (arrays, records, foreign interfaces).
class VariantPayload final : public OpaqueValue {
 public:
  // Keeps a deep copy of `value`.
  explicit VariantPayload(const VARIANT& value);
  std::u16string Describe() const override;
  const VARIANT& Value() const noexcept { return value_.Get(); }

 private:
  Variant value_;
};

// The host value for a VARIANT. By-reference VARIANTs give the value they point
// to; objects become host objects reached through their IDispatch.
HostValue ToHostValue(const VARIANT& value);

// The VARIANT for a host value. Text by reference gives plain text here; calls
// that pass it by reference build the reference themselves.
Variant ToVariant(const HostValue& value);

}  // namespace clasp
