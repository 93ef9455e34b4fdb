// The certification run in the Windows build: the integrator's objects,
// created by ProgID or left by their script, each behind a probe, on every road.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

#include "common/module_identity.h"
#include "common/sha256.h"
#include "server/com/host_object_adapter.h"
#include "certify/certify_main.h"
#include "certify/certify_probe.h"
#include "com/com_support.h"
#include "sim/component.h"
#include "sim/contract_check.h"
#include "sim/real_host.h"
#include "sim/recording_proxy.h"
#include "sim/run.h"
#include "certify/script_host.h"

namespace clasp::sim {
namespace {

// One of the integrator's objects, held for one road.
struct Candidate {
  HostRole role;
  std::string name;
  ComPtr<IDispatch> object;
  ScriptHost* script = nullptr;  // the script that made it, if one did
};

// The integrator's objects made afresh for one road: compiled ones created
// again by ProgID, the script run again, so that nothing one road left in
// them decides the next.
struct Fresh {
  std::unique_ptr<ScriptHost> script;  // declared first: it outlives its objects
  std::vector<Candidate> candidates;
};

Fresh MakeFresh(const CertifyRequest& request) {
  Fresh fresh;
  for (const auto& [role, prog_id] : request.hosts) {
    fresh.candidates.push_back({role, prog_id, CreateDispatch(prog_id)});
  }
  if (!request.script.empty()) {
    fresh.script = std::make_unique<ScriptHost>(request.script);
    for (auto& [role, object] : fresh.script->Objects()) {
      const auto same = [role = role](const Candidate& c) { return c.role == role; };
      if (std::any_of(fresh.candidates.begin(), fresh.candidates.end(), same)) {
        throw InputError("--host-script: " + std::string(RoleProperty(role)) +
                         " is given by --host too; give it once");
      }
      fresh.candidates.push_back({role,
                                  request.script + " (" + std::string(RoleProperty(role)) + ")",
                                  std::move(object), fresh.script.get()});
    }
    if (fresh.candidates.empty()) {
      throw InputError("--host-script: " + request.script +
                       " sets none of StepDisp, StepMks, StepRunModul, StepTrac, StepJour");
    }
  }
  std::sort(fresh.candidates.begin(), fresh.candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.role < b.role; });
  return fresh;
}

// A road's accesses must not keep the integrator's objects alive: answers
// that are objects are kept as words only.
void DropObjects(std::vector<Event>& events) {
  for (Event& event : events) {
    if (event.answer && event.answer->GetKind() == Kind::kObject) {
      event.answer.reset();
      event.notes.push_back("answered an object");
    }
  }
}

RoadResult RunRoad(const Road& road, const std::vector<Candidate>& candidates,
                   const CertifyRequest& request) {
  std::vector<std::pair<HostRole, std::vector<AccessSeen>>> seen;
  seen.reserve(candidates.size());
  std::vector<ULONG> before;
  for (const Candidate& c : candidates) {
    seen.emplace_back(c.role, std::vector<AccessSeen>{});
    before.push_back(CountOf(c.object.Get()));
  }
  RoadResult result;
  {
    RealHosts real;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      ScriptHost* script = candidates[i].script;
      std::function<std::string()> reported;
      if (script) reported = [script] { return script->TakeReportedError(); };
      const ComPtr<IDispatch> probe =
          MakeProbe(candidates[i].object.Get(), seen[i].second, std::move(reported));
      RealHost host{HostObjectAdapter::Wrap(probe.Get()), candidates[i].name, {}};
      if (request.substitute) host.handed = HandedOn(road, candidates[i].role);
      real.insert_or_assign(candidates[i].role, std::move(host));
    }
    std::unique_ptr<Component> component = MakeComComponent();
    const Report report =
        Run(road.scenario, *component, LogFiles(request.log_dir, request.clock), real);
    // The verdicts mean something only while the component keeps to the
    // contract they are judged by: an access outside it stops the bench.
    for (const Event& event : report.step) {
      if (const auto departure = ContractDeparture(event)) {
        throw std::runtime_error("road " + road.name + ": the component's access " +
                                 *departure + " (contract " + std::string(ContractVersion()) +
                                 ")");
      }
    }
    result = JudgeRoad(road, report, seen);
  }
  DropObjects(result.events);
  // With the component and every probe gone, each object's count must be
  // where it was before the road, unless an access already accounts for it.
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const ULONG after = CountOf(candidates[i].object.Get());
    const std::string object(RoleProperty(candidates[i].role));
    const bool explained =
        std::any_of(result.findings.begin(), result.findings.end(), [&](const Finding& f) {
          return f.object == object && f.check.rfind("count", 0) == 0;
        });
    if (after == before[i] || explained) continue;
    result.findings.push_back({Verdict::kFail, object, "(count)", 0, "count (whole road)",
                               "the object's count was " + std::to_string(before[i]) +
                                   " before the road and " + std::to_string(after) + " after it",
                               "the count back where it started"});
  }
  return result;
}

constexpr std::string_view kComponentProgId = "Clasp.Holdfast";
constexpr int kBitsPerByte = 8;

ObjectProvenance OfProgId(std::string field, const std::string& prog_id) {
  const tools::ModuleIdentity identity = tools::IdentifyProgId(prog_id);
  return {std::move(field), prog_id, identity.clsid, identity.module, identity.file_version, {},
          identity.sha256};
}

std::string UtcNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  return text;
}

Provenance ProvenanceOf(const CertifyRequest& request) {
  Provenance provenance;
  provenance.clasp_version = request.clasp_version;
  provenance.contract_version = std::string(ContractVersion());
  provenance.bits = static_cast<int>(sizeof(void*)) * kBitsPerByte;
  provenance.utc_time = UtcNow();
  provenance.component = OfProgId("component", std::string(kComponentProgId));
  for (const auto& [role, prog_id] : request.hosts) {
    provenance.objects.push_back(OfProgId(std::string(RoleProperty(role)), prog_id));
  }
  return provenance;
}

}  // namespace

Certification Certify(const CertifyRequest& request) {
  const ComInit com;
  Certification certification;
  certification.provenance = ProvenanceOf(request);
  certification.substitute = request.substitute;
  if (!request.script.empty() && RunningOnWine()) {
    certification.not_judged.push_back(
        "by-reference text (Wine's script engine never writes a by-reference argument back to "
        "its caller, so a script that frees or replaces it cannot be seen doing so)");
  }
  for (const Road& road : CertificationRoads()) {
    Fresh fresh = MakeFresh(request);
    if (certification.hosts.empty()) {
      for (const Candidate& c : fresh.candidates) {
        certification.hosts.emplace_back(c.role, c.name);
        if (!c.script) continue;
        const std::filesystem::path path = std::filesystem::absolute(request.script);
        ObjectProvenance script{std::string(RoleProperty(c.role)), {}, {}, {}, {}, path.string(),
                                tools::Sha256OfFile(path).value_or("")};
        certification.provenance.objects.push_back(std::move(script));
      }
      std::stable_sort(certification.provenance.objects.begin(),
                       certification.provenance.objects.end(),
                       [](const ObjectProvenance& a, const ObjectProvenance& b) {
                         return FindRole(a.field) < FindRole(b.field);
                       });
    }
    certification.roads.push_back(RunRoad(road, fresh.candidates, request));
  }
  return certification;
}

}  // namespace clasp::sim
