// Every allocation of every road of Cols and of every member, failed in turn:
// N = 1, 2, 3, ... until a run completes with nothing failed. Each run must
// end in the road's normal outcome, in 10010003 with failure 7 traced, or in
// an out-of-memory failure raised to the caller; never a crash, a leak or an
// unbalanced host count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "component/holdfast.h"
#include "host/convert.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/allocation_injector.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace std::literals;
using testing::AllocationFailed;
using testing::FailAllocation;
using testing::HostSet;
using testing::LiveAllocations;
using testing::RecordingHost;
using testing::Uninjected;

constexpr std::int32_t kHostRaise = 1234;
constexpr std::int32_t kDeviceFault = 5;
// The runs of one road stop here at the latest: a road that never completes
// unfailed is a fault of its own.
constexpr std::uint64_t kMostPoints = 10000;

// What the step objects answer, each member by name; what they run is the
// hosts', so none of their allocations is injected.
struct Answers {
  std::int32_t display = 0;
  std::int32_t reader = kRetained;
  std::vector<std::u16string> raising;  // the members that fail
  std::u16string last_trace;

  HostValue Answer(std::u16string_view member, std::span<const HostValue> args, bool put) {
    const Uninjected host_side;
    if (std::ranges::find(raising, member) != raising.end()) throw Failure(kHostRaise, u"boom");
    if (put) return HostValue::Empty();
    if (member == u"TraceWrite"sv && args.size() > 1) last_trace = ToText(args[1]);
    if (member == u"ScreenDisplay"sv) return HostValue::I4(display);
    if (member == u"CardReaderRetain"sv) return HostValue::I4(reader);
    if (member == u"TransAction1"sv) return HostValue::Text(u"0000"s);
    return HostValue::Empty();
  }
};

// What one run ended in.
struct Outcome {
  std::optional<std::int32_t> result;  // Cols' answer, when it answered
  std::optional<std::int32_t> raised;  // the failure's number, when it raised
};

struct Road {
  const char* name;
  std::function<void(Answers&)> arrange;
  // Runs the road's call on an instance whose hosts are assigned.
  std::function<std::int32_t(Holdfast&)> call;
  Outcome normal;
};

std::int32_t RunCols(Holdfast& holdfast) { return holdfast.Cols(); }
std::int32_t Nothing(Holdfast&) { return 0; }

const Road kRoads[] = {
    {"capture", [](Answers&) {}, RunCols, {kRetained, {}}},
    {"not retained", [](Answers& a) { a.reader = kNotRetained; }, RunCols, {kNotRetained, {}}},
    {"device fault", [](Answers& a) { a.reader = kDeviceFault; }, RunCols, {kDeviceFault, {}}},
    {"display failure", [](Answers& a) { a.display = 1; }, RunCols, {kDisplayFailure, {}}},
    {"failure path", [](Answers& a) { a.raising = {u"CardReaderRetain"}; }, RunCols,
     {kFailure, {}}},
    {"failure in the failure path",
     [](Answers& a) { a.raising = {u"CardReaderRetain", u"JournalWriteMsg"}; },
     RunCols, {{}, kHostRaise}},
    {"StepDisp", [](Answers&) {},
     [](Holdfast& c) { return c.StepDisp(HostObject()), 0; }, {0, {}}},
    {"StepMks", [](Answers&) {}, [](Holdfast& c) { return c.StepMks(HostObject()), 0; }, {0, {}}},
    {"StepRunModul", [](Answers&) {},
     [](Holdfast& c) { return c.StepRunModul(HostObject()), 0; }, {0, {}}},
    {"StepTrac", [](Answers&) {}, [](Holdfast& c) { return c.StepTrac(HostObject()), 0; },
     {0, {}}},
    {"StepJour", [](Answers&) {}, [](Holdfast& c) { return c.StepJour(HostObject()), 0; },
     {0, {}}},
    {"DisapleVal01", [](Answers&) {},
     [](Holdfast& c) { return c.DisapleVal01(HostValue::Text(u"银行卡 1234"s)), 0; }, {0, {}}},
    {"DisapleVal02", [](Answers&) {},
     [](Holdfast& c) { return c.DisapleVal02(HostValue::R8(2.5)), 0; }, {0, {}}},
    {"DisapleVal03", [](Answers&) {},
     [](Holdfast& c) { return c.DisapleVal03(HostValue::Null()), 0; }, {0, {}}},
    {"DisapleVal04", [](Answers&) {},
     [](Holdfast& c) { return c.DisapleVal04(HostValue::Text(std::u16string(300, u'x'))), 0; },
     {0, {}}},
    {"ScreenNo", [](Answers&) {}, [](Holdfast& c) { return c.ScreenNo(u" 1,234.5 "s), 0; },
     {0, {}}},
    {"release", [](Answers&) {}, Nothing, {0, {}}},
};

