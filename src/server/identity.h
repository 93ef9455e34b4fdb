// Who the component is to the platform: class, library and interface identities.
// Fixed for good: hosts and registrations out there depend on every one of them.
#pragma once

#include <windows.h>

#include <string_view>

#include "holdfast_idl.h"  // generated from holdfast.idl: CLSID_Holdfast, LIBID_Clasp, IID__Holdfast

namespace clasp {

// The interface identifiers of Holdfast___v0 (1.0) and Holdfast___v1 (1.1) in holdfast.idl.
inline constexpr GUID kIidHoldfastV0 = {
    0x44965D7D, 0x2220, 0x4EAA, {0x8C, 0x31, 0x9F, 0x19, 0x4D, 0xF3, 0xF3, 0xC8}};
inline constexpr GUID kIidHoldfastV1 = {
    0x7ED3A0C2, 0x565A, 0x4A1A, {0xA8, 0x32, 0x84, 0x15, 0x6A, 0x9C, 0xC1, 0x8F}};

inline constexpr std::u16string_view kProgId = u"Clasp.Holdfast";
inline constexpr std::u16string_view kClassName = u"Holdfast";
inline constexpr std::u16string_view kInterfaceName = u"_Holdfast";
inline constexpr std::u16string_view kThreadingModel = u"Apartment";
// Source of the error objects our members leave for their callers.
inline constexpr std::u16string_view kErrorSource = u"Clasp.Holdfast";

inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 2;
inline constexpr LCID kTypeLibLocale = 0x0409;

}  // namespace clasp
