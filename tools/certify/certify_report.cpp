// The certification's reports: the terminal's table, JSON, JUnit XML and one
// self-contained page with a sequence diagram per road.
#include <algorithm>
#include <map>

#include <nlohmann/json.hpp>

#include "host/text.h"
#include "certify/certify.h"
#include "sim/sim_host.h"

namespace clasp::sim {
namespace {

using nlohmann::ordered_json;

// Column widths of the terminal report.
constexpr std::size_t kNameWidth = 34;
constexpr std::size_t kCellWidth = 6;
constexpr std::size_t kFieldWidth = 14;
constexpr std::size_t kProvenanceWidth = 16;
constexpr std::size_t kRoadNumberWidth = 6;
constexpr std::size_t kRoadNameWidth = 26;

std::string_view CellText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kNotUsed: return "-";
    case Verdict::kPass: return "ok";
    case Verdict::kNotReached: return "n/r";
    case Verdict::kWarning: return "warn";
    case Verdict::kFail: return "FAIL";
  }
  return "-";
}

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string RowName(const Row& row) { return std::string(RoleProperty(row.role)) + "." + row.member; }

std::string_view AccessWord(Access access) {
  switch (access) {
    case Access::kGet: return "get";
    case Access::kPut: return "put";
    case Access::kCall: return "call";
  }
  return "call";
}

// The findings worth a line: every one that is not a pass, on reached roads.
std::vector<std::pair<const RoadResult*, const Finding*>> Departures(const Certification& c) {
  std::vector<std::pair<const RoadResult*, const Finding*>> out;
  for (const RoadResult& road : c.roads) {
    if (road.not_reached) continue;
    for (const Finding& f : road.findings) {
      if (f.verdict != Verdict::kPass) out.emplace_back(&road, &f);
    }
  }
  return out;
}

std::string FindingLine(const RoadResult& road, const Finding& f) {
  std::string where = road.name + (f.access > 0 ? " #" + std::to_string(f.access) : "");
  return std::string(VerdictName(f.verdict)) + "  " + f.object + "." + f.member + "  " + where +
         "  " + f.check + ": " + f.what + "; expected " + f.expected;
}

std::string OutcomeText(const RoadResult& road) {
  if (road.outcome.result) return "Cols answered " + std::to_string(*road.outcome.result);
  if (road.outcome.failure) {
    return "Cols failed with " + std::to_string(road.outcome.failure->Number());
  }
  return "Cols did not answer";
}

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string AccessLabel(const Event& e) {
  std::string label = std::to_string(e.number) + "  " + e.object + "." + e.member;
  if (e.access == Access::kPut) {
    if (!e.args.empty()) label += " = " + ShowTyped(e.args.front());
  } else if (e.access == Access::kCall) {
    label += "(";
    for (std::size_t i = 0; i < e.args.size(); ++i) {
      label += (i ? ", " : "") + ShowTyped(e.args[i], i < e.by_ref.size() && e.by_ref[i]);
    }
    label += ")";
  }
  if (e.failure) {
    label += " raises " + std::to_string(e.failure->Number());
  } else if (e.answer) {
    label += " -> " + ShowTyped(*e.answer);
  } else if (e.access != Access::kPut) {
    label += " -> Object";
  }
  return label;
}

// The worst verdict on one access of a road.
std::optional<Verdict> AccessVerdict(const RoadResult& road, int number) {
  std::optional<Verdict> verdict;
  for (const Finding& f : road.findings) {
    if (f.access == number) verdict = std::max(verdict.value_or(Verdict::kPass), f.verdict);
  }
  return verdict;
}

// The diagram's geometry, in pixels: lanes, rows, and each access's label
// written along its arrow, inside the drawing.
constexpr int kLaneWidth = 150;
constexpr int kLeft = 70;
constexpr int kRight = 70;
constexpr int kTop = 44;
constexpr int kStep = 24;
constexpr int kHoldfastLane = 0;
constexpr int kTitleBaseline = 16;
constexpr int kLifelineTop = 24;
constexpr int kLabelGap = 8;
constexpr int kLabelRise = 5;
constexpr int kDotRadius = 4;
// A monospace character of the labels' 11px font is under 7px wide; a label
// longer than the drawing is cut, its whole text kept in the arrow's title.
constexpr int kCharWidth = 7;

