// The engine's message table: every text the engine itself shows, 54
// entries with English defaults, all replaceable by a language file.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tavrel {

// Entry numbers are the line numbers of the language file.
namespace msg {
inline constexpr int kCommonControlsUpdate = 1;
inline constexpr int kSetupResourceNotFound = 2;
inline constexpr int kSetupResourceDecompressionFailure = 3;
inline constexpr int kSetupDatabaseNotFound = 4;
inline constexpr int kRuntimeErrorInInstall = 5;
inline constexpr int kBytes = 6;
inline constexpr int kKilobytes = 7;
inline constexpr int kMegabytes = 8;
inline constexpr int kGetUndefinedVariable = 9;
inline constexpr int kSetUndefinedVariable = 10;
inline constexpr int kCopying = 11;
inline constexpr int kCopyFailed = 12;
inline constexpr int kDownloading = 13;
inline constexpr int kDownloadFailed = 14;
inline constexpr int kExtracting = 15;
inline constexpr int kExtractFailed = 16;
inline constexpr int kRuntimeErrorInScript = 20;
inline constexpr int kPercentComplete = 21;
inline constexpr int kBytesReceived = 22;
inline constexpr int kWizardCaption = 23;
inline constexpr int kPreparingText = 24;
inline constexpr int kLocateSources = 17;
inline constexpr int kSourcesNotFound = 18;
inline constexpr int kGeneralSetupFailure = 19;
inline constexpr int kCancelQuestion = 40;
inline constexpr int kFatalError = 43;
inline constexpr int kError = 44;
inline constexpr int kWarning = 45;
inline constexpr int kFilesInUse = 47;
inline constexpr int kOutOfDiskSpace = 48;
}  // namespace msg

class MessageTable {
 public:
  static constexpr int kCount = 54;

  MessageTable();

  // Entry 1..kCount.
  const std::string& Get(int line) const;

  // Line n of the file replaces entry n completely; a file with fewer lines
  // leaves the missing entries empty, lines after the last entry are ignored.
  void ReadLanguageFile(std::string_view text);

  static std::string_view DefaultText(int line);

 private:
  std::array<std::string, kCount> entries_;
};

}  // namespace tavrel
