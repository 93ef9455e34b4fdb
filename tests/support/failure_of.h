// The failure number of a call, for tables that expect one.
#pragma once

#include <cstdint>
#include <string>

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

// The text `call` answers, or "fails N" when it raises failure N: conversion
// rows then read as text ("12", "\"x\"", "fails 13").
std::string TextOrFailure(auto&& call) {
  try {
    return call();
  } catch (const Failure& failure) {
    return "fails " + std::to_string(failure.Number());
  }
}

}  // namespace clasp::testing
