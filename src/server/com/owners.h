// Move-only owners for the platform's automation resources: interface
// pointers, BSTRs, VARIANTs, VARIANTARG arrays and EXCEPINFOs. Every Put() releases what the
// owner held before it hands out the address to fill.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <cstddef>
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

// Text of a BSTR; a null BSTR is the empty text, as automation treats it.
inline std::u16string TextOf(BSTR text) {
  if (!text) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

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

  void Reset() noexcept { SysFreeString(std::exchange(text_, nullptr)); }
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

// An owned VARIANT; cleared on destruction and before every Put().
class Variant {
 public:
  Variant() noexcept { VariantInit(&value_); }
  Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      VariantClear(&value_);
      value_ = other.value_;
      VariantInit(&other.value_);
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }

  VARIANT* Put() noexcept {
    VariantClear(&value_);
    return &value_;
  }
  // Hands the contents to the caller, who must clear them.
  VARIANT Detach() noexcept {
    VARIANT result = value_;
    VariantInit(&value_);
    return result;
  }
  const VARIANT& Get() const noexcept { return value_; }
  VARIANT* Address() noexcept { return &value_; }

 private:
  VARIANT value_;
};

// An owned array of VARIANTARGs, as DISPPARAMS wants them: one contiguous
// block, every element cleared on destruction. Short lists stay inline.
class VariantArray {
 public:
  // `count` empty elements. Raises std::bad_alloc when out of memory.
  explicit VariantArray(std::size_t count)
      : heap_(count > kInline ? new VARIANTARG[count] : nullptr),
        data_(heap_ ? heap_.get() : inline_.data()),
        count_(count) {
    for (std::size_t i = 0; i < count_; ++i) VariantInit(&data_[i]);
  }
  VariantArray(const VariantArray&) = delete;
  VariantArray& operator=(const VariantArray&) = delete;
  ~VariantArray() {
    for (std::size_t i = 0; i < count_; ++i) VariantClear(&data_[i]);
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
  ~ExcepInfo() { Reset(); }

  void Reset() noexcept {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
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
  EXCEPINFO info_{};
};

}  // namespace clasp
