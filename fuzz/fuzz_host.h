// Host doubles whose every answer comes from the fuzz input: a value of any
// kind, a raised failure, a missing member, or a side effect first (the host
// drops the component, empties one of its references, or rewrites a text it
// was given by reference).
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

namespace clasp::fuzz {

class FuzzHost;

// What the hosts of one fuzz input share, and what they saw of the current call.
struct Session {
  explicit Session(FuzzInput& in) : input(in) {}

  FuzzInput& input;
  Ref<Holdfast> component;        // the harness's count; a host may drop it
  Holdfast* running = nullptr;    // the component while one of its members runs
  std::vector<FuzzHost*> pool;    // hosts an answer may hand out again

  // The card reader's answer in the current call, as a code when it converts.
  bool reader_called = false;
  std::optional<std::int32_t> reader_code;

  // The last host access of the current call.
  struct Access {
    std::u16string member;
    std::optional<Failure> raised;
    bool answer_converts = true;  // ToInt32 of the answer succeeds
  } last;

  int live_hosts = 0;
  int live_payloads = 0;
};

class FuzzHost final : public HostDispatch {
 public:
  static Ref<FuzzHost> Create(Session& session);

  void AddRef() noexcept override { ++count_; }
  void Release() noexcept override {
    if (--count_ == 0) delete this;
  }
  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;

  std::uint32_t RefCount() const { return count_; }

 private:
  explicit FuzzHost(Session& session) : session_(session) { ++session_.live_hosts; }
  ~FuzzHost() { --session_.live_hosts; }

  // Runs the side effects the input asks for, then answers or raises.
  HostValue Act(std::u16string_view member, std::span<const HostValue> args);
  HostValue Answer(std::uint8_t choice);

  std::uint32_t count_ = 1;
  Session& session_;
};

}  // namespace clasp::fuzz
