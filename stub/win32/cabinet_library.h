// The cabinet library's decompression functions, from the system's
// cabinet.dll or, when that cannot be loaded, from the compressed copy the
// package carries.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <fdi.h>

#include <cstdint>
#include <string>

namespace ombrell {

struct CabinetLibrary {
  decltype(&FDICreate) create = nullptr;
  decltype(&FDIIsCabinet) isCabinet = nullptr;
  decltype(&FDICopy) copy = nullptr;
  decltype(&FDIDestroy) destroy = nullptr;
};

// Loads cabinet.dll; failing that, writes the package's compressed copy
// (libraryLength bytes after stubLength bytes of the package file) as
// "CABINET.DL_" into the system folder, expands it into "cabinet.dll"
// there and loads that. False when the library cannot be had.
bool LoadCabinetLibrary(const std::string& packagePath, const std::string& systemFolder,
                        std::uint64_t stubLength, std::uint64_t libraryLength,
                        CabinetLibrary& library);

}  // namespace ombrell
