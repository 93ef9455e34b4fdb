// What an application or assembly manifest declares, read from its text: the
// platform loads manifests but does not say what they name.
#pragma once

#include <optional>
#include <string_view>

#include "facts.h"

namespace clasp::check {

// Equal but for ASCII case, as the platform compares names, paths and GUIDs.
bool SameText(std::string_view first, std::string_view second);

// The assembly the manifest itself declares.
std::optional<AssemblyIdentity> OwnIdentity(std::string_view manifest);

// The identity of the dependent assembly called `name`, when the manifest has one.
std::optional<AssemblyIdentity> DependencyOn(std::string_view manifest, std::string_view name);

// True when the manifest declares the class `clsid` in the file `file`.
bool DeclaresClass(std::string_view manifest, std::string_view file, std::string_view clsid);

}  // namespace clasp::check
