// VARIANT <-> HostValue without loss: what one host member answers reaches
// another as the same kind and value. Objects cross through object_bridge.h.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string_view>
#include <utility>

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

// Whether a VARIANT from outside can be read, as automation answers a caller:
// S_OK; E_POINTER for a by-reference value whose pointer is null (or a record
// without its description); DISP_E_BADVARTYPE for a kind automation does not
// have, a bare VT_VARIANT, or a VT_BYREF|VT_VARIANT pointing at another
// reference. Reads nothing but the pointers it checks.
HRESULT CheckValue(const VARIANT& value) noexcept;

// The host value for a VARIANT. A by-reference VARIANT gives the value it
// points to (one level, as oleaut32 follows them); objects become host objects.
// A value CheckValue refuses raises a Failure saying why.
HostValue ToHostValue(const VARIANT& value);

// A host's text answer left in its BSTR, which the value carrying it owns.
class BstrText final : public TextPayload {
 public:
  explicit BstrText(BSTR text) noexcept : text_(text) {}
  BstrText(const BstrText&) = delete;
  BstrText& operator=(const BstrText&) = delete;
  ~BstrText() override {
    if (text_) SysFreeString(text_);
  }

  // Read with the length its prefix gives now, never the one it had when kept.
  std::u16string_view Text() const noexcept override { return ViewOf(text_); }
  TextPayload* MoveTo(void* room) noexcept override {
    TextPayload* moved = new (room) BstrText(std::exchange(text_, nullptr));
    this->~BstrText();
    return moved;
  }
  // The BSTR, while this payload still owns it: an argument may lend it to a
  // callee, which must not change or free it.
  BSTR Lendable() const noexcept { return text_; }
  // For a callee that took the text it was lent (freed it, or coerced it in
  // place): it reads as empty from now on and is not freed a second time.
  void Taken() const noexcept { text_ = nullptr; }

 private:
  // Mutable for Taken alone: a call's arguments are const, but its callee
  // may still have taken what was lent to it.
  mutable BSTR text_;
};

// The BSTR behind a value TakeHostValue made, while the value still owns it;
// null for any other value. Inline: every argument of every call asks.
inline BSTR LendableBstr(const HostValue& value) noexcept {
  const HeldText* held = value.AsHeld();
  const BstrText* text = held ? held->As<BstrText>() : nullptr;
  return text ? text->Lendable() : nullptr;
}

// ToHostValue for an answer of ours, which it empties: text stays in the
// answer's BSTR, now owned by the value, so that an answer passed on to the
// next call unread is copied neither way. The kinds hosts answer nearly
// always are made here, inline, as every read of every host makes one.
inline HostValue TakeHostValue(Variant& answer) {
  const VARIANT& value = answer.Get();
  switch (V_VT(&value)) {
    case VT_EMPTY: return HostValue();
    case VT_I2: return HostValue::I2(V_I2(&value));
    case VT_I4: return HostValue::I4(V_I4(&value));
    case VT_BSTR:
      if (const BSTR text = V_BSTR(&value)) {
        answer.Detach();
        return HostValue::Held<BstrText>(text);
      }
      break;
    default: break;
  }
  return ToHostValue(value);
}

// The VARIANT for a host value, written into `out`, which holds nothing to
// free; on failure it still holds nothing to free. Text by reference gives
// plain text here; calls that pass it by reference build the reference
// themselves.
void PutVariantOfAnyKind(const HostValue& value, VARIANT* out);

// PutVariantOfAnyKind with the kinds the component passes nearly always made
// inline, for the same reason as TakeHostValue.
inline void PutVariant(const HostValue& value, VARIANT* out) {
  switch (value.GetKind()) {
    case Kind::kEmpty:
      V_VT(out) = VT_EMPTY;
      return;
    case Kind::kI2:
      V_I2(out) = static_cast<SHORT>(value.AsInteger());
      V_VT(out) = VT_I2;
      return;
    case Kind::kI4:
      V_I4(out) = static_cast<LONG>(value.AsInteger());
      V_VT(out) = VT_I4;
      return;
    case Kind::kText:
      V_BSTR(out) = Bstr(value.AsText()).Detach();
      V_VT(out) = VT_BSTR;
      return;
    default:
      PutVariantOfAnyKind(value, out);
  }
}

// The same, as a VARIANT of its own.
inline Variant ToVariant(const HostValue& value) {
  Variant result;
  PutVariant(value, result.Put());
  return result;
}

}  // namespace clasp