std::string_view Colour(std::optional<Verdict> verdict) {
  if (!verdict) return "#888";
  switch (*verdict) {
    case Verdict::kFail: return "#c62828";
    case Verdict::kWarning: return "#e08a00";
    default: return "#2e7d32";
  }
}

// At most `room` characters, cut at a character boundary of UTF-8.
std::string Fit(const std::string& text, std::size_t room) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (++chars > room) return text.substr(0, i) + "\u2026";
  }
  return text;
}

// The road's accesses as a sequence diagram: the component's lifeline on the
// left, one per host object, an arrow per access coloured by its verdict
// (grey for the simulated hosts).
std::string Diagram(const RoadResult& road) {
  const std::vector<std::string> lanes{"Holdfast", "StepDisp", "StepMks", "StepRunModul",
                                       "StepTrac", "StepJour"};
  const auto lane = [&](const std::string& object) {
    const auto it = std::find(lanes.begin(), lanes.end(), object);
    return static_cast<int>(it == lanes.end() ? 0 : it - lanes.begin());
  };
  const int rows = static_cast<int>(road.events.size());
  const int width = kLeft + kLaneWidth * static_cast<int>(lanes.size() - 1) + kRight;
  const int height = kTop + kStep * (rows + 1);
  const auto room = static_cast<std::size_t>((width - kLeft - kLabelGap) / kCharWidth);
  std::string svg = "<svg class=\"diagram\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    std::to_string(width) + "\" height=\"" + std::to_string(height) +
                    "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
                    "\" role=\"img\" aria-label=\"accesses of road " + Escape(road.name) + "\">\n";
  for (std::size_t i = 0; i < lanes.size(); ++i) {
    const int x = kLeft + kLaneWidth * static_cast<int>(i);
    svg += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(kTitleBaseline) +
           "\" text-anchor=\"middle\">" + lanes[i] + "</text><line x1=\"" + std::to_string(x) +
           "\" y1=\"" + std::to_string(kLifelineTop) + "\" x2=\"" + std::to_string(x) +
           "\" y2=\"" + std::to_string(height) + "\" stroke=\"#bbb\"/>\n";
  }
  int row = 0;
  for (const Event& e : road.events) {
    const int y = kTop + kStep * row++;
    const int from = kLeft + kLaneWidth * kHoldfastLane;
    const int to = kLeft + kLaneWidth * lane(e.object);
    const std::string colour(Colour(AccessVerdict(road, e.number)));
    const std::string label = AccessLabel(e) + (e.handed ? "  [handed on by the bench]" : "");
    svg += "<g><title>" + Escape(label) + "</title><line x1=\"" + std::to_string(from) +
           "\" y1=\"" + std::to_string(y) + "\" x2=\"" + std::to_string(to) + "\" y2=\"" +
           std::to_string(y) + "\" stroke=\"" + colour + "\" stroke-width=\"2\"" +
           (e.handed ? " stroke-dasharray=\"6 3\"" : "") + "/><circle cx=\"" +
           std::to_string(to) + "\" cy=\"" + std::to_string(y) + "\" r=\"" +
           std::to_string(kDotRadius) + "\" fill=\"" + colour + "\"/><text x=\"" +
           std::to_string(from + kLabelGap) + "\" y=\"" + std::to_string(y - kLabelRise) +
           "\" fill=\"" + colour + "\">" + Escape(Fit(label, room)) + "</text></g>\n";
  }
  return svg + "</svg>\n";
}

