// The five host objects of the COM benchmark: shared test hosts made without a
// log, so that they do nothing but find a member by name and give its fixed
// answer (or raise its failure). They are reached as script class objects are.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>

#include "support/dispatch_host.h"

namespace clasp::bench {

// The paths of Cols that are measured.
enum class Path { kCapture, kFailure };

// The five host objects of one component.
struct ComHosts : testing::StepHosts {
  // `log`, when given, receives one line per call; only the sequence check uses it.
  explicit ComHosts(Path path, std::shared_ptr<testing::CallLog> log = nullptr);
  // Assigns them to the component's five properties through IDispatch.
  bool GiveTo(IDispatch* component) const { return SUCCEEDED(AssignByName(component)); }
};

}  // namespace clasp::bench
