// Carries only a version resource: copied over comctl32.dll in the prefix's
// system folder, it makes that file report version 4.71 while Wine keeps
// loading its built-in library.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
