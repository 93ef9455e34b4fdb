// What a DLL file says about itself: its bitness and its file version.
#pragma once

#include <optional>
#include <string>

namespace clasp::check {

// 32 or 64 for a Windows module for x86 or x86-64; 0 for anything else.
int ModuleBits(const std::wstring& path);

// The numeric file version ("1.0.0.0"), when the file has a version resource.
std::optional<std::string> FileVersion(const std::wstring& path);

}  // namespace clasp::check
