// The native host double answering from the fuzz input: every access gets a
// value of any kind, a raised failure, a missing member, or a side effect first
// (the host drops the component, empties one of its references, or rewrites a
// text it was given by reference).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "component/holdfast.h"
#include "fuzz_input.h"
#include "host/failure.h"
#include "host/host_object.h"
#include "host/host_value.h"
#include "host/ref.h"
#include "support/recording_host.h"

namespace clasp::fuzz {

using testing::RecordingHost;

// What the hosts of one fuzz input share, and what they saw of the current call.
struct Session {
  explicit Session(FuzzInput& in) : input(in) {}

  FuzzInput& input;
  Ref<Holdfast> component;           // the harness's count; a host may drop it
  Holdfast* running = nullptr;       // the component while one of its members runs
  std::vector<RecordingHost*> pool;  // hosts an answer may hand out again

  // The card reader's answer in the current call, as a code when it converts.
  bool reader_called = false;
  std::optional<std::int32_t> reader_code;

  // The last host access of the current call.
  struct Access {
    std::u16string member;
    std::optional<Failure> raised;
    bool answer_converts = true;  // ToInt32 of the answer succeeds
  } last;

  int live_hosts = 0;  // each host holds one source of answers, counted here
  int live_payloads = 0;
};

// A host whose answers come from the session's input.
Ref<RecordingHost> MakeHost(Session& session);

}  // namespace clasp::fuzz
