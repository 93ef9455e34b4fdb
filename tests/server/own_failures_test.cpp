// The component's own failures told to a tool through IOwnFailureWatch, and
// what a tool's sink may do meanwhile without harming the step.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/encoding.h"
#include "server.h"
#include "server/com/own_failure_sink.h"
#include "server/own_failures.h"

namespace clasp::testing {
namespace {

constexpr HRESULT kObjectNotSet = static_cast<HRESULT>(0x800A005B);

// A sink that writes each report into the hosts' log, then answers what
// `then` answers.
Ref<FunctionSink> LogSink(std::shared_ptr<CallLog> log,
                          std::function<HRESULT()> then = nullptr) {
  return FunctionSink::Make([log, then](const std::u16string& field, const std::u16string& member,
                                        const Failure& failure) {
    log->push_back("own " + Utf8(field) + "." + Utf8(member) + " " +
                   std::to_string(failure.Number()) + " " + Utf8(failure.Description()));
    return then ? then() : S_OK;
  });
}

// The counts held on `object` besides the caller's own.
ULONG OtherCounts(IUnknown* object) {
  object->AddRef();
  return object->Release() - 1;
}

ComPtr<IOwnFailureWatch> WatchOf(IDispatch* component) {
  ComPtr<IOwnFailureWatch> watch;
  EXPECT_EQ(component->QueryInterface(kIidOwnFailureWatch, watch.PutVoid()), S_OK);
  return watch;
}

std::vector<std::string> OwnLines(const CallLog& log) {
  std::vector<std::string> own;
  for (const std::string& line : log) {
    if (line.starts_with("own ")) own.push_back(line);
  }
  return own;
}

const std::string kJourNotSet = "own StepJour.TimeSig 91 Object variable or With block variable not set";

TEST(OwnFailureWatch, TheSinkHearsEachOwnFailureWhereItHappens) {
  ComHostSet hosts;
  const ComPtr<IDispatch> component = CreateByProgId();
  ASSERT_TRUE(component);
  for (const auto& [name, host] : {std::pair{L"StepDisp", hosts.disp.Get()},
                                   {L"StepMks", hosts.mks.Get()},
                                   {L"StepRunModul", hosts.run.Get()},
                                   {L"StepTrac", hosts.trac.Get()}}) {
    ASSERT_EQ(PutByName(component.Get(), name, MakeDispatch(host).Get()), S_OK);
  }
  const ComPtr<IOwnFailureWatch> watch = WatchOf(component.Get());
  ASSERT_TRUE(watch);
  const Ref<FunctionSink> sink = LogSink(hosts.log);
  ASSERT_EQ(watch->Watch(sink.Get()), S_OK);

  Variant result;
  EXPECT_EQ(CallByName(component.Get(), L"Cols", DISPATCH_METHOD, {}, result.Put(), nullptr),
            DISP_E_EXCEPTION);
  // Once in the journal entry of the road, once in the failure path's: each
  // right after the trace line the journal entry starts with.
  EXPECT_EQ(OwnLines(*hosts.log), (std::vector<std::string>{kJourNotSet, kJourNotSet}));
  for (std::size_t i = 0; i < hosts.log->size(); ++i) {
    if ((*hosts.log)[i] != kJourNotSet) continue;
    ASSERT_GT(i, 0u);
    EXPECT_NE((*hosts.log)[i - 1].find("PrintJournal.log"), std::string::npos);
  }

  // Taken back: nothing more, and the component holds no count on the sink.
  ASSERT_EQ(watch->Watch(nullptr), S_OK);
  EXPECT_EQ(OtherCounts(sink.Get()), 0u);
  hosts.log->clear();
  EXPECT_EQ(CallByName(component.Get(), L"Cols", DISPATCH_METHOD, {}, result.Put(), nullptr),
            DISP_E_EXCEPTION);
  EXPECT_TRUE(OwnLines(*hosts.log).empty());
}

TEST(OwnFailureWatch, WhatASinkDoesCannotHarmTheStep) {
  struct Row {
    const char* what;
    std::function<HRESULT(IOwnFailureWatch&)> then;
    std::size_t heard;  // reports the sink hears in the one Cols
  } rows[] = {
      {"answers a failure", [](IOwnFailureWatch&) { return E_FAIL; }, 2},
      {"takes the watch back inside", [](IOwnFailureWatch& w) { return w.Watch(nullptr); }, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ComHostSet hosts;
    const ComPtr<IDispatch> component = CreateByProgId();
    ASSERT_TRUE(component);
    ASSERT_EQ(PutByName(component.Get(), L"StepDisp", MakeDispatch(hosts.disp.Get()).Get()),
              S_OK);
    const ComPtr<IOwnFailureWatch> watch = WatchOf(component.Get());
    ASSERT_TRUE(watch);
    const Ref<FunctionSink> sink = LogSink(hosts.log, [&] { return row.then(*watch.Get()); });
    ASSERT_EQ(watch->Watch(sink.Get()), S_OK);
    // StepMks, StepTrac, StepJour unset: the display's trace line meets the
    // unset trace writer, then the failure path meets it again and Cols fails.
    Variant result;
    ExcepInfo info;
    EXPECT_EQ(CallByName(component.Get(), L"Cols", DISPATCH_METHOD, {}, result.Put(), info.Put()),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.Get().scode, kObjectNotSet);
    EXPECT_EQ(OwnLines(*hosts.log).size(), row.heard);
    watch->Watch(nullptr);
    EXPECT_EQ(OtherCounts(sink.Get()), 0u);
  }
}

}  // namespace
}  // namespace clasp::testing
