#include "certify/certify.h"

#include <algorithm>
#include <array>
#include <set>

#include "host/convert.h"
#include "host/failure.h"
#include "host/text.h"
#include "sim/recording_proxy.h"
#include "sim/sim_host.h"

namespace clasp::sim {
namespace {

constexpr std::string_view kCountMember = "(count)";

std::string MemberName(const Event& event) { return event.object + "." + event.member; }

// The two send members answer alike on every road, whichever one the gates
// choose: a driver on one is met by the other.
constexpr std::string_view kSend = "StepRunModul.StepCommWrite";
constexpr std::string_view kSendOnly = "StepRunModul.StepCommWriteOnly";
bool Meets(const std::string& driver, const std::string& access) {
  return access == driver || (driver == kSend && access == kSendOnly);
}

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

// Why a driver's access did not answer as the road needs, if it did not.
// A failure of the integrator's that turned the road aside before the
// driver, or on it, leaves the road judged as far as it went but not reached.
struct Missed {
  std::string why;
  bool turned_aside = false;
};
std::optional<Missed> DriverMissed(const Driver& driver, const RoadResult& road) {
  const std::string object(RoleProperty(driver.member.role));
  const std::string name = object + "." + std::string(driver.member.Name());
  const auto hit = std::find_if(road.events.begin(), road.events.end(), [&](const Event& e) {
    return e.number > 0 && Meets(name, MemberName(e)) && e.access != Access::kPut;
  });
  if (hit != road.events.end() && hit->handed) return std::nullopt;
  const std::string wanted =
      driver.answer ? "to answer " + ShowValue(*driver.answer) : std::string("to raise a failure");
  const std::string needs = "needs " + name + " " + wanted + "; " + object + " is your own object";
  // Only a failure the component sees turns a road aside: a missing member,
  // refused arguments, an answer that does not convert, or a raise.
  const auto turns_aside = [&](const Finding& f) {
    const bool diverts = f.check.starts_with("member exists") || f.check.starts_with("arguments") ||
                         f.check.starts_with("answer");
    const bool raised = f.check.starts_with("failure described");
    return ((f.verdict == Verdict::kFail && diverts) || raised) &&
           (hit == road.events.end() || f.access < hit->number);
  };
  const auto failed = std::find_if(road.findings.begin(), road.findings.end(), turns_aside);
  if (failed != road.findings.end()) {
    return Missed{needs + ", and " + failed->object + "." + failed->member + " #" +
                      std::to_string(failed->access) + " turned the road aside before it (" +
                      failed->check + ")",
                  true};
  }
  if (hit == road.events.end()) return Missed{needs + ", and the road turned aside before it"};
  if (!driver.answer) {
    if (hit->failure) return std::nullopt;
    const std::string answered = hit->answer ? ShowValue(*hit->answer) : "nothing";
    return Missed{needs + ", and it answered " + answered};
  }
  if (hit->failure) {
    return Missed{needs + ", and it raised " + std::to_string(hit->failure->Number())};
  }
  const HostValue answer = hit->answer ? *hit->answer : HostValue();
  if (AlreadyHanded(Handed{driver.answer, std::nullopt}, answer, std::nullopt)) return std::nullopt;
  const auto code = CodeOf(answer);
  const bool text = driver.answer->GetKind() == Kind::kText;
  const std::string shown = !text && code && answer.GetKind() == Kind::kObject
                                ? "an object standing for " + std::to_string(*code)
                                : ShowValue(answer);
  return Missed{needs + ", and it answered " + shown};
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
  for (const ContractRoad& text : ContractRoads()) {
    Road road;
    road.name = std::string(text.name);
    road.summary = std::string(text.summary);
    road.scenario.name = road.name;
    road.scenario.description = road.summary;
    for (const std::string_view setting : text.drivers) {
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
    const MemberRef send = ParseMemberOption("road", std::string(kSend));
    if (const auto it = road.scenario.answers.find(send); it != road.scenario.answers.end()) {
      road.scenario.answers[ParseMemberOption("road", std::string(kSendOnly))] = it->second;
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
      (missed->turned_aside ? result.turned_aside : result.not_reached) = std::move(missed->why);
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

std::map<std::size_t, Handed> HandedOn(const Road& road, HostRole role) {
  std::map<std::size_t, Handed> handed;
  for (const Driver& driver : road.drivers) {
    if (driver.member.role != role) continue;
    Handed given;
    if (driver.answer) {
      given.answer = driver.answer;
    } else {
      given.failure = road.scenario.raises.at(driver.member);
    }
    handed.insert_or_assign(driver.member.index, given);
    const std::string name =
        std::string(RoleProperty(role)) + "." + std::string(driver.member.Name());
    if (name == kSend) {
      handed.insert_or_assign(ParseMemberOption("road", std::string(kSendOnly)).index, given);
    }
  }
  return handed;
}

std::vector<const Event*> Substitutions(const RoadResult& road) {
  std::vector<const Event*> handed;
  for (const Event& event : road.events) {
    if (event.handed) handed.push_back(&event);
  }
  return handed;
}

std::string SubstitutionLine(const Event& event) {
  // No answer kept: it was an object, dropped so as not to keep it alive.
  std::string theirs = event.failure ? "raised " + std::to_string(event.failure->Number())
                       : event.answer ? "answered " + ShowValue(*event.answer)
                                      : std::string("answered an object");
  const Handed& handed = *event.handed;
  const std::string given = handed.failure
                                ? "failure " + std::to_string(handed.failure->Number()) + " " +
                                      Utf8(handed.failure->Description())
                                : ShowValue(*handed.answer);
  return MemberName(event) + " #" + std::to_string(event.number) + " (" +
         std::string(AccessName(event.access)) + "): your object " + theirs +
         "; the component was handed " + given;
}

bool Coverage::Certified() const {
  return reached == roads && failures == 0 && objects_not_reached.empty();
}

Coverage Cover(const Certification& certification) {
  Coverage coverage;
  coverage.roads = certification.roads.size();
  std::set<std::string> reached_objects;
  for (const RoadResult& road : certification.roads) {
    for (const Event& event : road.events) {
      if (event.number > 0) reached_objects.insert(event.object);
    }
    if (road.not_reached) continue;
    if (!road.turned_aside) ++coverage.reached;
    coverage.substitutions += Substitutions(road).size();
    for (const Finding& finding : road.findings) {
      if (finding.verdict == Verdict::kFail) ++coverage.failures;
      if (finding.verdict == Verdict::kWarning) ++coverage.warnings;
    }
  }
  for (const auto& [role, name] : certification.hosts) {
    const std::string object(RoleProperty(role));
    if (!reached_objects.contains(object)) coverage.objects_not_reached.push_back(object);
  }
  return coverage;
}

std::string VerdictLine(const Coverage& c) {
  const auto count = [](std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
  };
  std::string line = std::string(c.Certified() ? "Certified: " : "Not certified: ") +
                     std::to_string(c.reached) + " of " + count(c.roads, "road", "roads") +
                     " reached, " + count(c.failures, "failure", "failures") + ", " +
                     count(c.warnings, "warning", "warnings") + ", " +
                     count(c.substitutions, "substitution", "substitutions");
  for (const std::string& object : c.objects_not_reached) line += "; " + object + " never reached";
  return line;
}

int ExitStatus(const Certification& certification) {
  return Cover(certification).Certified() ? 0 : 1;
}

}  // namespace clasp::sim
