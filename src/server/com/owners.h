// Move-only owners for the platform's automation resources: interface
// pointers, BSTRs, VARIANTs and EXCEPINFOs. Every Put() releases what the
// owner held before it hands out the address to fill.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace clasp {

// A counted interface pointer.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT: an empty pointer reads naturally
  // Takes a new count on `object`; the caller keeps its own.
  explicit ComPtr(T* object) noexcept : object_(object) {
    if (object_) object_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }

  // Takes over a count the caller already holds.
  static ComPtr Adopt(T* object) noexcept {
    ComPtr result;
    result.object_ = object;
    return result;
  }

  void Reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->Release();
  }
  void Swap(ComPtr& other) noexcept { std::swap(object_, other.object_); }
  // Hands the count to the caller.
  T* Detach() noexcept { return std::exchange(object_, nullptr); }

  // Address for an out parameter; releases the current object first.
  T** Put() noexcept {
    Reset();
    return &object_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  // The same object under another interface, or empty when it has none.
  template <class U>
  ComPtr<U> As() const noexcept {
    ComPtr<U> result;
    if (object_) object_->QueryInterface(__uuidof(U), result.PutVoid());
    return result;
  }

  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

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
