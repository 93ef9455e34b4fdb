// What one simulated run produced: every access in order, the result, the host
// state afterwards and the files written.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "host/failure.h"
#include "host/host_value.h"

namespace clasp::sim {

// How a member was reached: a property read, a method call, an assignment.
enum class Access { kGet, kCall, kPut };

// What the certification bench hands the component in place of an
// integrator's own answer, so that a road is taken whatever their object
// answered: an answer, or a failure to raise.
struct Handed {
  std::optional<HostValue> answer;
  std::optional<Failure> failure;
};

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
  // never assigned; `object` names the field, `member` what the step was
  // reaching on it. No host was called.
  bool raised_inside = false;
  // Set when the bench handed the component this instead of `answer` or
  // `failure`, which stay what the integrator's object did.
  std::optional<Handed> handed;
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

// One line of the hosts' state afterwards: words for the transcript, and the
// same as values with their kinds for JSON (an object whose keys are merged
// into "afterwards"; null stands for a property never set).
struct StateLine {
  std::string name;
  std::string shown;
  // Only declared here, so that the many files that include this header do not
  // each compile the JSON library: those that fill or read it include it.
  std::shared_ptr<const nlohmann::ordered_json> values;
};

// Everything a transcript shows, in the order it shows it.
struct Report {
  std::string scenario;
  std::string description;
  std::vector<Event> setup;
  std::vector<Event> step;
  Outcome outcome;
  // "StepRunModul.TransAction1" shown as `"0010"`, in a fixed order.
  std::vector<StateLine> state;
  std::vector<FileWritten> files;
};

// What the result code of Cols means, for the last line of a transcript. It is
// judged from what happened, not from the number alone: the reader may answer
// any number, the step's own 10140003 and 10010003 included.
std::string ResultMeaning(const Report& report);

}  // namespace clasp::sim
