// SHA-256 of a file, as a change-control record names a module: the same
// digest `sha256sum` prints, so that a bank can check it with its own tools.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace clasp::tools {

// The digest of `bytes` in lower-case hexadecimal.
std::string Sha256Hex(std::string_view bytes);

// The digest of the file at `path`; nothing when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::filesystem::path& path);

}  // namespace clasp::tools
