// A stand-in for tvl.dll in tests that need the engine to stay in start-up
// while its windows are looked at: ExtractArchive waits until a file named
// like the archive plus ".release" appears (at most a minute), then reports
// success without unpacking anything.
#include <windows.h>

#include <cstdint>
#include <string>

extern "C" __declspec(dllexport) unsigned char __stdcall ExtractArchive(
    const char* archivePath, std::uint32_t, const char*, std::uint32_t, std::uint32_t,
    std::uint32_t, std::uint32_t, std::uint32_t, void*, std::uint32_t, std::uint32_t) {
  const std::string release = std::string(archivePath) + ".release";
  for (int i = 0; i < 1200; ++i) {
    if (GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES) return 1;
    Sleep(50);
  }
  return 0;
}
