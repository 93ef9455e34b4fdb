// What the platform's own automation run time makes of a corpus value.
#pragma once

#include <cstdint>
#include <string>

#include "corpus.h"
#include "host/convert.h"

namespace clasp::platform_test {

// Outcomes are short readable texts so that both sides compare as strings:
// "12", "\"text\"", "fails 13" (type mismatch), "fails 6" (overflow), "<", "=",
// ">" and "null" for comparisons.
std::string PlatformToInt32(const Case& c);
std::string PlatformToText(const Case& c);
// The host's `value = constant` test with a typed integer constant: text is
// read as a double first (a text that is no number fails), everything else
// compares directly.
std::string PlatformCompare(const Case& c, std::int32_t constant);

// The same three through the core, with the same spelling of outcomes: its
// own rules unless it is handed the server's.
std::string CoreToInt32(const Case& c, Conversions convert = Conversions());
std::string CoreToText(const Case& c, Conversions convert = Conversions());
std::string CoreCompare(const Case& c, std::int32_t constant,
                        Conversions convert = Conversions());

// The same conversions of an object whose default member answers the case's
// value. The platform's side converts it with oleaut32, which reads the
// default member itself; its comparison (VarCmp) reads no default member, so
// the host's `object = constant` is the comparison of what the member answers.
std::string PlatformObjectToInt32(const Case& c);
std::string PlatformObjectToText(const Case& c);
std::string PlatformObjectCompare(const Case& c, std::int32_t constant);

// How the core meets such an object: as a host object of its own (native
// hosts), or as the platform's IDispatch wrapped by the server's adapter.
enum class ObjectPath { kCore, kDispatch };
std::string CoreObjectToInt32(const Case& c, ObjectPath path);
std::string CoreObjectToText(const Case& c, ObjectPath path);
std::string CoreObjectCompare(const Case& c, std::int32_t constant, ObjectPath path);

// Quoted UTF-8 form of a text outcome, with control and non-ASCII characters escaped.
std::string Quote(std::u16string_view text);

}  // namespace clasp::platform_test
