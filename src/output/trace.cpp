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
  // Each argument is made where the call reads it, with no copy on the way.
  return convert.ToInt32(step_trac.Invoke(u"TraceWrite", {HostValue::BorrowedText(path),
                                                          HostValue::TextRef(log_text),
                                                          HostValue::BorrowedText(source)}));
}

}  // namespace

std::int32_t WriteObjectLog(const HostObject& step_trac, Conversions convert, TextBuffer& buffer,
                            std::initializer_list<std::u16string_view> parts) {
  BufferedText copy(buffer, parts);
  return WriteTrace(step_trac, convert, kObjectLogPathText, copy.Text(), kObjectLogSourceText);
}

std::int32_t WritePrintLog(const HostObject& step_trac, Conversions convert, TextBuffer& buffer,
                           std::initializer_list<std::u16string_view> parts) {
  BufferedText copy(buffer, parts);
  return WriteTrace(step_trac, convert, kPrintJournalLogPathText, copy.Text(), kNoSource);
}

}  // namespace clasp
