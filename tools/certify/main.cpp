// clasp-certify: the certification bench on its own, the same as
// `clasp-sim --certify` (the flag may be given or left out).
#include "certify/certify_main.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // Reports are UTF-8 bytes with plain line ends on every platform.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  return clasp::sim::CertifyMain(argc, argv);
}
