"""The report: the common mutation-testing format, and the summary printed."""
import json
import os


def WriteReport(root, mutants, path):
    """The common mutation-testing report (schema version 2)."""
    files = {}
    for m in mutants:
        if m.path not in files:
            with open(os.path.join(root, m.path), encoding="utf-8") as f:
                files[m.path] = {"language": "cpp", "source": f.read(), "mutants": []}
        entry = {
            "id": m.id,
            "mutatorName": m.mutator,
            "replacement": m.replacement,
            "location": {"start": {"line": m.line, "column": m.column},
                         "end": {"line": m.end_line, "column": m.end_column}},
            "status": m.status,
        }
        if m.reason:
            entry["statusReason"] = m.reason
        if m.killed_by:
            entry["killedBy"] = [m.killed_by]
        files[m.path]["mutants"].append(entry)
    report = {
        "schemaVersion": "2",
        "thresholds": {"high": 95, "low": 80},
        "projectRoot": root,
        "files": files,
    }
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(report, f, ensure_ascii=False, indent=1)


def Summarise(mutants, total, equivalent_count):
    counts = {}
    for m in mutants:
        counts[m.status] = counts.get(m.status, 0) + 1
    detected = counts.get("Killed", 0) + counts.get("Timeout", 0)
    judged = detected + counts.get("Survived", 0)
    rate = 100.0 * detected / judged if judged else 0.0
    print()
    print(f"Mutants in the core: {total} ({equivalent_count} of them listed as equivalent)")
    print("Tested: " + ", ".join(f"{counts[s]} {s.lower()}" for s in sorted(counts)))
    print(f"Kill rate: {rate:.1f}% ({detected} of {judged} detected, equivalents and "
          f"mutants that do not compile excluded)")
    survivors = [m for m in mutants if m.status == "Survived"]
    if survivors:
        print("Survivors:")
        for m in survivors:
            print(f"  {m.path}:{m.line}:{m.column}  {m.mutator}  {m.Describe()}")
            print(f"      key: {m.key}")
    return rate
