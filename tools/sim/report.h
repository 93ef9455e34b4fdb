// What one simulated run produced: every access in order, the result, the host
// state afterwards and the files written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/failure.h"
#include "host/host_value.h"

namespace clasp::sim {

// How a member was reached: a property read, a method call, an assignment.
enum class Access { kGet, kCall, kPut };

// One access, by the host to the component (object "Holdfast") or by the
// component to a host object.
struct Event {
  std::string object;
  std::string member;
  Access access = Access::kCall;
  // Copies of the arguments (of the assigned value for kPut); by-reference
  // text is kept as the text it held when the member was reached.
  std::vector<HostValue> args;
  std::vector<bool> by_ref;
  std::optional<HostValue> answer;
  std::optional<Failure> failure;
  // The object has no member of that name (or the scenario left it out).
  bool missing = false;
  // The host left this step out (a host object it never assigns).
  bool skipped = false;
  // A failure the component raised itself on reaching a host field the host
  // never assigned; `object` names the field, no host was called.
  bool raised_inside = false;
  // What the simulated host did, in words (UTF-8).
  std::vector<std::string> notes;
  // Host-side accesses are numbered from 1; the host's own calls are not.
  int number = 0;
};

// The answer of Cols, or the failure that escaped it.
struct Outcome {
  std::optional<std::int32_t> result;
  std::optional<Failure> failure;
};

// A file the hosts appended to, and how many lines.
struct FileWritten {
  std::string path;
  int lines = 0;
};

// Everything a transcript shows, in the order it shows it.
struct Report {
  std::string scenario;
  std::string description;
  std::vector<Event> setup;
  std::vector<Event> step;
  Outcome outcome;
  // "StepRunModul.TransAction1" -> `Text "0010"`, in a fixed order.
  std::vector<std::pair<std::string, std::string>> state;
  std::vector<FileWritten> files;
};

// What a result code of Cols means, for the last line of a transcript.
std::string ResultMeaning(std::int32_t result);

}  // namespace clasp::sim
