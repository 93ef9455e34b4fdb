// The component reached from another apartment, the way multithreaded host
// engines hand it around: created in a single-threaded apartment of its own,
// then used from a client in the multithreaded apartment or in a second
// single-threaded one, handed over by stream or through the global interface
// table. Each case runs a whole capture through proxies and compares what the
// hosts saw with the same capture run in the object's own apartment. Every
// wait on another apartment has a limit: a call that never returns ends the
// program with the case and the step named, rather than leaving it idle.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "holdfast_idl.h"
#include "server.h"

namespace clasp::testing {
namespace {

constexpr LONG kRetained = 10120011;

// How long one step may take (a capture takes milliseconds; this leaves room
// for a loaded machine), and the exit status of a program ended at it.
constexpr DWORD kStepLimitMs = 120'000;
constexpr UINT kStuck = 3;

// Waits for `handle` at most `limit_ms`. Past it, names the case and the step
// and ends the program: a thread stuck in a cross-apartment call cannot be
// unwound, and a named failure is worth more than a silent hang. `at`, when
// given, is where the awaited thread last said it was.
void AwaitOrEnd(HANDLE handle, const char* step, DWORD limit_ms,
                const std::atomic<const char*>* at = nullptr) {
  if (WaitForSingleObject(handle, limit_ms) == WAIT_OBJECT_0) return;
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::fprintf(stderr, "[  STUCK   ] %s.%s: %s did not end within %lu s%s%s\n",
               test ? test->test_suite_name() : "?", test ? test->name() : "?", step,
               static_cast<unsigned long>(limit_ms / 1000), at ? ", last at: " : "",
               at ? at->load() : "");
  std::fflush(stderr);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), kStuck);
}

// A thread whose end is awaited within a limit (std::thread's join has none).
class BoundedThread {
 public:
  explicit BoundedThread(std::function<void()> body)
      : body_(std::move(body)), handle_(CreateThread(nullptr, 0, &Run, this, 0, nullptr)) {}
  BoundedThread(const BoundedThread&) = delete;
  BoundedThread& operator=(const BoundedThread&) = delete;
  // Awaited before: the thread uses this object until it ends.
  ~BoundedThread() { CloseHandle(handle_); }

  void Await(const char* step, DWORD limit_ms = kStepLimitMs,
             const std::atomic<const char*>* at = nullptr) const {
    AwaitOrEnd(handle_, step, limit_ms, at);
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<BoundedThread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_;
};

enum class Client { kMultiThreaded, kSingleThreaded };
enum class Handover { kStream, kGlobalTable };
enum class Path { kVtable, kInvoke };

struct Identity {
  const char* name;
  const wchar_t* iid;
  // What QueryInterface answers across apartments. The 1.0 and 1.1
  // identifiers are aliases in the type library, and the automation
  // marshaller cannot build a proxy from an alias: they are refused there
  // rather than handed out as a proxy that breaks on its first call.
  HRESULT answers;
};

const Identity kIdentities[] = {
    {"_Holdfast", kIidText, S_OK},
    {"Holdfast___v0", kIidV0Text, E_NOINTERFACE},
    {"Holdfast___v1", kIidV1Text, E_NOINTERFACE},
};

struct Case {
  Client client;
  Handover handover;
  Identity identity;
  Path path;
};

std::string NameOf(const Case& row) {
  std::string name = row.client == Client::kMultiThreaded ? "Mta" : "Sta";
  name += row.handover == Handover::kStream ? "ByStream_" : "ByGlobalTable_";
  name += row.identity.name;
  name += row.path == Path::kVtable ? "_Vtable" : "_Invoke";
  return name;
}

// Failures name the case, not its bytes.
void PrintTo(const Case& row, std::ostream* out) { *out << NameOf(row); }

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (Client client : {Client::kMultiThreaded, Client::kSingleThreaded}) {
    for (Handover handover : {Handover::kStream, Handover::kGlobalTable}) {
      for (const Identity& identity : kIdentities) {
        for (Path path : {Path::kVtable, Path::kInvoke}) {
          cases.push_back({client, handover, identity, path});
        }
      }
    }
  }
  return cases;
}

// Whether the owner serves calls; a stalled one never reads its messages.
enum class Serving { kServes, kStalls };

