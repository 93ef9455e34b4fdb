// The certification bench: every road of Cols run with an integrator's own
// host objects in the fields they name, each of their accesses judged
// against the host catalogue, and the verdicts reported per member and road.
#pragma once

#include <map>
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
  // Set when a failure of the integrator's turned the road aside before its
  // driving member: judged as far as it went, but not reached.
  std::optional<std::string> turned_aside;
  std::vector<Event> events;  // the component's accesses to the hosts, numbered
  Outcome outcome;
  std::vector<Finding> findings;
};

// What one certified object was made from: a registered class (ProgID,
// class, module, its version and digest) or a script (its path and digest).
struct ObjectProvenance {
  std::string field;  // "StepDisp", or "Clasp.Holdfast" for the component itself
  std::string prog_id;
  std::string clsid;
  std::string module;
  std::string file_version;
  std::string script;
  std::string sha256;
};

// Where and of what a certification was made, so that a reader can tell
// later whether what is installed is what was certified.
struct Provenance {
  std::string clasp_version;
  std::string contract_version;
  int bits = 0;
  std::string utc_time;  // "2026-12-09 13:55:00"
  ObjectProvenance component;
  std::vector<ObjectProvenance> objects;
};

// A whole certification: which fields hold the integrator's objects, and every road.
struct Certification {
  Provenance provenance;
  std::vector<std::pair<HostRole, std::string>> hosts;  // field, what it was made from
  std::vector<RoadResult> roads;
  // Whether the bench answered driving members in place of the integrator's
  // objects (off with --no-substitute: their answers then decide the roads).
  bool substitute = true;
  // Checks the bench cannot make on some objects, in words, for the report.
  std::vector<std::string> not_judged;
};

// The members whose answers the bench hands the component on `road` in
// place of the object in `role`, by catalogue index.
std::map<std::size_t, Handed> HandedOn(const Road& road, HostRole role);

// How far a certification got, counted the way its verdict line says it.
struct Coverage {
  std::size_t roads = 0;
  std::size_t reached = 0;
  std::size_t failures = 0;  // findings that fail, on reached roads
  std::size_t warnings = 0;
  std::size_t substitutions = 0;
  std::vector<std::string> objects_not_reached;  // named objects no road reached
  // Every road reached, every named object reached, nothing failed.
  bool Certified() const;
};
Coverage Cover(const Certification& certification);
// "Certified: 16 of 16 roads reached, 0 failures, 2 warnings, 5 substitutions",
// or "Not certified: 4 of 16 roads reached, ...".
std::string VerdictLine(const Coverage& coverage);
// The accesses on `road` where the bench handed the component its own answer.
std::vector<const Event*> Substitutions(const RoadResult& road);
// "StepMks.CardReaderRetain #8 (call): your object answered 0; the component
// was handed 10120011".
std::string SubstitutionLine(const Event& event);

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
// 0 when certified, 1 otherwise.
int ExitStatus(const Certification& certification);

// The reports: the terminal's verdict table with the findings under it,
// JSON, JUnit XML (a test case per member and road), a self-contained page.
std::string RenderCertificationText(const Certification& certification);
std::string RenderCertificationJson(const Certification& certification);
std::string RenderCertificationJunit(const Certification& certification);
std::string RenderCertificationHtml(const Certification& certification);
// The provenance, coverage and verdict alone, as one small JSON document a
// terminal's change control keeps and `clasp-check --certificate` reads.
std::string RenderCertificate(const Certification& certification);

}  // namespace clasp::sim
