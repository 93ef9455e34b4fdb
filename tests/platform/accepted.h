// The disagreements with the platform that the core keeps on purpose, each
// with its reason.
#pragma once

#include <string>
#include <vector>

#include "corpus.h"

namespace clasp::platform_test {

// A disagreement we keep on purpose: where the platform's conversion is not
// what a host of this component expects, or is a fault of the platform's own.
struct Accepted {
  const char* check;  // "ToInt32", "ToText" or "Compare"
  const char* reason;
  bool (*applies)(const Case&, const std::string& core, const std::string& platform);
  bool only_64_bit = false;  // shown by the 64-bit platform only
};

inline constexpr bool k64Bit = sizeof(void*) == 8;

// Every accepted disagreement, in the order the report lists them.
const std::vector<Accepted>& AcceptedDisagreements();

}  // namespace clasp::platform_test
