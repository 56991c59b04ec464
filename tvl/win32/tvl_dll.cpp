// tvl.dll's export. It is the boundary with the engine: ANSI strings in, one byte out, and no
// exception or failure of ours may cross it.
#include <windows.h>

#include <string>

#include "tvl/core/archive_extractor.h"
#include "tvl/win32/tvl_api.h"
#include "tvl/win32/win32_io.h"

namespace {

unsigned char Extract(const char* archive_path, const char* destination_folder,
                      tvl::ProgressCallback callback) {
  const auto archive = tvl::win32::AnsiToWide(archive_path);
  const auto destination = tvl::win32::AnsiToWide(destination_folder);
  if (!archive || !destination || archive->empty() || destination->empty()) return 0;

  const auto source = tvl::win32::FileSource::Open(*archive);
  if (!source) return 0;
  tvl::win32::FolderSink sink(*destination);

  tvl::ProgressFn progress;
  std::string last_path;
  std::string ansi_name;
  if (callback != nullptr) {
    progress = [&](std::string_view path, std::uint64_t done, std::uint64_t total) {
      // Called for every buffer; the name only changes between files.
      if (path != last_path || ansi_name.empty()) {
        last_path.assign(path);
        ansi_name = tvl::win32::WideToAnsi(tvl::win32::Utf8ToWide(path).value_or(L"?"));
      }
      return callback(ansi_name.c_str(), done, total) != 0;
    };
  }
  return tvl::ExtractArchive(*source, sink, progress).ok() ? 1 : 0;
}

}  // namespace

extern "C" unsigned char __stdcall ExtractArchive(const char* archive_path, uint32_t,
                                                  const char* destination_folder, uint32_t,
                                                  uint32_t, uint32_t, uint32_t, uint32_t,
                                                  tvl::ProgressCallback callback, uint32_t,
                                                  uint32_t) {
  try {
    return Extract(archive_path, destination_folder, callback);
  } catch (...) {
    return 0;
  }
}
