// A class factory for one class: refuses aggregation and null out-pointers
// before any work, and counts itself and its locks against unloading.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "server/com/com_object.h"
#include "server/com/error.h"

namespace clasp {

// Makes a new instance and asks it for `iid`.
using CreateFunction = HRESULT (*)(REFIID iid, void** out);

template <CreateFunction Create>
class ClassFactory final : public ComObject<ClassFactory<Create>, IClassFactory> {
 public:
  // A new factory asked for `iid`; the factory lives as long as its references.
  static HRESULT Make(REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] { return ClassFactory::ComObject::Make()->QueryInterface(iid, out); });
  }

  void* Interface(REFIID iid) noexcept {
    return iid == __uuidof(IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                           void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return Create(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) noexcept override {
    clasp::LockServer(lock != FALSE);
    return S_OK;
  }

 private:
  friend class ComObject<ClassFactory<Create>, IClassFactory>;
  ClassFactory() noexcept = default;
  ~ClassFactory() = default;
};

}  // namespace clasp
