// Reading the conversion corpus: one value per line, as kind and payload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_value.h"

namespace clasp::platform_test {

// One corpus value, kept in the fields both sides build their value from.
struct Case {
  std::string line;     // as written in the corpus, for messages
  std::string source;   // file:line
  Kind kind = Kind::kEmpty;
  std::int64_t integer = 0;  // integral kinds, truth (0/1) and raw currency
  double real = 0;           // R4, R8, dates
  std::u16string text;
  Decimal decimal;
};

// Parses one line; false for blank lines and comments. Throws
// std::invalid_argument for a line it cannot read.
bool ParseCase(std::string_view line, Case& out);

// Every case of every *.txt file in `directory`, in file-name order.
std::vector<Case> ReadCorpus(const std::string& directory);

// The corpus line for a text value (the form the fuzzer writes).
std::string TextLine(std::u16string_view text);

// The value the core sees.
HostValue ToHostValue(const Case& c);

}  // namespace clasp::platform_test