std::string Count(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::string ProvenanceHeadline(const Provenance& p) {
  return "Clasp " + OrDash(p.clasp_version) + ", host contract " + p.contract_version + ", " +
         std::to_string(p.bits) + "-bit, " + p.utc_time + " UTC";
}

// "ClaspTest.Display  {5B0F...}  C:\x\own.dll  version 1.0.0.0  sha256 ab12...".
std::string ObjectLine(const ObjectProvenance& o) {
  if (!o.script.empty()) return "script " + o.script + "  sha256 " + OrDash(o.sha256);
  return o.prog_id + "  " + OrDash(o.clsid) + "  " + OrDash(o.module) + "  version " +
         OrDash(o.file_version) + "  sha256 " + OrDash(o.sha256);
}

ordered_json ObjectJson(const ObjectProvenance& o) {
  ordered_json out{{"field", o.field}};
  if (!o.script.empty()) {
    out["script"] = o.script;
  } else {
    out["prog_id"] = o.prog_id;
    out["clsid"] = o.clsid;
    out["module"] = o.module;
    out["file_version"] = o.file_version;
  }
  out["sha256"] = o.sha256;
  return out;
}

ordered_json ProvenanceJson(const Provenance& p) {
  ordered_json out{{"clasp_version", p.clasp_version},
                   {"contract_version", p.contract_version},
                   {"bits", p.bits},
                   {"utc_time", p.utc_time},
                   {"component", ObjectJson(p.component)}};
  out["objects"] = ordered_json::array();
  for (const ObjectProvenance& o : p.objects) out["objects"].push_back(ObjectJson(o));
  return out;
}

ordered_json CoverageJson(const Coverage& coverage) {
  return {{"roads", coverage.roads},
          {"reached", coverage.reached},
          {"failures", coverage.failures},
          {"warnings", coverage.warnings},
          {"substitutions", coverage.substitutions},
          {"objects_not_reached", coverage.objects_not_reached}};
}

}  // namespace

std::string RenderCertificate(const Certification& c) {
  const Coverage coverage = Cover(c);
  ordered_json out{{"certificate", "clasp-host-certification"},
                   {"format", 1},
                   {"provenance", ProvenanceJson(c.provenance)},
                   {"coverage", CoverageJson(coverage)},
                   {"substitute", c.substitute},
                   {"verdict", VerdictLine(coverage)},
                   {"certified", coverage.Certified()}};
  return out.dump(2) + "\n";
}

