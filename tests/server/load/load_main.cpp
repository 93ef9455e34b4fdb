// Load and reload of Holdfast.dll: apartment threads calling Cols with an
// unloading thread beside them, create/release/unload cycles, and apartments
// made and dropped on two threads beside an unloader. Nothing may crash, every
// host's count must come back, and committed memory and TLS slots stay flat.
// Usage: holdfast_load [--full | --churn N]   (none: a shortened run, for CI)
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component_client.h"
#include "direct_calls.h"
#include "com_hosts.h"
#include "road_hosts.h"
#include "process_gauge.h"

namespace clasp::testing {
namespace {

struct Plan {
  const char* name;
  int calls_per_thread;  // Cols per apartment thread
  int cycles;            // create/release/unload cycles
  int churn_rounds;      // rounds of apartments made and dropped
  int churn_apartments;  // apartments each long-lived thread enters and leaves
};
constexpr Plan kFull = {"full", 10000, 2000, 50, 700};
constexpr Plan kShort = {"shortened", 1000, 200, 5, 150};
constexpr int kThreadCounts[] = {1, 2, 4, 8};
// Calls per component before it is released and the apartment offers the
// module for unloading.
constexpr int kCallsPerComponent = 500;
constexpr int kApartmentsPerChurnThread = 20;
// The unloader asks about a thousand times a second: often enough to hit every
// moment of a call, without taking a core from the callers.
constexpr DWORD kUnloaderPause = 1;
// Heap pages freed by the component may stay committed; a leak per load is
// tens of kilobytes per cycle, far above this.
constexpr std::size_t kMemorySlack = 1024 * 1024;
constexpr std::size_t kKilobyte = 1024;

// The first failure seen on any thread, and how many there were.
class Faults {
 public:
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_++ == 0) first_ = what;
  }
  int Count() const { return count_; }
  std::string First() const { return first_; }

 private:
  mutable std::mutex mutex_;
  std::atomic<int> count_{0};
  std::string first_;
};

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// One component on `road` called `calls` times in this apartment.
void RunComponent(int calls, Faults& faults, RoadHosts::Road road = RoadHosts::Road::kCapture) {
  RoadHosts hosts(road);
  {
    IDispatch* component = nullptr;
    HRESULT result = CreateComponent(&component);
    ComponentIds ids;
    if (SUCCEEDED(result)) result = ResolveIds(component, &ids);
    if (SUCCEEDED(result)) result = AssignHosts(component, ids, hosts);
    for (int i = 0; i < calls && SUCCEEDED(result); ++i) {
      LONG code = 0;
      SCODE scode = 0;
      result = CallCols(component, ids.cols, &code, &scode);
      if (SUCCEEDED(result) && code != NormalResult(road)) {
        faults.Add("Cols answered " + std::to_string(code));
        break;
      }
    }
    if (FAILED(result)) faults.Add("component call failed with " + Hex(result));
    if (component) component->Release();
  }
  if (!hosts.CountsLeft().empty()) faults.Add("a host's reference count did not come back");
}

// Offers unused modules for unloading until told to stop.
class Unloader {
 public:
  Unloader()
      : thread_([this] {
          CoInitializeEx(nullptr, COINIT_MULTITHREADED);
          while (!stop_.load()) {
            CoFreeUnusedLibrariesEx(0, 0);
            Sleep(kUnloaderPause);
          }
          CoUninitialize();
        }) {}
  ~Unloader() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Runs `work` on `threads` apartment threads started together, each making
// `calls_per_thread` calls, with an unloading thread beside them when asked;
// answers the total calls per second.
double Throughput(int threads, int calls_per_thread, bool unloading,
                  const std::function<void(int calls)>& work) {
  std::unique_ptr<Unloader> unloader;
  if (unloading) unloader = std::make_unique<Unloader>();
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      ++ready;
      while (!go.load()) Sleep(0);
      work(calls_per_thread);
      CoUninitialize();
    });
  }
  while (ready.load() < threads) Sleep(0);
  const auto start = std::chrono::steady_clock::now();
  go = true;
  for (auto& worker : workers) worker.join();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  return threads * static_cast<double>(calls_per_thread) / elapsed.count();
}

// Components made, called and released in turn, the module offered for
// unloading after each.
double ThreadRun(int threads, int calls_per_thread, Faults& faults) {
  return Throughput(threads, calls_per_thread, true, [&](int calls) {
    for (int done = 0; done < calls; done += kCallsPerComponent) {
      RunComponent(std::min(kCallsPerComponent, calls - done), faults);
      CoFreeUnusedLibrariesEx(0, 0);
    }
  });
}

