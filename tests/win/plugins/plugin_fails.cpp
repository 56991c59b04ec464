// A test plug-in whose first call reports a failure.
#include "tests/win/plugins/plugin_support.h"

std::int32_t __stdcall RunTimeExecute(HWND, const char*, const char*,
                                      test_plugins::ProgressCallback, std::int32_t*, char*) {
  return -1;
}
