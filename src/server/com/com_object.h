// The one base of every COM object this code makes: one atomic count, the
// module lock, and QueryInterface answered from the object's interface table.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>
#include <utility>

#include "host/ref.h"
#include "server/com/module_lock.h"

namespace clasp {

// `Self` derives from ComObject<Self, Interfaces...> and provides
//   void* Interface(REFIID iid) noexcept;
// its interface table: the pointer that answers `iid`, or null. IUnknown is
// answered with the first interface. Objects live on the heap only, made by
// Make, and go when their last count does.
template <class Self, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // A new object holding the one count the result owns; Failure or
  // std::bad_alloc when it cannot be made.
  template <class... Args>
  static Ref<Self> Make(Args&&... args) {
    return Ref<Self>::Adopt(new Self(std::forward<Args>(args)...));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = iid == __uuidof(IUnknown) ? First() : static_cast<Self*>(this)->Interface(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override {
    return count_.fetch_add(1, std::memory_order_relaxed) + 1;
  }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }

 protected:
  ComObject() noexcept { LockModule(); }
  ~ComObject() { UnlockModule(); }

 private:
  template <class FirstInterface, class...>
  struct Front {
    using Type = FirstInterface;
  };
  void* First() noexcept { return static_cast<typename Front<Interfaces...>::Type*>(this); }

  std::atomic<ULONG> count_{1};
};

}  // namespace clasp
