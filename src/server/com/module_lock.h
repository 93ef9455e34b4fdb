// The module's count of live objects and class-factory locks.
#pragma once

namespace clasp {

// Live objects of ours and factory locks; the module may be unloaded only
// when none remain, since their code lives in it.
void LockModule() noexcept;
void UnlockModule() noexcept;
bool ModuleInUse() noexcept;

// IClassFactory::LockServer: a lock held for a client, or one given back. A
// client's unlock without a lock of its own is ignored, so that it cannot
// take a live object's count from the module.
void LockServer(bool lock) noexcept;

// Keeps the module whose code holds `address` loaded until the process ends.
// A module linked statically against the MinGW runtime takes a TLS slot on
// every load and never gives it back: unloaded and loaded again once per
// apartment, it runs the process out of slots after about a thousand loads.
// It also keeps an unload from pulling code from under a thread still
// returning through it. Should pinning fail, unloading stays possible.
void PinModuleOf(const void* address) noexcept;

}  // namespace clasp
