// The five simulated hosts: what each member does besides answering.
#include <cstdint>
#include <memory>

#include <nlohmann/json.hpp>

#include "component/holdfast.h"
#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"
#include "output/trace.h"
#include "sim/sim_host.h"

namespace clasp::sim {
namespace {

constexpr std::int32_t kSuccess = 0;
// What a freshly started host holds before the step runs.
constexpr std::int16_t kJournalDeviceOn = 1;
constexpr std::int16_t kUnpackWanted = 1;
constexpr std::int32_t kTimeOutSeconds = 30;
constexpr std::int32_t kReceiveBufferLength = 256;
constexpr const char16_t* kInitialStatus = u"0000";
// The bank host's answer to an OEX message when the read succeeds.
constexpr const char16_t* kBankAnswer = u"OEX|00|ACCEPTED";

HostValue Answer(const HostValue* configured, HostValue otherwise) {
  return configured ? *configured : std::move(otherwise);
}

// A configured value as the transcript shows it: its text, or its kind and
// value when it has no text.
std::string ShownText(const HostValue* value) {
  if (!value) return "(not set)";
  try {
    return Utf8(ToText(*value));
  } catch (const Failure&) {
    return ShowTyped(*value);
  }
}

bool Succeeds(const HostValue& answer) { return CodeOf(answer) == kSuccess; }

StateLine Line(std::string name, std::string shown, nlohmann::ordered_json values) {
  return {std::move(name), std::move(shown),
          std::make_shared<const nlohmann::ordered_json>(std::move(values))};
}

std::string AnswerWords(const HostValue& answer) {
  const auto code = CodeOf(answer);
  return code ? "answer " + std::to_string(*code) : "an answer that is not a number";
}

class Display final : public SimHost {
 public:
  explicit Display(World& world) : SimHost(HostRole::kDisp, world) {}

  std::vector<StateLine> State() const override {
    std::string shown;
    nlohmann::ordered_json values;
    for (const char* member : {"DisapleVal01", "DisapleVal02", "DisapleVal03", "DisapleVal04"}) {
      shown += (shown.empty() ? "" : " ") + Show(member);
      values[std::string("StepDisp.") + member] = ValueJson(Property(member));
    }
    return {Line("StepDisp.ScreenNo", Show("ScreenNo"),
                 {{"StepDisp.ScreenNo", ValueJson(Property("ScreenNo"))}}),
            Line("StepDisp.DisapleVal01..04", shown, values)};
  }

 private:
  std::string Show(std::string_view member) const {
    const HostValue* value = Property(member);
    return value ? ShowValue(*value) : "-";
  }

  HostValue Act(std::string_view, std::span<const HostValue>, const HostValue* configured,
                Event& event) override {
    HostValue answer = Answer(configured, HostValue::I4(kSuccess));
    const std::string screen = ShownText(Property("ScreenNo"));
    if (!Succeeds(answer)) {
      event.notes.push_back("could not show screen " + screen + " (" + AnswerWords(answer) + ")");
      return answer;
    }
    std::string shown = "shows screen " + screen;
    for (const char* member : {"DisapleVal01", "DisapleVal02", "DisapleVal03", "DisapleVal04"}) {
      const HostValue* value = Property(member);
      if (value && !(value->GetKind() == Kind::kText && value->AsText().empty())) {
        shown += std::string(", ") + member + " " + ShowValue(*value);
      }
    }
    event.notes.push_back(shown);
    return answer;
  }
};

class CardReader final : public SimHost {
 public:
  explicit CardReader(World& world) : SimHost(HostRole::kMks, world) {}

 private:
  HostValue Act(std::string_view, std::span<const HostValue>, const HostValue* configured,
                Event& event) override {
    // Left alone, the reader captures the card: the step's main purpose.
    HostValue answer = Answer(configured, HostValue::I4(kRetained));
    const auto code = CodeOf(answer);
    if (!code) {
      event.notes.push_back("the reader answers something that is not a result code");
    } else if (*code == kNotRetained) {
      event.notes.push_back("the card was not retained");
    } else if (*code == kRetained) {
      event.notes.push_back("the card was retained");
    } else {
      event.notes.push_back("device fault " + std::to_string(*code));
    }
    return answer;
  }
};

class RunModul final : public SimHost {
 public:
  explicit RunModul(World& world) : SimHost(HostRole::kRunModul, world) {
    SetDefault("TransAction1", HostValue::Text(kInitialStatus));
    SetDefault("ControlNum", HostValue::I2(0));
    SetDefault("CommSign", HostValue::I2(0));
    SetDefault("IsWriteOnly", HostValue::I2(0));
    SetDefault("SendMessage", HostValue::Text(u""));
    SetDefault("SendMessageLen", HostValue::I4(0));
    SetDefault("IsUnPackOex", HostValue::I2(kUnpackWanted));
    SetDefault("TimeOutComm", HostValue::I4(kTimeOutSeconds));
    SetDefault("RecieveMessage", HostValue::Text(u""));
    SetDefault("RecieveMessageLen", HostValue::I4(kReceiveBufferLength));
    SetDefault("IsJRNDevice", HostValue::I2(kJournalDeviceOn));
  }

