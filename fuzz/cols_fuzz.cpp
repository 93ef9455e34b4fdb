// Fuzz target: Cols, and the setters around it, against hosts whose every
// answer comes from the input. Nothing may crash or leak; every host object
// must be back to the harness's own count once the component is released;
// Cols must return one of its result codes, and may fail itself only when its
// failure path could not write its journal entry or trace line.
#include <cstdio>
#include <cstdlib>

#include "component/holdfast.h"
#include "component/inspect.h"
#include "fuzz_answers.h"
#include "host/convert.h"
#include "host/text.h"
#include "report/send_oex.h"

namespace clasp::fuzz {
namespace {

constexpr int kPoolSize = 6;   // five step objects and one spare
constexpr int kFields = 5;
constexpr int kMaxOperations = 4;
constexpr std::size_t kMaxScreenText = 8;
constexpr std::u16string_view kScreenAlphabet = u"0123456789 .-e,&Hx";

// The only host members the failure path touches (journal entry and trace line).
bool FailurePathMember(std::u16string_view member) {
  for (std::u16string_view m : {u"TraceWrite", u"isjrn", u"TimeSig", u"ChnPromptString",
                                u"EngPromptString", u"JournalWriteMsg", u"IsJRNDevice"}) {
    if (member == m) return true;
  }
  return false;
}

[[noreturn]] void Broken(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
}

void Wire(Session& s, const std::vector<Ref<RecordingHost>>& pool) {
  Holdfast& c = *s.component;
  void (Holdfast::*setters[kFields])(const HostObject&) = {
      &Holdfast::StepDisp, &Holdfast::StepMks, &Holdfast::StepRunModul, &Holdfast::StepTrac,
      &Holdfast::StepJour};
  for (int field = 0; field < kFields; ++field) {
    const std::uint8_t choice = s.input.Byte();
    // 0: its own host; 7 mod 8: left empty; otherwise any host of the pool,
    // so one object may sit in several fields.
    if (choice % 8 == 7) continue;
    const auto& host = choice == 0 ? pool[field] : pool[choice % pool.size()];
    (c.*setters[field])(HostObject(host.Get()));
  }
}

void CheckResult(const Session& s, std::int32_t result) {
  if (result == kFailure) return;
  if (result == kDisplayFailure && (!s.reader_called || s.reader_code == kDisplayFailure)) {
    return;
  }
  if (s.reader_called && s.reader_code == result) return;
  Broken("Cols returned " + std::to_string(result) + " but the reader " +
         (s.reader_called ? (s.reader_code ? "answered " + std::to_string(*s.reader_code)
                                           : std::string("answered no number"))
                          : std::string("was not called")));
}

void CheckEscape(const Session& s, const Failure& failure, bool component_alive,
                 const Holdfast::Fields* fields) {
  const auto& last = s.last;
  const bool from_last_access =
      last.raised && last.raised->Number() == failure.Number() &&
      last.raised->Description() == failure.Description();
  const bool unconvertible_answer = !last.raised && !last.answer_converts &&
                                    (failure.Number() == kTypeMismatch ||
                                     failure.Number() == kOverflow ||
                                     failure.Number() == kUnsupportedType);
  if ((from_last_access || unconvertible_answer) && FailurePathMember(last.member)) return;
  if (failure.Number() == kObjectNotSet) {
    // With the component gone its fields cannot be looked at any more.
    if (!component_alive) return;
    if (!fields->StepTrac || !fields->StepJour || !fields->StepRunModul) return;
  }
  Broken("Cols failed with " + std::to_string(failure.Number()) + " " +
         Utf8(failure.Description()) + " after " + Utf8(last.member));
}

void RunCols(Session& s) {
  Holdfast* component = s.component.Get();
  s.running = component;
  s.reader_called = false;
  s.reader_code.reset();
  s.last = {};
  try {
    const std::int32_t result = component->Cols();
    s.running = nullptr;
    CheckResult(s, result);
  } catch (const Failure& failure) {
    s.running = nullptr;
    // Cols has returned: if the host dropped it, the component is gone now.
    const bool alive = static_cast<bool>(s.component);
    CheckEscape(s, failure, alive, alive ? &FieldsOf(*s.component) : nullptr);
  }
}

HostValue DisplayValue(FuzzInput& in) {
  switch (in.Byte() % 4) {
    case 0: return HostValue::Text(in.Text(kMaxScreenText, kScreenAlphabet));
    case 1: return HostValue::I4(in.Raw<std::int32_t>());
    case 2: return HostValue::Null();
    default: return HostValue::Empty();
  }
}

void RunSetter(Session& s, std::uint8_t which) {
  Holdfast& c = *s.component;
  s.running = &c;
  try {
    switch (which % 5) {
      case 0: c.ScreenNo(s.input.Text(kMaxScreenText, kScreenAlphabet)); break;
      case 1: c.DisapleVal01(DisplayValue(s.input)); break;
      case 2: c.DisapleVal02(DisplayValue(s.input)); break;
      case 3: c.DisapleVal03(DisplayValue(s.input)); break;
      default: c.DisapleVal04(DisplayValue(s.input)); break;
    }
  } catch (const Failure&) {
    // Setters pass every failure to the host; that is their whole contract here.
  }
  s.running = nullptr;
}

}  // namespace
}  // namespace clasp::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clasp;
  using namespace clasp::fuzz;
  FuzzInput in(data, size);
  Session s(in);
  {
    std::vector<Ref<RecordingHost>> pool;
    for (int i = 0; i < kPoolSize; ++i) {
      pool.push_back(MakeHost(s));
      s.pool.push_back(pool.back().Get());
    }
    s.component = Holdfast::Create();
    Wire(s, pool);

    const int operations = 1 + in.Byte() % kMaxOperations;
    for (int i = 0; i < operations && s.component; ++i) {
      const std::uint8_t op = in.Byte();
      // Mostly Cols; sometimes a setter, or a reference taken away, in between.
      if (op < 0xC0) {
        RunCols(s);
      } else if (op < 0xF0) {
        RunSetter(s, op);
      } else {
        s.running = s.component.Get();
        // Emptying a reference outside a call, the way a host reassigns one.
        s.component->StepRunModul(op & 1 ? HostObject() : HostObject(pool[op % kPoolSize].Get()));
        s.running = nullptr;
      }
    }
    s.component.Reset();
    for (int i = 0; i < kPoolSize; ++i) {
      if (pool[i]->RefCount() != 1) {
        std::fprintf(stderr, "host %d holds %u counts after the component was released\n", i,
                     pool[i]->RefCount());
        std::abort();
      }
    }
  }
  if (s.live_hosts != 0 || s.live_payloads != 0) {
    std::fprintf(stderr, "%d hosts and %d payloads outlived everyone who held them\n",
                 s.live_hosts, s.live_payloads);
    std::abort();
  }
  return 0;
}
