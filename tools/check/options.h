// clasp-check's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace clasp::check {

// Exit statuses: ready, a problem found, a command line not understood.
inline constexpr int kExitReady = 0;
inline constexpr int kExitProblems = 1;
inline constexpr int kExitUsage = 2;

// What the command line asks for.
struct Options {
  bool help = false;
  bool json = false;
  std::optional<std::string> manifest_folder;  // check registration-free use there
  std::optional<std::string> certificate;      // compare what is installed with it
  std::string error;                           // not empty: refused, with this reason
};

// Reads the arguments after the program's name.
Options ParseOptions(const std::vector<std::string>& arguments);

// The text --help prints.
std::string Usage();

}  // namespace clasp::check
