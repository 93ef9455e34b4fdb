#include "output/trace.h"

namespace clasp {

using namespace std::literals;
namespace {

std::int32_t WriteTrace(const HostObject& step_trac, Conversions convert,
                        std::u16string_view path, std::u16string& log_text,
                        std::u16string_view source) {
  // Path first, the line by reference, the source last: the writer's own order.
  // Each argument is made where the call reads it: on a line as short as ours,
  // copies on the way cost as much as the writer's own work.
  return convert.ToInt32(step_trac.Invoke(
      u"TraceWrite", {HostValue::Text(path), HostValue::TextRef(log_text), HostValue::Text(source)}));
}

}  // namespace

std::int32_t WriteObjectLog(const HostObject& step_trac, Conversions convert,
                            std::u16string log_text) {
  return WriteTrace(step_trac, convert, kObjectLogPath, log_text, kObjectLogSource);
}

std::int32_t WritePrintLog(const HostObject& step_trac, Conversions convert,
                           std::u16string log_text) {
  return WriteTrace(step_trac, convert, kPrintJournalLogPath, log_text, {});
}

}  // namespace clasp
