#include "output/journal.h"

#include "output/trace.h"

namespace clasp {

using namespace std::literals;

std::int32_t WriteJournal(const JournalHosts& hosts, Conversions convert, TextBuffer& buffer,
                          const std::u16string& chn_prompt, const std::u16string& eng_prompt,
                          std::int16_t& time_sig) {
  if (time_sig == kTimeSigWithoutPrintLog) {
    time_sig = kTimeSigStandard;
    hosts.StepJour.Put(u"isjrn"sv, HostValue::I2(0));
  } else {
    WritePrintLog(hosts.StepTrac, convert, buffer, {eng_prompt});
  }
  hosts.StepJour.Put(u"TimeSig"sv, HostValue::I2(time_sig));
  hosts.StepJour.Put(u"ChnPromptString"sv, HostValue::BorrowedText(chn_prompt));
  hosts.StepJour.Put(u"EngPromptString"sv, HostValue::BorrowedText(eng_prompt));
  const std::int32_t result = convert.ToInt32(hosts.StepJour.Invoke(u"JournalWriteMsg"sv));
  // isjrn goes back to what the module says, whatever kind it answers in.
  hosts.StepJour.Put(u"isjrn"sv, hosts.StepRunModul.Invoke(u"IsJRNDevice"sv));
  return result;
}

}  // namespace clasp
