// What Cols costs on top of the host accesses it makes. Each path is measured
// twice in one run: Cols against hosts that only answer, and the very same host
// accesses made directly. The ratio of the two is the component's overhead.
// A soak then runs a million calls and compares resident memory before and after.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <valgrind/callgrind.h>
#include <vector>

#include "direct_sequence.h"
#include "goals.h"
#include "path_hosts.h"

namespace clasp::bench {
namespace {

constexpr long kDefaultSoakCalls = 1'000'000;
constexpr int kSoakWarmUpCalls = 100'000;
constexpr int kCountedCalls = 1000;
constexpr int kUncountedCalls = 10;

void ColsOn(benchmark::State& state, Path path) {
  const HostSet hosts = HostsFor(path);
  const auto component = Holdfast::Create();
  hosts.GiveTo(*component);
  for (auto _ : state) benchmark::DoNotOptimize(component->Cols());
}

void DirectOn(benchmark::State& state, void (*direct)(const HostSet&), Path path) {
  const HostSet hosts = HostsFor(path);
  for (auto _ : state) {
    direct(hosts);
    benchmark::ClobberMemory();
  }
}

void CaptureCols(benchmark::State& state) { ColsOn(state, Path::kCapture); }
void CaptureBare(benchmark::State& state) { DirectOn(state, CaptureDirect, Path::kCapture); }
void FailureCols(benchmark::State& state) { ColsOn(state, Path::kFailure); }
void FailureBare(benchmark::State& state) { DirectOn(state, FailureDirect, Path::kFailure); }
BENCHMARK(CaptureCols);
BENCHMARK(CaptureBare);
BENCHMARK(FailureCols);
BENCHMARK(FailureBare);

// The comparison is only fair if the direct sequence is exactly what Cols does.
bool SameAccesses(Path path, void (*direct)(const HostSet&), const char* name) {
  const auto cols_log = std::make_shared<testing::AccessLog>();
  const auto hand_log = std::make_shared<testing::AccessLog>();
  {
    const HostSet hosts = HostsFor(path, cols_log);
    const auto component = Holdfast::Create();
    hosts.GiveTo(*component);
    component->Cols();
  }
  direct(HostsFor(path, hand_log));
  const std::vector<std::string>& by_cols = cols_log->Lines();
  const std::vector<std::string>& by_hand = hand_log->Lines();
  if (by_cols == by_hand && !by_cols.empty()) return true;
  std::fprintf(stderr, "%s: the direct sequence differs from what Cols does\n", name);
  const std::size_t lines = std::max(by_cols.size(), by_hand.size());
  for (std::size_t i = 0; i < lines; ++i) {
    const char* a = i < by_cols.size() ? by_cols[i].c_str() : "(none)";
    const char* b = i < by_hand.size() ? by_hand[i].c_str() : "(none)";
    std::fprintf(stderr, "%s %s\n%s %s\n", std::strcmp(a, b) ? "!" : " ", a, " ", b);
  }
  return false;
}

// Keeps each benchmark's CPU time per iteration; with repetitions, the median.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}  // no colours in CI logs
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration) {
        times_[name].push_back(run.GetAdjustedCPUTime());
      } else if (run.aggregate_name == "median") {
        medians_[name] = run.GetAdjustedCPUTime();
      }
    }
  }
  double Median(const std::string& name) {
    if (const auto it = medians_.find(name); it != medians_.end()) return it->second;
    auto& times = times_[name];
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> times_;
  std::map<std::string, double> medians_;
};

void PrintRatio(RatioReporter& reporter, const char* path, const char* cols, const char* bare,
                double goal) {
  const double with = reporter.Median(cols);
  const double without = reporter.Median(bare);
  if (with == 0 || without == 0) return;  // filtered out
  std::printf("%-13s Cols %8.0f ns, bare accesses %8.0f ns: %+.0f ns per Cols, ratio %.2fx "
              "(goal %.2fx)\n",
              path, with, without, with - without, with / without, goal);
}

// bench/run's figures from callgrind, "Capture:<with>:<without>": printed with
// the goal; false when the count misses it. Counts are the same on any
// machine, so unlike timings they can be held to the goal.
bool ReportInstructions(const std::string& figures) {
  char path[16] = {};
  long with = 0;
  long without = 0;
  if (std::sscanf(figures.c_str(), "%15[A-Za-z]:%ld:%ld", path, &with, &without) != 3 ||
      without <= 0) {
    std::fprintf(stderr, "bad instruction figures \"%s\"\n", figures.c_str());
    return false;
  }
  const bool capture = std::strcmp(path, "Capture") == 0;
  // A count of different accesses would compare nothing.
  if (!(capture ? SameAccesses(Path::kCapture, CaptureDirect, "capture path")
                : SameAccesses(Path::kFailure, FailureDirect, "failure path"))) {
    return false;
  }
  const double goal = capture ? kNativeCaptureGoal : kNativeFailureGoal;
  const double ratio = static_cast<double>(with) / static_cast<double>(without);
  std::printf("%s path: Cols %ld instructions per call, bare accesses %ld: %+ld per Cols, "
              "ratio %.2fx (goal %.2fx)%s\n",
              capture ? "capture" : "failure", with, without, with - without, ratio, goal,
              ratio <= goal ? "" : ": MISSED");
  return ratio <= goal;
}