  std::vector<StateLine> State() const override {
    return {Line("StepRunModul.TransAction1", Show("TransAction1"),
                 {{"StepRunModul.TransAction1", ValueJson(Property("TransAction1"))}}),
            Line("StepRunModul.ExcepCode", Show("ExcepCode"),
                 {{"StepRunModul.ExcepCode", ValueJson(Property("ExcepCode"))}}),
            Line("RecordMessage calls", records_.empty() ? "none" : records_,
                 {{"RecordMessage calls", record_values_}}),
            Line("OEX message", oex_.empty() ? "not packed" : oex_, {{"OEX message", oex_values_}})};
  }

 private:
  std::string Show(std::string_view member) const {
    const HostValue* value = Property(member);
    return value ? ShowValue(*value) : "not set";
  }

  void Assigned(std::string_view member, const HostValue& value, Event& event) override {
    if (member == "TransAction1") {
      event.notes.push_back("status " + Show("TransAction1") + " becomes " + ShowValue(value));
    }
  }

  HostValue Act(std::string_view member, std::span<const HostValue> args,
                const HostValue* configured, Event& event) override {
    HostValue answer = Answer(configured, HostValue::I4(kSuccess));
    if (member == "RecordMessage") {
      const std::string call = ShownText(&args[0]) + " " + ShownText(&args[1]);
      records_ += (records_.empty() ? "" : "; ") + call;
      record_values_.push_back(nlohmann::ordered_json::array({ValueJson(args[0]), ValueJson(args[1])}));
      event.notes.push_back("records message " + call);
    } else if (member == "WriteDetailFileName") {
      const std::string record = ShownText(&args[0]) + " " + ShownText(&args[1]) + " " +
                                 ShownText(&args[2]) + " flag " + ShownText(&args[3]) + "  status " +
                                 Show("TransAction1") + "  exception " + Show("ExcepCode");
      world_.files.Append(LogFile::kDetail, record);
      event.notes.push_back(LogFiles::Name(LogFile::kDetail) + ": " + record);
    } else if (member == "PackMessage") {
      Pack(ShownText(&args[0]), answer, event);
    } else if (member == "StepCommWrite" || member == "StepCommWriteOnly") {
      Send(member == "StepCommWriteOnly", args, answer, event);
    } else if (member == "StepCommRead") {
      if (Succeeds(answer)) {
        const HostValue reply = Configured("RecieveMessage") ? *Property("RecieveMessage")
                                                             : HostValue::Text(kBankAnswer);
        SetProperty("RecieveMessage", reply);
        reply_ = ShownText(&reply);
        event.notes.push_back("reads the bank host's answer " + ShowValue(reply) +
                              " (waits up to " + ShownText(&args[0]) + " s)");
        oex_ += ", answer " + ShowValue(reply) + " read";
        oex_values_["answer"] = ValueJson(reply);
      } else {
        event.notes.push_back("no answer from the bank host (" + AnswerWords(answer) + ")");
        oex_ += ", no answer read";
        oex_values_["answer"] = false;
      }
    } else if (member == "UnpackMessage") {
      event.notes.push_back("unpacks the " + ShownText(&args[0]) + " answer " +
                            (reply_.empty() ? "(none was read)" : "\"" + reply_ + "\""));
      oex_ += " and unpacked";
      oex_values_["unpacked"] = true;
    }
    return answer;
  }

