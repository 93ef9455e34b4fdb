// A bound on how deeply the component's members nest on one thread.
#pragma once

namespace clasp {

// Calls the component's members past this depth on one thread fail with
// kOutOfStackSpace. A host may call back in (a nested Cols from its reader, a
// display that is itself a component), but a loop of such objects would
// otherwise recurse until the thread's stack is gone, which no host survives.
// Fifty nested calls are well within real use; a level costs a few kilobytes
// of stack through COM, so this many fit the smallest host thread stacks.
inline constexpr int kNestingLimit = 100;

// Counts one level for its lifetime; raises kOutOfStackSpace, counting
// nothing, when the thread is already kNestingLimit levels deep. The count is
// the thread's, not an instance's: two instances can call each other.
class NestingGuard {
 public:
  NestingGuard();
  ~NestingGuard();
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

}  // namespace clasp
