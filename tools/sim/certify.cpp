#include "sim/certify.h"

#include <algorithm>
#include <array>

#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"
#include "sim/sim_host.h"

namespace clasp::sim {
namespace {

// A road in the simulator's own option syntax: "Object.Member=VALUE" for an
// answer, "Object.Member!NUMBER:DESCRIPTION" for a raise.
struct RoadText {
  std::string_view name;
  std::string_view summary;
  std::array<std::string_view, 4> settings;
};

constexpr std::string_view kShown = "StepDisp.ScreenDisplay=0";
constexpr std::string_view kRetained = "StepMks.CardReaderRetain=10120011";

constexpr std::array<RoadText, 16> kRoads{{
    {"capture", "the reader retains the card; the report is sent and its answer unpacked",
     {kShown, kRetained}},
    {"not-retained", "the reader answers 0: no exception code, no report",
     {kShown, "StepMks.CardReaderRetain=0"}},
    {"device-fault", "device fault 7 on a fresh transaction: status character 3",
     {kShown, "StepMks.CardReaderRetain=7", "StepRunModul.TransAction1=text:0000"}},
    {"device-fault-again", "device fault 7 on a status character already 2",
     {kShown, "StepMks.CardReaderRetain=7", "StepRunModul.TransAction1=text:0020"}},
    {"display-failure", "the display answers 5: values blanked, reader not called",
     {"StepDisp.ScreenDisplay=5"}},
    {"failure-path", "the reader fails: the failure path journals and traces it",
     {kShown, "StepMks.CardReaderRetain!1234:Card jammed"}},
    {"failure-in-failure-path", "the reader fails and so does the failure path's journal entry",
     {kShown, "StepMks.CardReaderRetain!1234:Card jammed", "StepJour.JournalWriteMsg!5678:Paper out"}},
    {"report-control-num-6", "report gate: ControlNum 6 gives the detail flag 2",
     {kShown, kRetained, "StepRunModul.ControlNum=i2:6"}},
    {"report-pack-refused", "report gate: PackMessage answers 3, nothing is sent",
     {kShown, kRetained, "StepRunModul.PackMessage=3"}},
    {"report-comm-sign-closed", "report gate: CommSign 1, the message is not sent",
     {kShown, kRetained, "StepRunModul.CommSign=i2:1"}},
    {"report-write-only", "report gate: IsWriteOnly 1 sends with StepCommWriteOnly",
     {kShown, kRetained, "StepRunModul.IsWriteOnly=i2:1"}},
    {"report-send-failed", "report gate: the send answers 1, nothing is read",
     {kShown, kRetained, "StepRunModul.StepCommWrite=1"}},
    {"report-no-unpack", "report gate: IsUnPackOex 0, the answer is not read",
     {kShown, kRetained, "StepRunModul.IsUnPackOex=i2:0"}},
    {"report-read-failed", "report gate: StepCommRead answers 1, nothing is unpacked",
     {kShown, kRetained, "StepRunModul.StepCommRead=1"}},
    {"report-unpack-answer-9", "report gate: UnpackMessage answers 9, no failure",
     {kShown, kRetained, "StepRunModul.UnpackMessage=9"}},
    {"report-detail-answer-1", "report gate: WriteDetailFileName answers 1, no failure",
     {kShown, kRetained, "StepRunModul.WriteDetailFileName=1"}},
}};

constexpr std::string_view kCountMember = "(count)";

std::string MemberName(const Event& event) { return event.object + "." + event.member; }

std::string_view AccessName(Access access) {
  switch (access) {
    case Access::kGet: return "get";
    case Access::kPut: return "put";
    case Access::kCall: return "call";
  }
  return "call";
}

// The answer judged as the catalogue says the component uses it.
std::optional<Finding> JudgeAnswer(const MemberInfo& info, const HostValue& answer) {
  std::string expected;
  try {
    switch (info.answer) {
      case AnswerUse::kNone:
      case AnswerUse::kHandedOn:
        return std::nullopt;
      case AnswerUse::kInt32:
        expected = "an answer that converts to a 32-bit integer";
        ToInt32(answer);
        break;
      case AnswerUse::kText:
        expected = "an answer that converts to text";
        ToText(answer);
        break;
      case AnswerUse::kNullableText:
        expected = "an answer that converts to text, or null";
        ToNullableText(answer);
        break;
      case AnswerUse::kCompare:
        expected = "an answer that compares with a number (a number, empty or null)";
        CompareWith(answer, 0);
        break;
    }
  } catch (const Failure& failure) {
    Finding finding;
    finding.verdict = Verdict::kFail;
    finding.check = "answer";
    finding.what = "answered " + ShowTyped(answer) + ", which does not convert (" +
                   std::to_string(failure.Number()) + " " + Utf8(failure.Description()) + ")";
    finding.expected = expected;
    return finding;
  }
  return std::nullopt;
}

// Whether a driver's access answered as the road needs; says why not
// otherwise. A failure of the integrator's that turned the road aside before
// the driver, or on it, is judged on the road rather than excused from it.
std::optional<std::string> DriverMissed(const Driver& driver, const RoadResult& road) {
  const std::string object(RoleProperty(driver.member.role));
  const std::string name = object + "." + std::string(driver.member.Name());
  const auto hit = std::find_if(road.events.begin(), road.events.end(), [&](const Event& e) {
    return e.number > 0 && MemberName(e) == name && e.access != Access::kPut;
  });
  // Only a failure the component sees turns a road aside: a missing member,
  // refused arguments, an answer that does not convert.
  const auto failed = [&](const Finding& f) {
    const bool diverts = f.check.starts_with("member exists") || f.check.starts_with("arguments") ||
                         f.check.starts_with("answer");
    return f.verdict == Verdict::kFail && diverts &&
           (hit == road.events.end() || f.access <= hit->number);
  };
  if (std::any_of(road.findings.begin(), road.findings.end(), failed)) return std::nullopt;
  const std::string wanted =
      driver.answer ? "to answer " + ShowValue(*driver.answer) : std::string("to raise a failure");
  const std::string needs = "needs " + name + " " + wanted + "; " + object + " is your own object";
  if (hit == road.events.end()) return needs + ", and the road turned aside before it";
  if (!driver.answer) {
    if (hit->failure) return std::nullopt;
    return needs + ", and it answered " + (hit->answer ? ShowValue(*hit->answer) : "nothing");
  }
  if (hit->failure) return needs + ", and it raised " + std::to_string(hit->failure->Number());
  const HostValue answer = hit->answer ? *hit->answer : HostValue();
  const auto code = CodeOf(answer);
  const bool text = driver.answer->GetKind() == Kind::kText;
  const bool same = text ? answer.GetKind() == Kind::kText && answer.AsText() == driver.answer->AsText()
                         : code && code == CodeOf(*driver.answer);
  if (same) return std::nullopt;
  const std::string shown = !text && code && answer.GetKind() == Kind::kObject
                                ? "an object standing for " + std::to_string(*code)
                                : ShowValue(answer);
  return needs + ", and it answered " + shown;
}

}  // namespace

std::string_view VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kNotUsed: return "-";
    case Verdict::kPass: return "pass";
    case Verdict::kNotReached: return "not reached";
    case Verdict::kWarning: return "warning";
    case Verdict::kFail: return "fail";
  }
  return "-";
}

