// clasp-check: tells a field engineer whether Clasp.Holdfast can be created
// on this terminal by a program of this bitness, and if not, why.
// Exit status: 0 when everything is in order, 1 when anything is not.
#include <cstdio>

#include "diagnosis.h"
#include "probe.h"

int main() {
  const clasp::check::Facts facts = clasp::check::Probe();
  const auto findings = clasp::check::Diagnose(facts);
  std::fputs(clasp::check::Render(facts, findings).c_str(), stdout);
  return clasp::check::AllOk(findings) ? 0 : 1;
}
