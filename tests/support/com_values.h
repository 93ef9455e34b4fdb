// VARIANT makers for what test and benchmark hosts answer and what their
// callers pass, each handed back owned.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>
#include <vector>

#include "server/com/owners.h"

namespace clasp::testing {

// A 2-byte integer, as a script literal arrives.
Variant MakeI2(SHORT value);
// A 4-byte integer.
Variant MakeI4(LONG value);
// A BSTR holding `text`, embedded NULs kept.
Variant MakeText(std::wstring_view text);
// A date (days since 30 December 1899, the fraction the time of day).
Variant MakeDate(DATE value);
// Currency, given scaled by 10000 as the platform stores it.
Variant MakeCurrency(LONGLONG scaled);
// A decimal from its parts: value = (high * 2^64 + low) / 10^scale.
Variant MakeDecimal(BYTE scale, bool negative, ULONG high, ULONGLONG low);
// A one-dimensional byte array.
Variant MakeBytes(const std::vector<BYTE>& bytes);
// An object reference; the VARIANT holds a count of its own.
Variant MakeDispatch(IDispatch* object);

}  // namespace clasp::testing
