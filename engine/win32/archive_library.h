// The archive library tvl.dll, imported by name at program load: the
// engine does not start without it.
#pragma once

#include <cstdint>

extern "C" {

using TvlProgressCallback = unsigned char(__stdcall*)(const char* fileName, std::uint64_t done,
                                                      std::uint64_t total);

__declspec(dllimport) unsigned char __stdcall ExtractArchive(
    const char* archivePath, std::uint32_t, const char* destinationFolder, std::uint32_t,
    std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, TvlProgressCallback callback,
    std::uint32_t, std::uint32_t);
}
