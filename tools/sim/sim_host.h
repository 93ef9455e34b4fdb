// Simulated host objects: answers from the scenario, effects on real files,
// and one transcript line per access.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/host_object.h"
#include "host/host_value.h"
#include "host/ref.h"
#include "sim/catalogue.h"
#include "sim/log_files.h"
#include "sim/report.h"
#include "sim/scenario.h"

namespace clasp::sim {

// What the five hosts share: the settings, the files and the ordered record.
struct World {
  World(const Scenario& s, LogFiles f) : scenario(s), files(std::move(f)) {}
  const Scenario& scenario;
  LogFiles files;
  std::vector<Event> events;
  int next_number = 1;
  // Joins what the component raised itself to `events`, where it happened:
  // called before each host access is recorded and after each of the
  // component's members.
  std::function<void()> join_inside_failures = [] {};
};

// The common part of the five hosts: finding members, raising and leaving
// out what the scenario says, properties that keep what is put, recording.
class SimHost : public RefCounted<SimHost, HostDispatch> {
 public:
  // Makes the host for `role`, with one count owned by the returned reference.
  static Ref<SimHost> Create(HostRole role, World& world);

  HostValue Invoke(std::u16string_view member, std::span<const HostValue> args) override;
  void Put(std::u16string_view member, const HostValue& value) override;

  // Finds a member the way automation does (ignoring case). A name the host
  // does not have, or one the scenario left out, is recorded and gives nothing.
  std::optional<std::size_t> Resolve(std::u16string_view member);
  // Invoke and Put by member index, after Resolve; bindings that look names up
  // once and call by number use these.
  HostValue InvokeMember(std::size_t index, std::span<const HostValue> args);
  void PutMember(std::size_t index, const HostValue& value);

  HostRole Role() const { return role_; }
  // Lines for the "afterwards" part of the transcript.
  virtual std::vector<StateLine> State() const { return {}; }

 protected:
  friend RefCounted;
  SimHost(HostRole role, World& world);
  virtual ~SimHost() = default;

  // A method's work; `configured` is the scenario's answer, if any. Notes go
  // to `event`.
  virtual HostValue Act(std::string_view member, std::span<const HostValue> args,
                        const HostValue* configured, Event& event) = 0;
  // After a property was assigned; the default says nothing.
  virtual void Assigned(std::string_view, const HostValue&, Event&) {}

  const HostValue* Property(std::string_view member) const;
  void SetProperty(std::string_view member, HostValue value);
  // Sets a property unless the scenario gave it a value of its own.
  void SetDefault(std::string_view member, HostValue value);
  bool Configured(std::string_view member) const;
  World& world_;

 private:
  Event NewEvent(std::string_view member, Access access) const;
  void Record(Event event);

  HostRole role_;
  std::map<std::string, HostValue, std::less<>> properties_;
};

// A value for transcripts and files: numbers as digits, text in quotes.
std::string ShowValue(const HostValue& value);
// The value as a result code, when it converts to one.
std::optional<std::int32_t> CodeOf(const HostValue& value);
// A value with its kind, as the transcript shows arguments: `I2 420`, `&Text "x"`.
std::string ShowTyped(const HostValue& value, bool by_ref = false);
// The value with its kind as JSON: {"kind": "I2", "value": 420}, "byref" when so.
nlohmann::ordered_json ValueJson(const HostValue& value, bool by_ref = false);
// ValueJson of a property, or null when it was never set.
nlohmann::ordered_json ValueJson(const HostValue* value);

}  // namespace clasp::sim
