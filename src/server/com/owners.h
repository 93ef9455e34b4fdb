// Move-only owners for the platform's automation resources: interface
// pointers, BSTRs, VARIANTs, VARIANTARG arrays and EXCEPINFOs. Every Put() releases what the
// owner held before it hands out the address to fill; the one other address
// an owner hands out is named for the call that only reads through it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "host/ref.h"

namespace clasp {

// A counted interface pointer: the core's counted reference, so that the
// binding and the core share one family of them.
template <class T>
using ComPtr = Ref<T>;

// The same object under interface U, or empty when it has none (or is empty).
template <class U, class T>
ComPtr<U> QueryAs(T* object) noexcept {
  ComPtr<U> result;
  if (object && FAILED(object->QueryInterface(__uuidof(U), result.PutVoid()))) result.Detach();
  return result;
}

// The units of a BSTR, read from its length prefix as SysStringLen reads it:
// every answer and every text by reference is measured, and the call into
// the platform cost more than the reading. A null BSTR is the empty text, as
// automation treats it.
inline std::u16string_view ViewOf(BSTR text) noexcept {
  if (!text) return {};
  UINT bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - sizeof bytes, sizeof bytes);
  return {reinterpret_cast<const char16_t*>(text), bytes / sizeof(OLECHAR)};
}

// Text of a BSTR.
inline std::u16string TextOf(BSTR text) { return std::u16string(ViewOf(text)); }

inline const wchar_t* WideOf(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

// An owned BSTR.
class Bstr {
 public:
  Bstr() noexcept = default;
  // Copies `text`; embedded NULs are kept. Raises std::bad_alloc when out of memory.
  explicit Bstr(std::u16string_view text);
  Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    Bstr(std::move(other)).Swap(*this);
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { Reset(); }

  static Bstr Adopt(BSTR text) noexcept {
    Bstr result;
    result.text_ = text;
    return result;
  }

  // Nothing to free is the usual case, and costs no call into the platform.
  void Reset() noexcept {
    if (text_) SysFreeString(std::exchange(text_, nullptr));
  }
  void Swap(Bstr& other) noexcept { std::swap(text_, other.text_); }
  BSTR* Put() noexcept {
    Reset();
    return &text_;
  }
  BSTR Detach() noexcept { return std::exchange(text_, nullptr); }
  BSTR Get() const noexcept { return text_; }
  std::u16string Text() const { return TextOf(text_); }

 private:
  BSTR text_ = nullptr;
};

// Empties a VARIANT as VariantClear does. Kinds that hold nothing to free
// are emptied here; only the rest (and kinds VariantClear refuses) cost a
// call into the platform, which most values of a call never need.
inline void ClearVariant(VARIANT& value) noexcept {
  switch (V_VT(&value)) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8:
    case VT_CY: case VT_DATE: case VT_ERROR: case VT_BOOL: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      V_VT(&value) = VT_EMPTY;
      return;
    default:
      VariantClear(&value);
  }
}

// An owned VARIANT; cleared on destruction and before every Put().
class Variant {
 public:
  Variant() noexcept { V_VT(&value_) = VT_EMPTY; }
  Variant(Variant&& other) noexcept : value_(other.value_) { V_VT(&other.value_) = VT_EMPTY; }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      ClearVariant(value_);
      value_ = other.value_;
      V_VT(&other.value_) = VT_EMPTY;
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ClearVariant(value_); }

  VARIANT* Put() noexcept {
    ClearVariant(value_);
    return &value_;
  }
  // Hands the contents to the caller, who must clear them.
  VARIANT Detach() noexcept {
    VARIANT result = value_;
    V_VT(&value_) = VT_EMPTY;
    return result;
  }
  const VARIANT& Get() const noexcept { return value_; }
  // The value as IDispatch::Invoke's arguments (DISPPARAMS::rgvarg), which the
  // callee only reads though the field is not const. Owners side by side are
  // such a list, last first: each is laid out as the VARIANT it owns.
  VARIANTARG* ArgumentsForInvoke() noexcept { return &value_; }

 private:
  VARIANT value_;
};
static_assert(sizeof(Variant) == sizeof(VARIANT), "owners side by side are a VARIANTARG list");

// The platform's calls that read a VARIANT through a pointer that is not
// const, given an owner's value: they read it and leave it as it was.
inline HRESULT VariantCopyOf(VARIANT* result, const Variant& source) noexcept {
  return VariantCopy(result, const_cast<VARIANT*>(&source.Get()));
}
inline HRESULT VariantChangeTypeOf(Variant& result, const Variant& source, LCID locale,
                                   USHORT flags, VARTYPE type) noexcept {
  return VariantChangeTypeEx(result.Put(), const_cast<VARIANT*>(&source.Get()), locale, flags,
                             type);
}
inline HRESULT VarCmpOf(const Variant& left, const Variant& right, LCID locale,
                        ULONG flags) noexcept {
  return VarCmp(const_cast<VARIANT*>(&left.Get()), const_cast<VARIANT*>(&right.Get()), locale,
                flags);
}

// An owned array of VARIANTARGs, as DISPPARAMS wants them: one contiguous
// block, every element cleared on destruction. Short lists stay inline.
class VariantArray {
 public:
  // `count` empty elements. Raises std::bad_alloc when out of memory.
  explicit VariantArray(std::size_t count)
      : heap_(count > kInline ? new VARIANTARG[count] : nullptr),
        data_(heap_ ? heap_.get() : inline_.data()),
        count_(count) {
    for (std::size_t i = 0; i < count_; ++i) V_VT(&data_[i]) = VT_EMPTY;
  }
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;
  ~VariantArray() {
    for (std::size_t i = 0; i < count_; ++i) ClearVariant(data_[i]);
  }

  VARIANTARG* Data() noexcept { return count_ ? data_ : nullptr; }
  VARIANTARG& operator[](std::size_t index) noexcept { return data_[index]; }
  std::size_t Size() const noexcept { return count_; }

 private:
  static constexpr std::size_t kInline = 4;
  std::array<VARIANTARG, kInline> inline_;
  std::unique_ptr<VARIANTARG[]> heap_;
  VARIANTARG* data_;
  std::size_t count_;
};

// An owned EXCEPINFO: frees its three strings.
class ExcepInfo {
 public:
  ExcepInfo() noexcept = default;
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;
  ~ExcepInfo() { FreeStrings(); }

  void Reset() noexcept {
    FreeStrings();
    info_ = EXCEPINFO{};
  }
  EXCEPINFO* Put() noexcept {
    Reset();
    return &info_;
  }
  // Runs a deferred fill-in once, so that the fields are complete.
  void FillIn() {
    if (auto fill = std::exchange(info_.pfnDeferredFillIn, nullptr)) fill(&info_);
  }
  const EXCEPINFO& Get() const noexcept { return info_; }

 private:
  // Most calls succeed and leave the three strings null: then no call into
  // the platform is made.
  void FreeStrings() noexcept {
    if (info_.bstrSource) SysFreeString(info_.bstrSource);
    if (info_.bstrDescription) SysFreeString(info_.bstrDescription);
    if (info_.bstrHelpFile) SysFreeString(info_.bstrHelpFile);
  }

  EXCEPINFO info_{};
};

}  // namespace clasp
