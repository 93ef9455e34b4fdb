// A counted reference to an object with AddRef and Release of its own: core host
// objects and, in the Windows binding, COM interfaces alike; and RefCounted,
// the one count that the core's own counted objects derive from.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
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

// The count of an object only one thread touches at a time, and of one that
// several threads may hold and let go of at once.
using LocalCount = std::uint32_t;
using SharedCount = std::atomic<std::uint32_t>;

// What a class counted on its own derives through: it implements no interface.
struct NoInterface {};

// AddRef and Release for `Self`: those `Interface` declares (HostDispatch), or
// with NoInterface a class's own. The count starts at the one its maker holds
// and `Self` is deleted with the last; a `Self` whose destructor is private
// names RefCounted its friend.
template <class Self, class Interface = NoInterface, class Count = LocalCount>
class RefCounted : public Interface {
 public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  void AddRef() noexcept {
    if constexpr (std::is_same_v<Count, LocalCount>) {
      ++count_;
    } else {
      count_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  void Release() noexcept {
    std::uint32_t left;
    if constexpr (std::is_same_v<Count, LocalCount>) {
      left = --count_;
    } else {
      // Whatever this thread wrote to the object is seen by the one that deletes it.
      left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    }
    if (left == 0) delete static_cast<Self*>(this);
  }

 protected:
  RefCounted() = default;
  ~RefCounted() = default;
  // The counts held now; a test double makes it public (using RefCounted::RefCount)
  // so that a test can check every count taken came back.
  std::uint32_t RefCount() const noexcept { return count_; }

 private:
  Count count_{1};
};

}  // namespace clasp
