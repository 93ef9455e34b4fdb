// A counted reference to an object with AddRef and Release of its own: core host
// objects and, in the Windows binding, COM interfaces alike.
#pragma once

#include <utility>

namespace clasp {

// Owns one count on T; copying adds a count, destruction or reassignment drops it.
template <class T>
class Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}  // NOLINT: empty reference reads naturally
  // Takes a new count on `object` (the caller keeps its own).
  explicit Ref(T* object) noexcept : object_(object) {
    if (object_) object_->AddRef();
  }
  Ref(const Ref& other) noexcept : Ref(other.object_) {}
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& other) noexcept : Ref(other.Get()) {}  // NOLINT: upcast
  ~Ref() { Reset(); }

  Ref& operator=(const Ref& other) noexcept {
    Ref(other).Swap(*this);
    return *this;
  }
  Ref& operator=(Ref&& other) noexcept {
    Ref(std::move(other)).Swap(*this);
    return *this;
  }

  // Adopts a count the caller already holds.
  static Ref Adopt(T* object) noexcept {
    Ref ref;
    ref.object_ = object;
    return ref;
  }

  void Reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->Release();
  }
  void Swap(Ref& other) noexcept { std::swap(object_, other.object_); }
  // Hands the count to the caller.
  T* Detach() noexcept { return std::exchange(object_, nullptr); }
  // Address for an out parameter that hands over a count; drops the current one first.
  T** Put() noexcept {
    Reset();
    return &object_;
  }
  // The same address for out parameters typed void** (QueryInterface and its kin).
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  friend bool operator==(const Ref& a, const Ref& b) noexcept {
    return a.object_ == b.object_;
  }

 private:
  T* object_ = nullptr;
};

}  // namespace clasp