// Under callgrind started with --instr-atstart=no: counts the instructions of
// kCountedCalls runs of one workload, a figure that no busy machine can blur.
bool CountInstructions(const std::string& name) {
  if (name != "CaptureCols" && name != "CaptureBare" && name != "FailureCols" &&
      name != "FailureBare") {
    return false;
  }
  const Path path = name.rfind("Capture", 0) == 0 ? Path::kCapture : Path::kFailure;
  const HostSet hosts = HostsFor(path);
  const auto component = Holdfast::Create();
  hosts.GiveTo(*component);
  void (*direct)(const HostSet&) = path == Path::kCapture ? CaptureDirect : FailureDirect;
  const bool with_cols = name.find("Cols") != std::string::npos;
  auto once = [&] {
    if (with_cols) {
      benchmark::DoNotOptimize(component->Cols());
    } else {
      direct(hosts);
    }
  };
  for (int i = 0; i < kUncountedCalls; ++i) once();  // first-use costs stay out
  CALLGRIND_START_INSTRUMENTATION;
  for (int i = 0; i < kCountedCalls; ++i) once();
  CALLGRIND_STOP_INSTRUMENTATION;
  std::printf("%s: %d calls counted\n", name.c_str(), kCountedCalls);
  return true;
}

long ResidentBytes() {
  long size = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

// A million calls over every path of Cols; resident memory must not grow.
bool Soak(long calls) {
  const Path paths[] = {Path::kCapture, Path::kDeviceFault, Path::kFailure,
                        Path::kDisplayFailure};
  std::vector<HostSet> hosts;
  std::vector<Ref<Holdfast>> components;
  for (Path path : paths) {
    hosts.push_back(HostsFor(path));
    components.push_back(Holdfast::Create());
    hosts.back().GiveTo(*components.back());
  }
  const std::size_t count = components.size();
  for (int i = 0; i < kSoakWarmUpCalls; ++i) components[i % count]->Cols();
  ResidentBytes();  // the first reading itself costs a few pages; not the component's
  const long before = ResidentBytes();
  for (long i = 0; i < calls; ++i) benchmark::DoNotOptimize(components[i % count]->Cols());
  const long after = ResidentBytes();
  components.clear();
  bool balanced = true;
  for (const HostSet& h : hosts) balanced = balanced && h.Balanced(1);
  std::printf("soak: %ld Cols calls over four paths: resident %ld KiB before, %ld KiB after "
              "(ratio %.3f); host counts %s\n",
              calls, before / 1024, after / 1024,
              before ? static_cast<double>(after) / static_cast<double>(before) : 0.0,
              balanced ? "balanced" : "NOT balanced");
  // A page or two of allocator slack is not growth; anything per call would be.
  constexpr long kSlack = 64 * 1024;
  return balanced && before > 0 && after <= before + kSlack;
}

}  // namespace
}  // namespace clasp::bench

int main(int argc, char** argv) {
  using namespace clasp::bench;
  long soak_calls = kDefaultSoakCalls;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--soak_calls=", 13) == 0) {
      soak_calls = std::strtol(argv[i] + 13, nullptr, 10);
    } else if (std::strncmp(argv[i], "--instructions_of=", 18) == 0) {
      return CountInstructions(argv[i] + 18) ? 0 : 2;
    } else if (std::strncmp(argv[i], "--instructions_report=", 22) == 0) {
      return ReportInstructions(argv[i] + 22) ? 0 : 1;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  if (!SameAccesses(Path::kCapture, CaptureDirect, "capture path") ||
      !SameAccesses(Path::kFailure, FailureDirect, "failure path")) {
    return 1;
  }
  benchmark::Initialize(&count, args.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  PrintRatio(reporter, "capture path:", "CaptureCols", "CaptureBare", kNativeCaptureGoal);
  PrintRatio(reporter, "failure path:", "FailureCols", "FailureBare", kNativeFailureGoal);
  if (soak_calls > 0 && !Soak(soak_calls)) return 1;
  return 0;
}
