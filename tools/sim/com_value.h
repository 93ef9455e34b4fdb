// COM mode of the simulator: owners for the platform's values, and the
// conversion between VARIANT and the simulator's host values.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

#include "host/host_value.h"

namespace clasp::sim {

// Owns one interface pointer.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }
  // Adopts a reference the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr owner;
    owner.p_ = p;
    return owner;
  }
  void Reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // Releases what is held, then hands out the address for an out parameter.
  T** Put() {
    Reset();
    return &p_;
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Owns one BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text)
      : b_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()))) {
    if (!b_ && !text.empty()) throw std::bad_alloc();
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR Get() const { return b_; }
  BSTR* Put() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }
  BSTR Detach() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

// Owns one VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }
  const VARIANT& Get() const { return v_; }

 private:
  VARIANT v_;
};

// Owns the three strings of an EXCEPINFO.
class ExcepInfo {
 public:
  ExcepInfo() = default;
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;
  ~ExcepInfo() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
  }
  EXCEPINFO* Put() { return &info_; }
  // Fills scode and the strings when the callee deferred them.
  const EXCEPINFO& Get() {
    if (info_.pfnDeferredFillIn) {
      info_.pfnDeferredFillIn(&info_);
      info_.pfnDeferredFillIn = nullptr;
    }
    return info_;
  }

 private:
  EXCEPINFO info_{};
};

std::u16string TextOf(BSTR text);

// A VARIANT's value; by-reference values are read through their reference.
HostValue FromVariant(const VARIANT& value);
// Writes `value` into `out`, which holds nothing that needs freeing.
void ToVariant(const HostValue& value, VARIANT* out);

}  // namespace clasp::sim