std::vector<Road> CertificationRoads() {
  std::vector<Road> roads;
  for (const RoadText& text : kRoads) {
    Road road;
    road.name = std::string(text.name);
    road.summary = std::string(text.summary);
    road.scenario.name = road.name;
    road.scenario.description = road.summary;
    for (const std::string_view setting : text.settings) {
      if (setting.empty()) continue;
      const std::size_t cut = setting.find_first_of("=!");
      const MemberRef member = ParseMemberOption("road", std::string(setting.substr(0, cut)));
      const std::string rest(setting.substr(cut + 1));
      if (setting[cut] == '!') {
        road.scenario.raises.insert_or_assign(member, ParseFailureOption("road", rest));
        road.drivers.push_back({member, std::nullopt});
      } else {
        const HostValue value = ParseValueOption("road", rest);
        road.scenario.answers[member] = value;
        road.drivers.push_back({member, value});
      }
    }
    // The two send members answer alike, whichever one the gates choose.
    const MemberRef send = ParseMemberOption("road", "StepRunModul.StepCommWrite");
    if (const auto it = road.scenario.answers.find(send); it != road.scenario.answers.end()) {
      road.scenario.answers[ParseMemberOption("road", "StepRunModul.StepCommWriteOnly")] =
          it->second;
    }
    roads.push_back(std::move(road));
  }
  return roads;
}

