// The module's count of live objects and class-factory locks.
#pragma once

namespace clasp {

// Live objects of ours and factory locks; the module may be unloaded only
// when none remain, since their code lives in it.
void LockModule() noexcept;
void UnlockModule() noexcept;
bool ModuleInUse() noexcept;

}  // namespace clasp
