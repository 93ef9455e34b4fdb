// The certification bench: every road of Cols run with an integrator's own
// host objects in the fields they name, each of their accesses judged
// against the host catalogue, and the verdicts reported per member and road.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/catalogue.h"
#include "sim/report.h"
#include "sim/scenario.h"

namespace clasp::sim {

// What the simulated hosts must answer (or raise) for a road to be taken.
struct Driver {
  MemberRef member;
  std::optional<HostValue> answer;  // absent: the member must raise
};

// One road of Cols, with the simulated answers that drive it.
struct Road {
  std::string name;
  std::string summary;
  Scenario scenario;
  std::vector<Driver> drivers;
};

// Every road the bench runs, in the order the report shows them.
std::vector<Road> CertificationRoads();

// How one member fared on one road; the order is the severity.
enum class Verdict { kNotUsed, kPass, kNotReached, kWarning, kFail };
// "pass", "fail", "warning", "not reached", or "-" for a member not used.
std::string_view VerdictName(Verdict verdict);

// One judgement of one access: what was checked, what happened, what the
// contract expects.
struct Finding {
  Verdict verdict = Verdict::kPass;
  std::string object;  // "StepJour"
  std::string member;  // "JournalWriteMsg", or "(count)" for the object as a whole
  int access = 0;      // the access's number in the road's sequence; 0 for the whole road
  std::string check;   // "member exists", "arguments", "by-reference text", "answer", ...
  std::string what;
  std::string expected;
};

// What the bench saw of one access to an integrator's object at the
// platform's level, in the order the accesses reached it.
struct AccessSeen {
  std::string member;
  std::vector<Finding> findings;  // access numbers are filled in when matched
};

// One road as run: its accesses, the findings on the integrator's objects,
// and why it was not reached when it was not.
struct RoadResult {
  std::string name;
  std::string summary;
  std::optional<std::string> not_reached;
  std::vector<Event> events;  // the component's accesses to the hosts, numbered
  Outcome outcome;
  std::vector<Finding> findings;
};

// A whole certification: which fields hold the integrator's objects, and every road.
struct Certification {
  std::vector<std::pair<HostRole, std::string>> hosts;  // field, what it was made from
  std::vector<RoadResult> roads;
};

// Judges one road's accesses: `seen` holds, per integrator's field, what the
// bench saw of each access; the answers are judged here against the catalogue.
// Decides whether the road was reached with the objects given.
RoadResult JudgeRoad(const Road& road, const Report& report,
                     const std::vector<std::pair<HostRole, std::vector<AccessSeen>>>& seen);

// A row of the verdict table: "StepJour.JournalWriteMsg".
struct Row {
  HostRole role;
  std::string member;
};
// The rows: every catalogue member of the integrator's objects, and the
// object's count where a road found it wrong.
std::vector<Row> Rows(const Certification& certification);
// The verdict of `row` on road number `road`.
Verdict Cell(const Certification& certification, const Row& row, std::size_t road);
// 0 when nothing failed, 1 when something did.
int ExitStatus(const Certification& certification);

// The reports: the terminal's verdict table with the findings under it,
// JSON, JUnit XML (a test case per member and road), a self-contained page.
std::string RenderCertificationText(const Certification& certification);
std::string RenderCertificationJson(const Certification& certification);
std::string RenderCertificationJunit(const Certification& certification);
std::string RenderCertificationHtml(const Certification& certification);

}  // namespace clasp::sim
