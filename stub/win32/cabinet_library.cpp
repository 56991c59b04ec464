#include "stub/win32/cabinet_library.h"

#include <lzexpand.h>

#include <vector>

#include "common/win32/handle_owner.h"
#include "stub/core/package_format.h"

namespace ombrell {

namespace {

// The compressed copy lies after the stub image; both fit the reader's
// buffer by construction of the package, and anything else is refused
// rather than read past the buffer.
bool RestoreLibrary(const std::string& packagePath, const std::string& systemFolder,
                    std::uint64_t stubLength, std::uint64_t libraryLength) {
  if (stubLength > kLibraryBufferSize || libraryLength > kLibraryBufferSize || libraryLength == 0) {
    return false;
  }
  std::vector<char> buffer(kLibraryBufferSize);
  DWORD got = 0;
  {
    const common::KernelHandle package(CreateFileA(packagePath.c_str(), GENERIC_READ,
                                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!package) return false;
    const bool read =
        ReadFile(package.Get(), buffer.data(), static_cast<DWORD>(stubLength), &got, nullptr) &&
        got == stubLength &&
        ReadFile(package.Get(), buffer.data(), static_cast<DWORD>(libraryLength), &got, nullptr) &&
        got == libraryLength;
    if (!read) return false;
  }

  const std::string compressed = systemFolder + "CABINET.DL_";
  common::KernelHandle out(CreateFileA(compressed.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  DWORD written = 0;
  const bool wrote = WriteFile(out.Get(), buffer.data(), got, &written, nullptr) && written == got;
  // Closed before it is expanded or deleted; a failed close may have lost
  // what was written.
  if (!out.Close() || !wrote) {
    DeleteFileA(compressed.c_str());
    return false;
  }

  OFSTRUCT sourceInfo{};
  OFSTRUCT targetInfo{};
  std::string source = compressed;
  std::string target = systemFolder + "cabinet.dll";
  const INT from = LZOpenFileA(source.data(), &sourceInfo, OF_READ);
  const INT to = LZOpenFileA(target.data(), &targetInfo, OF_CREATE);
  bool expanded = false;
  if (from >= 0 && to >= 0) expanded = LZCopy(from, to) >= 0;
  if (from >= 0) LZClose(from);
  if (to >= 0) LZClose(to);
  DeleteFileA(compressed.c_str());
  return expanded;
}

}  // namespace

bool LoadCabinetLibrary(const std::string& packagePath, const std::string& systemFolder,
                        std::uint64_t stubLength, std::uint64_t libraryLength,
                        CabinetLibrary& library) {
  HMODULE module = LoadLibraryA("cabinet.dll");
  if (module == nullptr) {
    if (!RestoreLibrary(packagePath, systemFolder, stubLength, libraryLength)) return false;
    module = LoadLibraryA("cabinet.dll");
    if (module == nullptr) return false;
  }
  library.create = reinterpret_cast<decltype(&FDICreate)>(
      reinterpret_cast<void*>(GetProcAddress(module, "FDICreate")));
  library.isCabinet = reinterpret_cast<decltype(&FDIIsCabinet)>(
      reinterpret_cast<void*>(GetProcAddress(module, "FDIIsCabinet")));
  library.copy = reinterpret_cast<decltype(&FDICopy)>(
      reinterpret_cast<void*>(GetProcAddress(module, "FDICopy")));
  library.destroy = reinterpret_cast<decltype(&FDIDestroy)>(
      reinterpret_cast<void*>(GetProcAddress(module, "FDIDestroy")));
  return library.create != nullptr && library.isCabinet != nullptr && library.copy != nullptr &&
         library.destroy != nullptr;
}

}  // namespace ombrell
