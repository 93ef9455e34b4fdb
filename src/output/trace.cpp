#include "output/trace.h"

namespace clasp {

using namespace std::literals;
namespace {

// The writer's constant arguments, made once: a line then copies neither.
const std::u16string kObjectLogPathText(kObjectLogPath);
const std::u16string kPrintJournalLogPathText(kPrintJournalLogPath);
const std::u16string kObjectLogSourceText(kObjectLogSource);
const std::u16string kNoSource;

std::int32_t WriteTrace(const HostObject& step_trac, Conversions convert,
                        const std::u16string& path, std::u16string& log_text,
                        const std::u16string& source) {
  // Path first, the line by reference, the source last: the writer's own order.
  // Each argument is made where the call reads it: on a line as short as ours,
  // copies on the way cost as much as the writer's own work.
  return convert.ToInt32(step_trac.Invoke(u"TraceWrite", {HostValue::BorrowedText(path),
                                                          HostValue::TextRef(log_text),
                                                          HostValue::BorrowedText(source)}));
}

}  // namespace

std::int32_t WriteObjectLogFrom(const HostObject& step_trac, Conversions convert,
                                std::u16string& copy) {
  return WriteTrace(step_trac, convert, kObjectLogPathText, copy, kObjectLogSourceText);
}

std::int32_t WritePrintLogFrom(const HostObject& step_trac, Conversions convert,
                               std::u16string& copy) {
  return WriteTrace(step_trac, convert, kPrintJournalLogPathText, copy, kNoSource);
}

}  // namespace clasp
