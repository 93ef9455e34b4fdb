// Instances used from several threads at once, each instance on one thread,
// as apartment threads use them. Under ThreadSanitizer (the tsan preset) this
// finds any state the instances share without saying so.
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "component/holdfast.h"
#include "host/failure.h"
#include "report/send_oex.h"
#include "support/recording_host.h"

namespace clasp {
namespace {

using namespace clasp::testing;

constexpr int kCallsPerThread = 200;
constexpr std::int32_t kDeviceFault = 7;

// One thread's instance and hosts on one road; every call must repeat the
// first call's access sequence and result exactly.
struct Worker {
  int road;
  std::int32_t expected = 0;
  int mismatches = 0;

  void Run(std::latch& start) {
    HostSet hosts;
    hosts.run->Put(u"TransAction1", HostValue::Text(u"0000"));
    switch (road % 4) {
      case 0: hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kRetained)); break;
      case 1: hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kNotRetained)); break;
      case 2: hosts.mks->Returns(u"CardReaderRetain", HostValue::I4(kDeviceFault)); break;
      default: hosts.mks->Raises(u"CardReaderRetain", Failure(1234, u"boom")); break;
    }
    Ref<Holdfast> holdfast = Holdfast::Create();
    hosts.GiveTo(*holdfast);
    start.arrive_and_wait();
    std::vector<std::string> first;
    for (int i = 0; i < kCallsPerThread; ++i) {
      hosts.log->Clear();
      const std::int32_t result = holdfast->Cols();
      // The status is rewritten by each call; put it back so calls repeat.
      hosts.run->Put(u"TransAction1", HostValue::Text(u"0000"));
      if (i == 0) {
        first = hosts.log->Lines();
        continue;
      }
      if (result != expected || hosts.log->Lines() != first) ++mismatches;
    }
  }
};

TEST(Threads, InstancesOnSeveralThreadsAtOnceStayApart) {
  const std::int32_t expected[] = {kRetained, kNotRetained, kDeviceFault, kFailure};
  for (const int threads : {2, 4, 8}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::vector<Worker> workers;
    for (int t = 0; t < threads; ++t) workers.push_back({t, expected[t % 4]});
    std::latch start(threads);
    std::vector<std::thread> running;
    for (auto& worker : workers) running.emplace_back([&] { worker.Run(start); });
    for (auto& thread : running) thread.join();
    for (const auto& worker : workers) {
      EXPECT_EQ(worker.mismatches, 0) << "road " << worker.road % 4;
    }
  }
}

}  // namespace
}  // namespace clasp
