// The failure number of a call, for tables that expect one.
#pragma once

#include <cstdint>

#include "host/failure.h"

namespace clasp::testing {

// The number `call` fails with; 0 when it does not fail.
std::int32_t FailureOf(auto&& call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure.Number();
  }
  return 0;
}

}  // namespace clasp::testing