std::string RenderCertificationText(const Certification& c) {
  std::string out = "Certification of your host objects\n";
  for (const auto& [role, name] : c.hosts) {
    out += "  " + Pad(std::string(RoleProperty(role)), kFieldWidth) + name + "\n";
  }
  out += "\nProvenance\n  " + ProvenanceHeadline(c.provenance) + "\n";
  out += "  " + Pad(c.provenance.component.field, kProvenanceWidth) +
         ObjectLine(c.provenance.component) + "\n";
  for (const ObjectProvenance& o : c.provenance.objects) {
    out += "  " + Pad(o.field, kProvenanceWidth) + ObjectLine(o) + "\n";
  }
  for (const std::string& note : c.not_judged) {
    out += "\nNot judged for script objects: " + note + "\n";
  }
  out += c.substitute
             ? "\nRoads (the simulated hosts answer so as to take each one; where a driving "
               "member\nis yours, your object is called and judged and the bench hands on the "
               "road's answer)\n"
             : "\nRoads (the simulated hosts answer so as to take each one; yours answer for "
               "themselves)\n";
  for (std::size_t i = 0; i < c.roads.size(); ++i) {
    const RoadResult& road = c.roads[i];
    out += Pad("  " + std::to_string(i + 1), kRoadNumberWidth) + Pad(road.name, kRoadNameWidth) +
           road.summary + "\n";
    if (road.not_reached) out += "        not reached: " + *road.not_reached + "\n";
    if (road.turned_aside) out += "        turned aside: " + *road.turned_aside + "\n";
    for (const Event* event : Substitutions(road)) {
      out += "        substituted: " + SubstitutionLine(*event) + "\n";
    }
  }
  out += "\nVerdicts (ok pass, FAIL, warn warning, n/r road not reached, - not used on that road)\n";
  std::string header = Pad("", kNameWidth);
  for (std::size_t i = 0; i < c.roads.size(); ++i) header += Pad(std::to_string(i + 1), kCellWidth);
  while (!header.empty() && header.back() == ' ') header.pop_back();
  out += header + "\n";
  for (const Row& row : Rows(c)) {
    std::string line = Pad(RowName(row), kNameWidth);
    for (std::size_t i = 0; i < c.roads.size(); ++i) {
      line += Pad(std::string(CellText(Cell(c, row, i))), kCellWidth);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  const auto departures = Departures(c);
  out += "\nFindings\n";
  if (departures.empty()) out += "  none: every access kept the contract\n";
  for (const auto& [road, finding] : departures) out += "  " + FindingLine(*road, *finding) + "\n";
  out += "\nResult: " + VerdictLine(Cover(c)) + "\n";
  return out;
}

std::string RenderCertificationJson(const Certification& c) {
  ordered_json out;
  out["provenance"] = ProvenanceJson(c.provenance);
  out["hosts"] = ordered_json::array();
  for (const auto& [role, name] : c.hosts) {
    out["hosts"].push_back({{"field", std::string(RoleProperty(role))}, {"object", name}});
  }
  out["roads"] = ordered_json::array();
  for (const RoadResult& road : c.roads) {
    ordered_json r{{"name", road.name},
                   {"summary", road.summary},
                   {"reached", !road.not_reached && !road.turned_aside}};
    if (road.not_reached) r["not_reached"] = *road.not_reached;
    if (road.turned_aside) r["turned_aside"] = *road.turned_aside;
    r["outcome"] = OutcomeText(road);
    r["substitutions"] = ordered_json::array();
    for (const Event* event : Substitutions(road)) {
      r["substitutions"].push_back(SubstitutionLine(*event));
    }
    r["accesses"] = ordered_json::array();
    for (const Event& e : road.events) {
      ordered_json a{{"n", e.number}, {"object", e.object}, {"member", e.member},
                     {"access", std::string(AccessWord(e.access))}};
      a["args"] = ordered_json::array();
      for (std::size_t i = 0; i < e.args.size(); ++i) {
        a["args"].push_back(ValueJson(e.args[i], i < e.by_ref.size() && e.by_ref[i]));
      }
      if (e.answer) a["answer"] = ValueJson(*e.answer);
      if (e.failure) {
        a["failure"] = {{"number", e.failure->Number()},
                        {"description", Utf8(e.failure->Description())}};
      }
      r["accesses"].push_back(std::move(a));
    }
    r["findings"] = ordered_json::array();
    for (const Finding& f : road.findings) {
      r["findings"].push_back({{"verdict", std::string(VerdictName(f.verdict))},
                               {"member", f.object + "." + f.member},
                               {"access", f.access},
                               {"check", f.check},
                               {"what", f.what},
                               {"expected", f.expected}});
    }
    out["roads"].push_back(std::move(r));
  }
  out["verdicts"] = ordered_json::array();
  for (const Row& row : Rows(c)) {
    ordered_json cells;
    for (std::size_t i = 0; i < c.roads.size(); ++i) {
      cells[c.roads[i].name] = std::string(VerdictName(Cell(c, row, i)));
    }
    out["verdicts"].push_back({{"member", RowName(row)}, {"roads", std::move(cells)}});
  }
  out["not_judged_for_script_objects"] = c.not_judged;
  const Coverage coverage = Cover(c);
  out["coverage"] = CoverageJson(coverage);
  out["verdict"] = VerdictLine(coverage);
  out["certified"] = coverage.Certified();
  return out.dump(2) + "\n";
}

std::string RenderCertificationJunit(const Certification& c) {
  std::string cases;
  int tests = 0;
  int failures = 0;
  int skipped = 0;
  for (const Row& row : Rows(c)) {
    for (std::size_t i = 0; i < c.roads.size(); ++i) {
      const RoadResult& road = c.roads[i];
      const Verdict verdict = Cell(c, row, i);
      ++tests;
      cases += "    <testcase classname=\"" + Escape(RowName(row)) + "\" name=\"" +
               Escape(road.name) + "\"";
      std::string body;
      const std::string object(RoleProperty(row.role));
      for (const Finding& f : road.findings) {
        if (f.object != object || f.member != row.member || f.verdict == Verdict::kPass) continue;
        body += FindingLine(road, f) + "\n";
      }
      if (verdict == Verdict::kFail) {
        ++failures;
        cases += "><failure message=\"does not keep the contract\">" + Escape(body) + "</failure>";
      } else if (verdict == Verdict::kNotReached) {
        ++skipped;
        cases += "><skipped message=\"" + Escape("not reached: " + *road.not_reached) + "\"/>";
      } else if (verdict == Verdict::kNotUsed) {
        ++skipped;
        cases += "><skipped message=\"not used on this road\"/>";
      } else if (verdict == Verdict::kWarning) {
        cases += "><system-out>" + Escape(body) + "</system-out>";
      } else {
        cases += "/>\n";
        continue;
      }
      cases += "</testcase>\n";
    }
  }
  // The provenance as the suite's properties, where CI systems show them.
  const Provenance& p = c.provenance;
  std::vector<std::pair<std::string, std::string>> properties{
      {"clasp.version", p.clasp_version},
      {"contract.version", p.contract_version},
      {"bits", std::to_string(p.bits)},
      {"utc.time", p.utc_time},
      {"verdict", VerdictLine(Cover(c))}};
  std::vector<ObjectProvenance> objects{p.component};
  objects.insert(objects.end(), p.objects.begin(), p.objects.end());
  for (const ObjectProvenance& o : objects) {
    if (o.script.empty()) {
      properties.emplace_back(o.field + ".progid", o.prog_id);
      properties.emplace_back(o.field + ".clsid", o.clsid);
      properties.emplace_back(o.field + ".module", o.module);
      properties.emplace_back(o.field + ".file_version", o.file_version);
    } else {
      properties.emplace_back(o.field + ".script", o.script);
    }
    properties.emplace_back(o.field + ".sha256", o.sha256);
  }
  std::string listed = "    <properties>\n";
  for (const auto& [name, value] : properties) {
    listed += "      <property name=\"" + Escape(name) + "\" value=\"" + Escape(value) + "\"/>\n";
  }
  listed += "    </properties>\n";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite name=\"clasp-certify\" "
         "tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
         "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\">\n" + listed + cases +
         "  </testsuite>\n</testsuites>\n";
}

std::string RenderCertificationHtml(const Certification& c) {
  const Coverage coverage = Cover(c);
  const std::vector<Row> rows = Rows(c);
  // The prompts are Chinese: a stack of fonts that have its characters on
  // the platforms a reviewer uses, before the generic family.
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<title>Clasp host certification</title>\n<style>\n"
      "body{font-family:\"Noto Sans\",\"Segoe UI\",\"Noto Sans CJK SC\",\"Source Han Sans SC\","
      "\"Microsoft YaHei\",\"PingFang SC\",\"WenQuanYi Micro Hei\",sans-serif;"
      "margin:1.5em;max-width:1200px}\n"
      "#banner{padding:12px 16px;border-radius:6px;color:#fff;margin-bottom:1em}\n"
      "#banner.certified{background:#2e7d32}#banner.not-certified{background:#c62828}\n"
      "#verdict{font-size:28px;font-weight:bold;margin:0}\n"
      "#counts{display:flex;flex-wrap:wrap;gap:8px 24px;margin:8px 0 0;padding:0;list-style:none;"
      "font-size:16px}\n"
      "table{border-collapse:collapse;table-layout:fixed}\n"
      "td,th{border:1px solid #ccc;padding:2px 4px;font-size:12px;text-align:center}\n"
      "th.member{text-align:left;width:250px;overflow-wrap:anywhere}td{width:40px}\n"
      ".pass{background:#c8e6c9}.fail{background:#ef9a9a}.warning{background:#ffe082}\n"
      ".not-reached{background:#e0e0e0}.not-used{color:#aaa}\n"
      ".provenance td{text-align:left;overflow-wrap:anywhere;font-size:11px}\n"
      "svg.diagram{max-width:100%;height:auto}\n"
      "svg.diagram text{font-family:\"Noto Sans Mono\",\"DejaVu Sans Mono\","
      "\"Noto Sans Mono CJK SC\",\"Consolas\",\"Microsoft YaHei\",monospace;font-size:11px}\n"
      "</style></head><body>\n<h1>Clasp host certification</h1>\n";
  page += std::string("<div id=\"banner\" class=\"") +
          (coverage.Certified() ? "certified" : "not-certified") + "\"><p id=\"verdict\">" +
          (coverage.Certified() ? "Certified" : "Not certified") + "</p>\n<ul id=\"counts\">" +
          "<li>" + std::to_string(coverage.reached) + " of " + std::to_string(coverage.roads) +
          " roads reached</li><li>" + Count(rows.size(), "member", "members") + " judged</li><li>" +
          Count(coverage.failures, "failure", "failures") + "</li><li>" +
          Count(coverage.warnings, "warning", "warnings") + "</li><li>" +
          Count(coverage.substitutions, "substitution", "substitutions") + "</li>";
  for (const std::string& object : coverage.objects_not_reached) {
    page += "<li>" + Escape(object) + " never reached</li>";
  }
  page += "</ul></div>\n<ul>\n";
  for (const auto& [role, name] : c.hosts) {
    page += "<li>" + std::string(RoleProperty(role)) + " = " + Escape(name) + "</li>\n";
  }
  page += "</ul>\n";
  for (const std::string& note : c.not_judged) {
    page += "<p>Not judged for script objects: " + Escape(note) + "</p>\n";
  }
  const Provenance& p = c.provenance;
  page += "<h2>Provenance</h2>\n<p>" + Escape(ProvenanceHeadline(p)) +
          "</p>\n<table class=\"provenance\">\n";
  std::vector<ObjectProvenance> objects{p.component};
  objects.insert(objects.end(), p.objects.begin(), p.objects.end());
  for (const ObjectProvenance& o : objects) {
    page += "<tr><th class=\"member\">" + Escape(o.field) + "</th><td style=\"width:900px\">" +
            Escape(ObjectLine(o)) + "</td></tr>\n";
  }
  page += "</table>\n<h2>Verdicts</h2>\n<table id=\"verdicts\">"
          "<tr><th class=\"member\">member</th>";
  for (std::size_t i = 0; i < c.roads.size(); ++i) {
    const RoadResult& road = c.roads[i];
    page += "<th title=\"" + Escape(road.name) + "\"><a href=\"#road-" + Escape(road.name) + "\">" +
            std::to_string(i + 1) + "</a></th>";
  }
  page += "</tr>\n";
  for (const Row& row : rows) {
    page += "<tr><th class=\"member\">" + Escape(RowName(row)) + "</th>";
    for (std::size_t i = 0; i < c.roads.size(); ++i) {
      std::string name(VerdictName(Cell(c, row, i)));
      std::string css = name == "-" ? "not-used" : name;
      std::replace(css.begin(), css.end(), ' ', '-');
      page += "<td class=\"" + css + "\" title=\"" + Escape(c.roads[i].name) + ": " + Escape(name) +
              "\">" + Escape(std::string(CellText(Cell(c, row, i)))) + "</td>";
    }
    page += "</tr>\n";
  }
  page += "</table>\n<h2>Roads</h2>\n";
  for (std::size_t i = 0; i < c.roads.size(); ++i) {
    const RoadResult& road = c.roads[i];
    page += "<section class=\"road\" id=\"road-" + Escape(road.name) + "\"><h3>" +
            std::to_string(i + 1) + ". " + Escape(road.name) + "</h3>\n<p>" +
            Escape(road.summary) + ". " + Escape(OutcomeText(road)) + ".</p>\n";
    if (road.not_reached) page += "<p>Not reached: " + Escape(*road.not_reached) + "</p>\n";
    if (road.turned_aside) page += "<p>Turned aside: " + Escape(*road.turned_aside) + "</p>\n";
    std::string items;
    for (const Event* event : Substitutions(road)) {
      items += "<li>substituted: " + Escape(SubstitutionLine(*event)) + "</li>\n";
    }
    for (const Finding& f : road.findings) {
      // A road not reached is not judged: its findings would mislead.
      if (f.verdict == Verdict::kPass || road.not_reached) continue;
      items += "<li>" + Escape(FindingLine(road, f)) + "</li>\n";
    }
    if (!items.empty()) page += "<ul>\n" + items + "</ul>\n";
    page += Diagram(road) + "</section>\n";
  }
  return page + "</body></html>\n";
}

}  // namespace clasp::sim
