// Who the component is to the platform: class, library and interface identities.
// Fixed for good: hosts and registrations out there depend on every one of them.
#pragma once

#include <windows.h>

#include <string_view>

#include "holdfast_idl.h"  // generated from holdfast.idl: CLSID_Holdfast, LIBID_Clasp, IID__Holdfast
#include "server/guid_text.h"
#include "server/registration_table.h"

namespace clasp {

// The interface identifiers of Holdfast___v0 (1.0) and Holdfast___v1 (1.1) in holdfast.idl.
inline constexpr GUID kIidHoldfastV0 = GuidFromText(registration::kIidV0);
inline constexpr GUID kIidHoldfastV1 = GuidFromText(registration::kIidV1);

inline constexpr std::u16string_view kProgId = registration::kProgId;
inline constexpr std::u16string_view kClassName = registration::kClassName;
inline constexpr std::u16string_view kInterfaceName = registration::kInterfaceName;
inline constexpr std::u16string_view kThreadingModel = registration::kThreadingModel;

inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 2;
inline constexpr LCID kTypeLibLocale = 0x0409;

}  // namespace clasp
