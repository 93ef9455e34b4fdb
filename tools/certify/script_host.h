// An integrator's host objects written in VBScript, run inside the simulator
// through the platform's script engine: nothing to register. Windows build only.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <memory>
#include <string>

#include "server/com/owners.h"
#include "sim/catalogue.h"

namespace clasp::sim {

// A running script: its engine stays connected while the objects it left are
// in use, and is closed when this goes.
class ScriptHost {
 public:
  // Runs the VBScript file at `path` (read in the ANSI code page, as the
  // platform's own script host reads it, or UTF-16 with a byte-order mark).
  // Raises InputError naming the file, and the line for a script error.
  explicit ScriptHost(const std::string& path);
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // The objects the script left in global variables named after the fields
  // (StepDisp, StepMks, ...). A field whose variable the script never set is
  // absent; a variable holding anything but an object raises InputError.
  std::map<HostRole, ComPtr<IDispatch>> Objects() const;

  // The run-time error the script reported to us since the last call, if
  // any: the engine hands its caller only a code that says so, and the
  // number and description the script raised come here instead.
  std::string TakeReportedError();

 private:
  struct Engine;
  std::string path_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace clasp::sim
