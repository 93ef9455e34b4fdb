// `clasp-sim --certify`: the certification bench's own command line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "certify/certify.h"
#include "sim/log_files.h"

namespace clasp::sim {

// Whether the command line asks for a certification run.
bool WantsCertification(int argc, char** argv);

// The certification mode's options as --help shows them.
std::string CertifyHelp();

// Parses the certification options, runs every road and writes the reports;
// answers the exit status (0 all pass, 1 a failure, 2 bad input).
int CertifyMain(int argc, char** argv);

// What a certification run is given: the integrator's objects by ProgID, a
// script that leaves more of them in its globals, where the hosts' files go.
struct CertifyRequest {
  std::vector<std::pair<HostRole, std::string>> hosts;
  std::string script;
  std::string log_dir;
  bool substitute = true;     // the bench answers driving members (off: --no-substitute)
  std::string clasp_version;  // this program's, named in the provenance
  Clock clock = Clock::System();
};

// Runs every road against the objects of `request`. Needs the platform's
// automation run time: raises InputError in a build without it.
Certification Certify(const CertifyRequest& request);

}  // namespace clasp::sim
