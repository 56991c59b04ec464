// A test library that loads but exports no RunTimeExecute.
#include <windows.h>

extern "C" int __stdcall Execute() {
  return 0;
}