RoadResult JudgeRoad(const Road& road, const Report& report,
                     const std::vector<std::pair<HostRole, std::vector<AccessSeen>>>& seen) {
  RoadResult result;
  result.name = road.name;
  result.summary = road.summary;
  result.outcome = report.outcome;
  for (const Event& event : report.step) {
    if (event.number > 0 || event.raised_inside) result.events.push_back(event);
  }
  for (const auto& [role, accesses] : seen) {
    const std::string object(RoleProperty(role));
    std::size_t next = 0;
    for (const Event& event : result.events) {
      if (event.object != object || event.number == 0) continue;
      const auto index = FindMember(role, event.member);
      // What the bench saw of this access: the next one of the same name.
      std::vector<Finding> found;
      for (std::size_t i = next; i < accesses.size(); ++i) {
        if (SameIgnoringCase(std::string_view(accesses[i].member), std::string_view(event.member))) {
          found = accesses[i].findings;
          next = i + 1;
          break;
        }
      }
      if (index && event.answer && !event.failure && event.access != Access::kPut) {
        if (auto finding = JudgeAnswer(Members(role)[*index], *event.answer)) {
          found.push_back(std::move(*finding));
        }
      }
      if (found.empty()) {
        Finding pass;
        pass.check = "access";
        pass.what = "as the contract expects";
        found.push_back(std::move(pass));
      }
      for (Finding& finding : found) {
        finding.object = object;
        finding.member = index ? std::string(Members(role)[*index].name) : event.member;
        finding.access = event.number;
        finding.check = finding.check + " (" + std::string(AccessName(event.access)) + ")";
        result.findings.push_back(std::move(finding));
      }
    }
  }
  // A road is the integrator's to take only where their object drives it.
  for (const Driver& driver : road.drivers) {
    const bool theirs = std::any_of(seen.begin(), seen.end(),
                                    [&](const auto& s) { return s.first == driver.member.role; });
    if (!theirs) continue;
    if (auto missed = DriverMissed(driver, result)) {
      result.not_reached = std::move(missed);
      break;
    }
  }
  return result;
}

std::vector<Row> Rows(const Certification& certification) {
  std::vector<Row> rows;
  for (const auto& [role, name] : certification.hosts) {
    for (const MemberInfo& member : Members(role)) rows.push_back({role, std::string(member.name)});
    const std::string object(RoleProperty(role));
    const bool counted = std::any_of(
        certification.roads.begin(), certification.roads.end(), [&](const RoadResult& road) {
          return std::any_of(road.findings.begin(), road.findings.end(), [&](const Finding& f) {
            return f.object == object && f.member == kCountMember;
          });
        });
    if (counted) rows.push_back({role, std::string(kCountMember)});
  }
  return rows;
}

Verdict Cell(const Certification& certification, const Row& row, std::size_t road) {
  const RoadResult& result = certification.roads[road];
  if (result.not_reached) return Verdict::kNotReached;
  const std::string object(RoleProperty(row.role));
  Verdict verdict = Verdict::kNotUsed;
  for (const Finding& finding : result.findings) {
    if (finding.object == object && finding.member == row.member) {
      verdict = std::max(verdict, finding.verdict);
    }
  }
  return verdict;
}

int ExitStatus(const Certification& certification) {
  for (const RoadResult& road : certification.roads) {
    if (road.not_reached) continue;
    for (const Finding& finding : road.findings) {
      if (finding.verdict == Verdict::kFail) return 1;
    }
  }
  return 0;
}

}  // namespace clasp::sim
