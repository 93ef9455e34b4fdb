// The Windows test client: one single-threaded apartment, as hosts run the component.
#include <fcntl.h>
#include <io.h>

#include <initguid.h>  // defines the identities of the generated header, once

#include <gtest/gtest.h>

#include <cstdio>

#include "holdfast_idl.h"

int main(int argc, char** argv) {
  // Binary output: test discovery reads the listing and must not see CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
