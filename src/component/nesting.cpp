#include "component/nesting.h"

#include "host/failure.h"

namespace clasp {
namespace {

thread_local int t_depth = 0;

}  // namespace

NestingGuard::NestingGuard() {
  if (t_depth >= kNestingLimit) throw Failure::Standard(kOutOfStackSpace);
  ++t_depth;
}

NestingGuard::~NestingGuard() { --t_depth; }

}  // namespace clasp