// The component's apartment: a thread that creates the component, offers it
// for one unmarshal and serves calls until it is told to end, then lets the
// component go in its own apartment.
class OwnerApartment {
 public:
  explicit OwnerApartment(Handover handover, Serving serving = Serving::kServes)
      : handover_(handover),
        serving_(serving),
        ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        thread_([this] { Serve(); }) {
    AwaitOrEnd(ready_, "the owner apartment's start", kStepLimitMs);
  }
  OwnerApartment(const OwnerApartment&) = delete;
  OwnerApartment& operator=(const OwnerApartment&) = delete;
  ~OwnerApartment() {
    SetEvent(done_);
    thread_.Await("the owner apartment's end", kStepLimitMs, &at_);
    CloseHandle(ready_);
    CloseHandle(done_);
  }

  // The component in the calling apartment (a proxy), or empty with `result` set.
  ComPtr<IUnknown> Take(HRESULT& result) {
    ComPtr<IUnknown> component;
    result = offered_;
    if (FAILED(result)) return component;
    if (handover_ == Handover::kStream) {
      result = CoGetInterfaceAndReleaseStream(stream_, __uuidof(IUnknown), component.PutVoid());
      stream_ = nullptr;
    } else {
      result = GlobalTable()->GetInterfaceFromGlobal(cookie_, __uuidof(IUnknown),
                                                     component.PutVoid());
    }
    return component;
  }

 private:
  static ComPtr<IGlobalInterfaceTable> GlobalTable() {
    ComPtr<IGlobalInterfaceTable> table;
    CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                     __uuidof(IGlobalInterfaceTable), table.PutVoid());
    return table;
  }

  void Serve() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      const ComPtr<IDispatch> component = CreateByProgId();
      offered_ = component ? S_OK : REGDB_E_CLASSNOTREG;
      if (component && handover_ == Handover::kStream) {
        offered_ = CoMarshalInterThreadInterfaceInStream(__uuidof(IUnknown), component.Get(),
                                                         &stream_);
      } else if (component) {
        offered_ = GlobalTable()->RegisterInterfaceInGlobal(component.Get(),
                                                            __uuidof(IUnknown), &cookie_);
      }
      at_ = "serving calls";
      SetEvent(ready_);
      if (serving_ == Serving::kStalls) WaitForSingleObject(done_, INFINITE);
      // Calls from the other apartment arrive as window messages.
      while (MsgWaitForMultipleObjects(1, &done_, FALSE, INFINITE, QS_ALLINPUT) ==
             WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      }
      at_ = "letting the component go";
      if (stream_) {  // never taken
        CoReleaseMarshalData(stream_);
        stream_->Release();
      }
      if (cookie_) GlobalTable()->RevokeInterfaceFromGlobal(cookie_);
    }
    at_ = "leaving its apartment (CoUninitialize)";
    CoUninitialize();
    at_ = "ended";
  }

  Handover handover_;
  Serving serving_;
  HANDLE ready_;
  HANDLE done_;
  HRESULT offered_ = E_UNEXPECTED;
  IStream* stream_ = nullptr;
  DWORD cookie_ = 0;
  // Where the owner last was, for a stuck end to name.
  std::atomic<const char*> at_{"starting"};
  BoundedThread thread_;
};

// Wine withdraws an interface's RPC registration when the last stub of it in
// the process goes, waiting for the interface's calls to finish; a call counts
// as finished only after its answer is sent, and a withdrawal that meets one in
// that moment can miss its wake-up and wait for ever (see troubleshooting).
// The owner's end withdrew IRemUnknown just after its releases reached the
// ended client. A host offered from the program's own apartment for the whole
// run keeps IRemUnknown and IDispatch, the interfaces that reach the MTA and
// ended apartments through the RPC runtime, registered: no case withdraws them.
class InterfacesStayRegistered : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream_.Put()), S_OK);
    ASSERT_EQ(CoMarshalInterface(stream_.Get(), IID_IDispatch, Unknown(), MSHCTX_INPROC, nullptr,
                                 MSHLFLAGS_TABLESTRONG),
              S_OK);
  }
  // Disconnecting withdraws the registration without waiting for calls.
  void TearDown() override { CoDisconnectObject(Unknown(), 0); }

 private:
  IUnknown* Unknown() const { return static_cast<IDispatchEx*>(host_.Get()); }
  ComPtr<DispatchHost> host_ = DispatchHost::Create("kept");
  ComPtr<IStream> stream_;
};

[[maybe_unused]] ::testing::Environment* const kInterfacesStayRegistered =
    ::testing::AddGlobalTestEnvironment(new InterfacesStayRegistered);

// Runs `body` on a thread of its own in the client's apartment, within `limit_ms`.
void InClientApartment(Client client, const std::function<void()>& body,
                       DWORD limit_ms = kStepLimitMs) {
  const BoundedThread thread([&] {
    CoInitializeEx(nullptr, client == Client::kMultiThreaded ? COINIT_MULTITHREADED
                                                             : COINIT_APARTMENTTHREADED);
    body();
    CoUninitialize();
  });
  thread.Await("the client's capture through the proxy", limit_ms);
}

