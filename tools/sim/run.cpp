#include "sim/run.h"

#include <array>

#include "host/text.h"
#include "sim/inside_failures.h"

namespace clasp::sim {
namespace {

constexpr const char* kHoldfast = "Holdfast";

// Runs one of the component's own members, recording it as an access of the
// host to the component; the host accesses it causes are numbered apart.
template <class Action>
bool HostCall(World& world, std::vector<Event>& into, Event event, Action action) {
  const std::size_t before = world.events.size();
  bool ok = true;
  try {
    action(event);
  } catch (const Failure& failure) {
    event.failure = failure;
    ok = false;
  }
  world.join_inside_failures();
  // The component's member comes first, then what it did on the hosts.
  std::vector<Event> caused(world.events.begin() + static_cast<std::ptrdiff_t>(before),
                            world.events.end());
  world.events.resize(before);
  into.push_back(std::move(event));
  into.insert(into.end(), caused.begin(), caused.end());
  return ok;
}

Event HoldfastEvent(std::string member, Access access) {
  Event event;
  event.object = kHoldfast;
  event.member = std::move(member);
  event.access = access;
  return event;
}

}  // namespace

Report Run(const Scenario& scenario, Component& component, LogFiles files,
           const RealHosts& real) {
  World world(scenario, std::move(files));
  std::array<Ref<SimHost>, kHostRoleCount> hosts;
  std::array<HostObject, kHostRoleCount> assigned;
  Report report;
  report.scenario = scenario.name;
  report.description = scenario.description;

  // Failures raised inside the component join the record where they happened.
  std::vector<InsideFailure> raised;
  const bool told = component.TakeInsideFailures(raised);
  if (told) {
    world.join_inside_failures = [&world, &component, &raised] {
      raised.clear();
      component.TakeInsideFailures(raised);
      for (const InsideFailure& inside : raised) world.events.push_back(InsideFailureEvent(inside));
    };
  }

  for (int i = 0; i < kHostRoleCount; ++i) {
    const auto role = static_cast<HostRole>(i);
    Event event = HoldfastEvent(std::string(RoleProperty(role)), Access::kPut);
    if (scenario.unset.contains(role)) {
      event.skipped = true;
      event.notes.push_back("never assigned: the scenario leaves it unset");
      report.setup.push_back(std::move(event));
      continue;
    }
    if (const auto own = real.find(role); own != real.end()) {
      assigned[i] = MakeRecordingProxy(role, own->second.object, world, own->second.handed);
      event.notes.push_back(own->second.name + " (your own " + std::string(RoleTitle(role)) + ")");
    } else {
      hosts[i] = SimHost::Create(role, world);
      assigned[i] = HostObject(hosts[i].Get());
      event.notes.push_back("the simulated " + std::string(RoleTitle(role)));
    }
    HostCall(world, report.setup, std::move(event),
             [&](Event&) { component.Assign(role, assigned[i]); });
  }
  if (scenario.screen_no) {
    Event event = HoldfastEvent("ScreenNo", Access::kPut);
    event.args.push_back(HostValue::Text(*scenario.screen_no));
    HostCall(world, report.setup, std::move(event),
             [&](Event&) { component.ScreenNo(*scenario.screen_no); });
  }
  for (int slot = 0; slot < kDisplayValueCount; ++slot) {
    const auto& value = scenario.display_values[slot];
    if (!value) continue;
    Event event = HoldfastEvent("DisapleVal0" + std::to_string(slot + 1), Access::kPut);
    event.args.push_back(*value);
    HostCall(world, report.setup, std::move(event),
             [&](Event&) { component.DisplayValue(slot, *value); });
  }

  HostCall(world, report.step, HoldfastEvent("Cols", Access::kCall), [&](Event& event) {
    const std::int32_t result = component.Cols();
    event.answer = HostValue::I4(result);
    report.outcome.result = result;
  });
  if (!report.outcome.result) report.outcome.failure = report.step.front().failure;
  if (!told) {
    PlaceInsideFailures(report.setup, scenario.unset);
    PlaceInsideFailures(report.step, scenario.unset);
  }
  NoteInsideFailures(report.setup, {});
  NoteInsideFailures(report.step, report.outcome);

  for (int i = 0; i < kHostRoleCount; ++i) {
    if (!hosts[i]) continue;  // unset, or a real object that keeps its own state
    for (auto& line : hosts[i]->State()) report.state.push_back(std::move(line));
  }
  report.files = world.files.Written();
  return report;
}

}  // namespace clasp::sim