// Cols on one component against hosts that do nothing, beside the very same
// IDispatch calls made directly on such hosts: if Cols loses no more of its
// one-thread rate than the direct calls do, nothing of ours adds to the fall.
void Scaling(int calls_per_thread, Faults& faults) {
  std::printf("load: scaling, no unloader, hosts that do nothing (calls/s in total):\n");
  double first_cols = 0;
  double first_direct = 0;
  for (const int threads : kThreadCounts) {
    const double cols = Throughput(threads, calls_per_thread, false, [&](int calls) {
      const bench::ComHosts hosts(bench::Path::kCapture);
      IDispatch* component = nullptr;
      ComponentIds ids;
      HRESULT result = CreateComponent(&component);
      if (SUCCEEDED(result)) result = ResolveIds(component, &ids);
      if (SUCCEEDED(result) && !hosts.GiveTo(component)) result = E_FAIL;
      for (int i = 0; i < calls && SUCCEEDED(result); ++i) {
        LONG code = 0;
        SCODE scode = 0;
        result = CallCols(component, ids.cols, &code, &scode);
        if (SUCCEEDED(result) && code != kRetainedCode) result = E_UNEXPECTED;
      }
      if (FAILED(result)) faults.Add("scaling: Cols failed with " + Hex(result));
      if (component) component->Release();
    });
    const double direct = Throughput(threads, calls_per_thread, false, [](int calls) {
      const bench::ComHosts hosts(bench::Path::kCapture);
      bench::DirectCaller direct(hosts);
      for (int i = 0; i < calls; ++i) direct.CaptureRoad();
    });
    if (threads == 1) first_cols = cols, first_direct = direct;
    std::printf("load:   %d thread%s: Cols %.0f (%.0f%% of one thread), direct calls %.0f "
                "(%.0f%%)\n",
                threads, threads == 1 ? " " : "s", cols, 100 * cols / first_cols, direct,
                100 * direct / first_direct);
  }
}

// Whether the module is mapped in this process right now.
bool ModuleMapped() { return GetModuleHandleW(L"Holdfast.dll") != nullptr; }

// Create, call once, release, offer the module for unloading: the cycle of
// a host that wants the component out of memory between transactions.
int Cycles(int cycles, Faults& faults) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int unmapped = 0;
  const int faults_before = faults.Count();
  for (int i = 0; i < cycles && faults.Count() == faults_before; ++i) {
    RunComponent(1, faults);
    CoFreeUnusedLibrariesEx(0, 0);
    if (!ModuleMapped()) ++unmapped;
  }
  CoUninitialize();
  return unmapped;
}

// Two threads make and drop apartments, each with one component in it, while
// a third offers the module for unloading.
void Churn(int rounds, Faults& faults) {
  for (int round = 0; round < rounds; ++round) {
    Unloader unloader;
    std::thread churners[2];
    for (auto& churner : churners) {
      churner = std::thread([&] {
        for (int i = 0; i < kApartmentsPerChurnThread; ++i) {
          CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
          RunComponent(1, faults);
          RunComponent(1, faults, RoadHosts::Road::kFailurePath);
          CoUninitialize();
        }
      });
    }
    for (auto& churner : churners) churner.join();
  }
}

// A capture with the five steps served by the test's own in-process server,
// which COM loads into this apartment and may unload when it is left.
void RunServedComponent(Faults& faults) {
  IDispatch* component = nullptr;
  HRESULT result = CreateComponent(&component);
  ComponentIds ids;
  if (SUCCEEDED(result)) result = ResolveIds(component, &ids);
  if (SUCCEEDED(result)) result = AssignServedHosts(component, ids);
  LONG code = 0;
  SCODE scode = 0;
  if (SUCCEEDED(result)) result = CallCols(component, ids.cols, &code, &scode);
  if (FAILED(result)) {
    faults.Add("churn: served steps: call failed with " + Hex(result));
  } else if (code != kRetainedCode) {
    faults.Add("churn: served steps: Cols answered " + std::to_string(code));
  }
  if (component) component->Release();
}

// Long-lived threads (two unless told), each entering and leaving `apartments` apartments
// one after another, beside a thread offering the modules for unloading. In
// each apartment one component runs a capture and then a failure road, a
// second one with no hosts fails Cols itself, leaving an error object on the
// thread as the apartment is left, and a third captures with steps served by
// an in-process server.
void ChurnThreads(int apartments, Faults& faults, int threads = 2) {
  Unloader unloader;
  std::vector<std::thread> churners(threads);
  for (auto& churner : churners) {
    churner = std::thread([&] {
      for (int i = 0; i < apartments && faults.Count() == 0; ++i) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
          RoadHosts capture(RoadHosts::Road::kCapture);
          RoadHosts failing(RoadHosts::Road::kFailurePath);
          IDispatch* component = nullptr;
          HRESULT result = CreateComponent(&component);
          ComponentIds ids;
          if (SUCCEEDED(result)) result = ResolveIds(component, &ids);
          for (const RoadHosts* hosts : {&capture, &failing}) {
            if (SUCCEEDED(result)) result = AssignHosts(component, ids, *hosts);
            LONG code = 0;
            SCODE scode = 0;
            if (SUCCEEDED(result)) result = CallCols(component, ids.cols, &code, &scode);
          }
          if (FAILED(result)) faults.Add("churn: call failed with " + Hex(result));
          if (component) component->Release();
          IDispatch* bare = nullptr;
          if (SUCCEEDED(CreateComponent(&bare))) {
            LONG code = 0;
            SCODE scode = 0;
            if (SUCCEEDED(CallCols(bare, ids.cols, &code, &scode))) {
              faults.Add("churn: Cols without hosts succeeded");
            }
            bare->Release();
          }
          RunServedComponent(faults);
        }
        CoUninitialize();
      }
    });
  }
  for (auto& churner : churners) churner.join();
}

