// clasp-check --certificate: whether what is installed now is what a
// certification recorded (clasp-sim --certify --certificate FILE).
#pragma once

#include <string>
#include <string_view>

namespace clasp::check {

// The report and the exit status: 0 when everything matches, 1 naming each
// difference, 2 when the file is not a certificate.
struct CertificateCheck {
  int status = 0;
  std::string report;
};

// Compares the certificate at `path` (UTF-8) with this machine, as this
// program's bitness sees it: the Clasp version (`clasp_version`, this kit's),
// the certificate's own verdict, and for each certified ProgID the module it
// resolves to now and that module's SHA-256; a script by its SHA-256.
CertificateCheck CheckCertificate(const std::string& path, std::string_view clasp_version);

}  // namespace clasp::check
