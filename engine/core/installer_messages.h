// What the engine makes of Windows Installer's messages during an installer
// run: questions and errors become message boxes (none in a quiet run), the
// progress messages move the progress page, and every answer can become
// "cancel" when the user has asked to stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/core/message_table.h"

namespace tavrel {

// Message types: the top byte of the installer's message code.
namespace installer_message {
inline constexpr std::uint32_t kFatalExit = 0x00000000;
inline constexpr std::uint32_t kError = 0x01000000;
inline constexpr std::uint32_t kWarning = 0x02000000;
inline constexpr std::uint32_t kUser = 0x03000000;
inline constexpr std::uint32_t kInfo = 0x04000000;
inline constexpr std::uint32_t kFilesInUse = 0x05000000;
inline constexpr std::uint32_t kResolveSource = 0x06000000;
inline constexpr std::uint32_t kOutOfDiskSpace = 0x07000000;
inline constexpr std::uint32_t kActionStart = 0x08000000;
inline constexpr std::uint32_t kActionData = 0x09000000;
inline constexpr std::uint32_t kProgress = 0x0A000000;
inline constexpr std::uint32_t kCommonData = 0x0B000000;
inline constexpr std::uint32_t kInitialize = 0x0C000000;
inline constexpr std::uint32_t kTerminate = 0x0D000000;
inline constexpr std::uint32_t kShowDialog = 0x0E000000;
// Every type but files-in-use: what the engine asks the installer for.
inline constexpr std::uint32_t kFilter = 0x7FDF;
}  // namespace installer_message

// The handler's view of the installer's progress. It lives as long as the
// program: the installer's first reset message of a run sets it.
struct InstallerMessageState {
  std::string text;
  std::int32_t position = 0;
  std::int32_t total = 0;
  std::int32_t step = 0;       // added per action-data message
  std::int32_t direction = 0;  // +1 forward, -1 backward (after a reset)
};

// Where the handler's effects go; called on the installer's thread.
class InstallerMessageHost {
 public:
  virtual ~InstallerMessageHost() = default;
  // Shows a message box with the run's caption and owner; the button
  // pressed (0 when it could not be shown).
  virtual int ShowInstallerBox(const std::string& text, unsigned style) = 0;
  // Hands on the progress; false when the user asked to stop.
  virtual bool ReportProgress(std::int32_t position, std::int32_t total, std::int32_t minimum,
                              const std::string& text) = 0;
};

class InstallerMessageHandler {
 public:
  // quiet: the run shows no message box. All three must outlive the handler.
  InstallerMessageHandler(InstallerMessageState& state, const MessageTable& messages, bool quiet,
                          InstallerMessageHost& host);

  // type: the installer's message code, its low 24 bits the buttons asked
  // for. The answer the installer gets.
  int Handle(std::uint32_t type, std::string_view message);

  // The text of the latest fatal-exit or error message, empty if none.
  const std::string& LastError() const { return lastError_; }

 private:
  int Box(int title, std::string_view message, std::uint32_t buttons, unsigned icon,
          int quietAnswer);
  void Progress(std::string_view message);

  InstallerMessageState& state_;
  const MessageTable& messages_;
  bool quiet_;
  InstallerMessageHost& host_;
  std::string lastError_;
};

}  // namespace tavrel
