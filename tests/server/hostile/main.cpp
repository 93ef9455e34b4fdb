// The hostile client: `hostile.exe --list` names the attacks, one per line;
// `hostile.exe --attack N` runs attack N and exits 0 when the component
// survived it with the right answer, 1 when it answered wrongly. A crash ends
// this process only: the runner starts one per attack.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "attacks.h"

namespace {
constexpr UINT kCrashed = 3;

LONG WINAPI Crashed(EXCEPTION_POINTERS* e) {
  std::printf("crashed: exception 0x%08lX\n",
              static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode));
  std::fflush(stdout);
  ExitProcess(kCrashed);
}
}  // namespace

int main(int argc, char** argv) {
  using namespace clasp::hostile;
  std::vector<Attack> attacks;
  AddCallerAttacks(attacks);
  AddHostAttacks(attacks);
  AddReentryAttacks(attacks);
  AddOfferedAttacks(attacks);

  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (std::size_t i = 0; i < attacks.size(); ++i)
      std::printf("%zu %s\n", i, attacks[i].name.c_str());
    return 0;
  }
  if (argc != 3 || std::strcmp(argv[1], "--attack") != 0) {
    std::fprintf(stderr, "usage: hostile.exe --list | --attack N\n");
    return 2;
  }
  const std::size_t index = std::strtoul(argv[2], nullptr, 10);
  if (index >= attacks.size()) {
    std::fprintf(stderr, "no attack %zu\n", index);
    return 2;
  }
  // A crash must end this process at once with a status the runner sees,
  // never wait in a debugger.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(Crashed);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::string wrong;
  try {
    wrong = attacks[index].run();
  } catch (const std::exception& e) {
    wrong = std::string("the client itself failed: ") + e.what();
  }
  CoUninitialize();
  if (!wrong.empty()) {
    std::printf("%s: WRONG:%s\n", attacks[index].name.c_str(), wrong.c_str());
    return 1;
  }
  std::printf("%s: survived\n", attacks[index].name.c_str());
  return 0;
}