  void Pack(const std::string& type, const HostValue& answer, Event& event) {
    if (!Succeeds(answer)) {
      event.notes.push_back("packing refused (" + AnswerWords(answer) + ")");
      return;
    }
    // The fields the bank host needs to know about a retained card.
    const std::string message = type + "|EXCEP=" + ShownText(Property("ExcepCode")) +
                                "|STATUS=" + ShownText(Property("TransAction1"));
    const std::u16string packed = Utf16(message);
    SetDefault("SendMessage", HostValue::Text(packed));
    SetDefault("SendMessageLen", HostValue::I4(static_cast<std::int32_t>(packed.size())));
    oex_ = "\"" + message + "\" packed";
    oex_values_ = {{"packed", ValueJson(HostValue::Text(packed))}};
    event.notes.push_back("packs " + type + " message \"" + message + "\"");
  }

  void Send(bool write_only, std::span<const HostValue> args, const HostValue& answer,
            Event& event) {
    if (!Succeeds(answer)) {
      event.notes.push_back("sending failed (" + AnswerWords(answer) + ")");
      oex_ += ", sending failed";
      oex_values_["sent"] = false;
      return;
    }
    event.notes.push_back("sends " + ShownText(&args[1]) + " characters to the bank host: " +
                          ShowValue(args[0]) + (write_only ? " (no answer expected)" : ""));
    oex_ += write_only ? ", sent (write only)" : ", sent";
    oex_values_["sent"] = write_only ? "StepCommWriteOnly" : "StepCommWrite";
  }

  std::string records_;
  std::string oex_;
  // The same as values for JSON: the arguments of each call; what happened to
  // the OEX message ("packed", "sent", "answer", "unpacked"), null until packed.
  nlohmann::ordered_json record_values_ = nlohmann::ordered_json::array();
  nlohmann::ordered_json oex_values_;
  std::string reply_;
};

class TraceWriter final : public SimHost {
 public:
  explicit TraceWriter(World& world) : SimHost(HostRole::kTrac, world) {}

 private:
  HostValue Act(std::string_view, std::span<const HostValue> args, const HostValue* configured,
                Event& event) override {
    const std::u16string path = ToText(args[0]);
    const std::string text = Utf8(ToText(args[1]));
    const std::string source = Utf8(ToText(args[2]));
    LogFile file;
    if (SameFile(path, kObjectLogPath)) {
      file = LogFile::kObjectLog;
    } else if (SameFile(path, kPrintJournalLogPath)) {
      file = LogFile::kPrintJournalLog;
    } else {
      event.notes.push_back("this terminal has no such log file");
      throw Failure::Standard(kPathNotFound);
    }
    world_.files.Append(file, source.empty() ? text : "[" + source + "] " + text);
    event.notes.push_back(LogFiles::Name(file) + ": " + text);
    return Answer(configured, HostValue::I4(kSuccess));
  }

  // Windows paths: the same file whatever the case of the letters.
  static bool SameFile(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
      if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
  }
};

class JournalPrinter final : public SimHost {
 public:
  explicit JournalPrinter(World& world) : SimHost(HostRole::kJour, world) {
    SetDefault("isjrn", HostValue::I2(kJournalDeviceOn));
  }

  std::vector<StateLine> State() const override {
    const HostValue* isjrn = Property("isjrn");
    return {Line("StepJour.isjrn", isjrn ? ShowTyped(*isjrn) : "not set",
                 {{"StepJour.isjrn", ValueJson(isjrn)}})};
  }

 private:
  HostValue Act(std::string_view, std::span<const HostValue>, const HostValue* configured,
                Event& event) override {
    const std::string entry = "TimeSig " + ShownText(Property("TimeSig")) + "  isjrn " +
                              ShownText(Property("isjrn")) + "  " +
                              ShownText(Property("ChnPromptString")) + " | " +
                              ShownText(Property("EngPromptString"));
    world_.files.Append(LogFile::kJournal, entry);
    event.notes.push_back(LogFiles::Name(LogFile::kJournal) + ": " + entry);
    return Answer(configured, HostValue::I4(kSuccess));
  }
};

}  // namespace

Ref<SimHost> SimHost::Create(HostRole role, World& world) {
  SimHost* host = nullptr;
  switch (role) {
    case HostRole::kDisp: host = new Display(world); break;
    case HostRole::kMks: host = new CardReader(world); break;
    case HostRole::kRunModul: host = new RunModul(world); break;
    case HostRole::kTrac: host = new TraceWriter(world); break;
    case HostRole::kJour: host = new JournalPrinter(world); break;
  }
  return Ref<SimHost>::Adopt(host);
}

}  // namespace clasp::sim
