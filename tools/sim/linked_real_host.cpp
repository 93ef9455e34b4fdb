// Without the platform's automation run time there is nothing to create.
#include "sim/real_host.h"
#include "sim/scenario.h"

namespace clasp::sim {

HostObject CreateRealHost(const std::string& prog_id) {
  throw InputError("--host: '" + prog_id +
                   "' needs the Windows build of clasp-sim, which creates automation objects");
}

}  // namespace clasp::sim