struct Gauge {
  std::size_t memory;
  DWORD tls;
  static Gauge Now() { return {CommittedPrivateBytes(), FirstFreeTlsSlot()}; }
};

// Prints how memory and TLS moved since `before`; false when either grew.
bool Flat(const char* phase, const Gauge& before, Faults& faults) {
  const Gauge after = Gauge::Now();
  const long long grown = static_cast<long long>(after.memory) -
                          static_cast<long long>(before.memory);
  std::printf("load: %s: committed memory %+lld KB, first free TLS slot %lu -> %lu\n", phase,
              grown / static_cast<long long>(kKilobyte), static_cast<unsigned long>(before.tls),
              static_cast<unsigned long>(after.tls));
  const bool flat = grown <= static_cast<long long>(kMemorySlack) && after.tls == before.tls;
  if (!flat) faults.Add(std::string(phase) + ": memory or TLS slots grew");
  return flat;
}

int Run(const Plan& plan) {
  std::printf("load: %s run (%d Cols per thread, %d cycles, %d churn rounds)%s\n", plan.name,
              plan.calls_per_thread, plan.cycles, plan.churn_rounds,
              &plan == &kShort ? "; holdfast_load --full for the full run" : "");
  Faults faults;
  // Warm up once so that what is loaded for good (the module pinned, COM's
  // own tables, the type library) is in the baseline.
  ThreadRun(1, kCallsPerComponent, faults);
  Cycles(1, faults);
  ChurnThreads(1, faults, 1);

  Scaling(plan.calls_per_thread, faults);

  const Gauge before_threads = Gauge::Now();
  for (const int threads : kThreadCounts) {
    const double per_second = ThreadRun(threads, plan.calls_per_thread, faults);
    std::printf("load: %d apartment thread%s x %d Cols beside an unloader: %.0f calls/s "
                "(%.0f per thread)\n",
                threads, threads == 1 ? "" : "s", plan.calls_per_thread, per_second,
                per_second / threads);
  }
  Flat("threads", before_threads, faults);

  const Gauge before_cycles = Gauge::Now();
  const int unmapped = Cycles(plan.cycles, faults);
  std::printf("load: %d create/release/unload cycles, module unmapped after %d of them\n",
              plan.cycles, unmapped);
  Flat("cycles", before_cycles, faults);

  const Gauge before_churn = Gauge::Now();
  Churn(plan.churn_rounds, faults);
  std::printf("load: %d rounds of 2 x %d apartments made and dropped beside an unloader\n",
              plan.churn_rounds, kApartmentsPerChurnThread);
  Flat("apartments", before_churn, faults);

  const Gauge before_threads_churn = Gauge::Now();
  ChurnThreads(plan.churn_apartments, faults);
  std::printf("load: 2 threads x %d apartments each, a capture, a failure road, a failing "
              "Cols and a capture with served steps in each, beside an unloader\n",
              plan.churn_apartments);
  Flat("apartment threads", before_threads_churn, faults);

  if (faults.Count() != 0) {
    std::printf("load: FAILED: %d faults, first: %s\n", faults.Count(), faults.First().c_str());
    return 1;
  }
  std::printf("load: all passed, counts balanced\n");
  return 0;
}

}  // namespace
}  // namespace clasp::testing

int main(int argc, char** argv) {
  // --churn N [THREADS]: the apartment threads alone (two unless told), N
  // apartments each, for rerunning that phase many times over.
  if (argc > 2 && std::strcmp(argv[1], "--churn") == 0) {
    clasp::testing::Faults faults;
    const int apartments = std::atoi(argv[2]);
    const int threads = argc > 3 ? std::atoi(argv[3]) : 2;
    // Warmed up as the full run is, so that what stays loaded is in the baseline.
    clasp::testing::ChurnThreads(1, faults, 1);
    const clasp::testing::Gauge before = clasp::testing::Gauge::Now();
    clasp::testing::ChurnThreads(apartments, faults, threads);
    clasp::testing::Flat("churn", before, faults);
    std::printf("load: churn of %d x %d apartments: %s%s\n", threads, apartments,
                faults.Count() == 0 ? "passed" : "FAILED: ", faults.First().c_str());
    std::fflush(stdout);
    return faults.Count() == 0 ? 0 : 1;
  }
  const bool full = argc > 1 && std::strcmp(argv[1], "--full") == 0;
  const int status = clasp::testing::Run(full ? clasp::testing::kFull : clasp::testing::kShort);
  std::fflush(stdout);
  return status;
}