// The hosts of one capture: every one answers Empty except the reader.
struct CaptureHosts {
  CaptureHosts() { set.mks->Returns(L"CardReaderRetain", MakeI4(kRetained).Get()); }
  ComHostSet set;
};

// What the hosts see of a capture run in the component's own apartment.
const CallLog& SameApartmentRun() {
  static const CallLog log = [] {
    CaptureHosts hosts;
    const ComPtr<IDispatch> component = CreateByProgId();
    if (!component) return CallLog{"the component could not be created"};
    hosts.set.AssignTo(component.Get());
    if (RunCols(component.Get()) != kRetained) return CallLog{"the capture did not retain"};
    return *hosts.set.log;
  }();
  return log;
}

// Assigns the hosts and runs Cols through the interface's own slots.
LONG ColsByVtable(_Holdfast* component, const ComHostSet& hosts) {
  EXPECT_EQ(component->putref_StepDisp(hosts.disp.Get()), S_OK);
  EXPECT_EQ(component->putref_StepMks(hosts.mks.Get()), S_OK);
  EXPECT_EQ(component->putref_StepRunModul(hosts.run.Get()), S_OK);
  EXPECT_EQ(component->putref_StepTrac(hosts.trac.Get()), S_OK);
  EXPECT_EQ(component->putref_StepJour(hosts.jour.Get()), S_OK);
  LONG result = 0;
  EXPECT_EQ(component->Cols(&result), S_OK);
  return result;
}

class Apartments : public ::testing::TestWithParam<Case> {};

TEST_P(Apartments, CaptureRunsThroughTheProxyAndEveryCountComesBack) {
  const Case& row = GetParam();
  const CallLog& expected = SameApartmentRun();
  CaptureHosts hosts;
  std::vector<ULONG> counts_before;
  for (DispatchHost* host : hosts.set.All()) counts_before.push_back(host->RefCount());

  HRESULT asked = E_UNEXPECTED;
  {
    OwnerApartment owner(row.handover);
    InClientApartment(row.client, [&] {
      HRESULT taken = E_UNEXPECTED;
      const ComPtr<IUnknown> component = owner.Take(taken);
      ASSERT_EQ(taken, S_OK);
      ComPtr<_Holdfast> holdfast;
      asked = component->QueryInterface(GuidOf(row.identity.iid), holdfast.PutVoid());
      if (FAILED(asked)) return;
      if (row.path == Path::kVtable) {
        EXPECT_EQ(ColsByVtable(holdfast.Get(), hosts.set), kRetained);
      } else {
        hosts.set.AssignTo(holdfast.Get());
        EXPECT_EQ(RunCols(holdfast.Get()), kRetained);
      }
    });
  }

  EXPECT_EQ(asked, row.identity.answers);
  if (SUCCEEDED(asked)) {
    EXPECT_EQ(*hosts.set.log, expected);
  } else {
    EXPECT_TRUE(hosts.set.log->empty());
  }
  std::vector<ULONG> counts_after;
  for (DispatchHost* host : hosts.set.All()) counts_after.push_back(host->RefCount());
  EXPECT_EQ(counts_after, counts_before);
}

INSTANTIATE_TEST_SUITE_P(Cases, Apartments, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return NameOf(info.param);
                         });

// An owner apartment that stops reading its messages: the client's first call
// never returns. Without a limit the program would wait for ever; with it, it
// ends with the case and the step named, and a status that fails the run.
TEST(ApartmentDeathTest, ACallThatNeverReturnsEndsTheProgramNamingTheStep) {
  constexpr DWORD kShortLimitMs = 3'000;
  EXPECT_EXIT(
      {
        OwnerApartment owner(Handover::kStream, Serving::kStalls);
        InClientApartment(
            Client::kMultiThreaded,
            [&] {
              HRESULT taken = E_UNEXPECTED;
              const ComPtr<IUnknown> component = owner.Take(taken);
              ComPtr<_Holdfast> holdfast;
              if (component) component->QueryInterface(__uuidof(_Holdfast), holdfast.PutVoid());
            },
            kShortLimitMs);
      },
      ::testing::ExitedWithCode(kStuck),
      "ACallThatNeverReturnsEndsTheProgramNamingTheStep: the client's capture through the "
      "proxy did not end within 3 s");
}

}  // namespace
}  // namespace clasp::testing