bool Same(const Outcome& a, const Outcome& b) { return a.result == b.result && a.raised == b.raised; }

// One run of `road` with the nth allocation failed (0: none). Returns whether
// an allocation was failed.
bool RunOnce(const Road& road, std::uint64_t nth) {
  const std::int64_t live_before = LiveAllocations();
  Outcome outcome;
  bool failure_traced = false;
  {
    Answers answers;
    road.arrange(answers);
    const HostSet hosts(nullptr);
    for (RecordingHost* host : hosts.All()) {
      host->AnswersFrom([&answers](std::u16string_view member, std::span<const HostValue> args,
                                   bool put) { return answers.Answer(member, args, put); });
    }
    Ref<Holdfast> holdfast = Holdfast::Create();
    hosts.GiveTo(*holdfast);
    FailAllocation(nth);
    try {
      outcome.result = road.call(*holdfast);
    } catch (const Failure& failure) {
      outcome.raised = failure.Number();
    } catch (const std::bad_alloc&) {
      outcome.raised = kOutOfMemory;
    } catch (...) {
      ADD_FAILURE() << "an exception that is neither a failure nor out of memory";
    }
    // The last release belongs to the road too: it frees what the call made.
    holdfast.Reset();
    FailAllocation(0);
    EXPECT_TRUE(hosts.Balanced(1)) << "host counts after point " << nth;
    failure_traced = answers.last_trace.ends_with(u"7Out of memory");
  }
  EXPECT_EQ(LiveAllocations(), live_before) << "leak after point " << nth;
  const bool failed = nth != 0 && AllocationFailed();
  if (!failed) {
    EXPECT_TRUE(Same(outcome, road.normal)) << "unfailed run";
    return false;
  }
  const bool normal = Same(outcome, road.normal);
  const bool out_of_memory = outcome.raised == kOutOfMemory;
  // The failure path caught it: the trace says so with the number hosts know.
  const bool failure_path =
      outcome.result == kFailure && (failure_traced || road.normal.result == kFailure);
  EXPECT_TRUE(normal || out_of_memory || failure_path)
      << "point " << nth << ": answered "
      << (outcome.result ? std::to_string(*outcome.result) : "nothing") << ", raised "
      << (outcome.raised ? std::to_string(*outcome.raised) : "nothing");
  return true;
}

TEST(AllocationFailure, EveryPointOfEveryRoadIsSurvived) {
  std::uint64_t points = 0;
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    // A first run with nothing failed settles what the program keeps for good.
    RunOnce(road, 0);
    std::uint64_t nth = 1;
    while (nth < kMostPoints && RunOnce(road, nth)) ++nth;
    EXPECT_LT(nth, kMostPoints) << "never ran to the end unfailed";
    points += nth - 1;
    if (std::getenv("CLASP_INJECTION_VERBOSE")) std::printf("  %s: %llu points\n", road.name, static_cast<unsigned long long>(nth - 1));
    if (::testing::Test::HasFailure()) break;  // one road's faults are enough to read
  }
  std::printf("allocation failures: %llu points over %zu roads, %s\n",
              static_cast<unsigned long long>(points), std::size(kRoads),
              ::testing::Test::HasFailure() ? "NOT all survived" : "all survived");
  EXPECT_GT(points, std::size(kRoads)) << "the injector failed nothing: is it linked?";
}

}  // namespace
}  // namespace clasp

namespace clasp {
namespace {

// Reporting a failure must work when memory is gone: taking the failure in
// flight (a host's, or running out itself) may not allocate at all.
TEST(AllocationFailure, TakingTheFailureInFlightNeedsNoMemory) {
  const struct {
    const char* name;
    std::function<void()> raise;
    std::int32_t number;
  } cases[] = {
      {"a host's failure", [] { throw Failure(kHostRaise, u"a description too long to be short"); },
       kHostRaise},
      {"out of memory", [] { throw std::bad_alloc(); }, kOutOfMemory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t number = 0;
    try {
      c.raise();
    } catch (...) {
      FailAllocation(1);
      const Failure failure = CurrentFailure();
      const Failure kept = failure;
      FailAllocation(0);
      number = kept.Number();
    }
    EXPECT_EQ(number, c.number);
    EXPECT_FALSE(AllocationFailed()) << "an allocation was attempted";
  }
}

}  // namespace
}  // namespace clasp
