// The one function tvl.dll exports, for programs that link its import library. The engine
// itself resolves it by name at run time.
#pragma once

#include <stdint.h>

namespace tvl {
// Called as data is written: the file being written (ANSI, relative to the destination), bytes
// written so far and the total of all files. Returning 0 stops the extraction.
using ProgressCallback = unsigned char(__stdcall*)(const char* file_name, uint64_t done,
                                                   uint64_t total);
}  // namespace tvl

// Extracts a 7z archive into `destination_folder` (created if missing). The uint32_t arguments
// are reserved; the engine passes 0, 0, 2, 0, 0, 0, 0, 0. Returns non-zero on success.
extern "C" unsigned char __stdcall ExtractArchive(
    const char* archive_path, uint32_t reserved1, const char* destination_folder,
    uint32_t reserved2, uint32_t reserved3, uint32_t reserved4, uint32_t reserved5,
    uint32_t reserved6, tvl::ProgressCallback callback, uint32_t reserved7, uint32_t reserved8);
