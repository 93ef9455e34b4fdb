// The module as a whole: its file, its lock count and its type library.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "server/com/module_lock.h"
#include "server/com/owners.h"

namespace clasp {

// Remembers the module handle the loader gave us.
void SetModule(HMODULE module) noexcept;
// Full path of Holdfast.dll as loaded.
std::u16string ModulePath();

// Our own type library, read from the module's TYPELIB resource.
ComPtr<ITypeLib> LoadOwnTypeLibrary();
// Type information of _Holdfast, loaded once and shared by all instances.
ComPtr<ITypeInfo> HoldfastTypeInfo();
// Loads it as HoldfastTypeInfo does, raising the same failure, but hands out
// no count: for a call that needs it only when something goes wrong.
void RequireHoldfastTypeInfo();
// Drops the shared type information when the module is unloaded.
void ReleaseHoldfastTypeInfo() noexcept;

}  // namespace clasp
