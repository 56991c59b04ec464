#include "engine/core/installer_messages.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/core/compiled_script.h"

namespace tavrel {

namespace {

constexpr unsigned kStopIcon = 0x10;
constexpr unsigned kQuestionIcon = 0x20;
constexpr unsigned kExclamationIcon = 0x30;
constexpr int kCancel = 2;
constexpr int kNoTitle = 0;

// Up to four fields "k: value " of a progress message. Each field starts
// after the next colon and the one character behind it and runs to the
// next blank; a missing field is 0, and one that is not a number makes all
// of them 0.
std::array<std::int32_t, 4> ProgressFields(std::string_view rest) {
  std::array<std::int32_t, 4> fields{};
  for (std::int32_t& field : fields) {
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(std::min(rest.size(), colon + 2));
    const std::size_t blank = rest.find(' ');
    if (!ParseInt32(rest.substr(0, blank), field)) return {};
    rest.remove_prefix(blank == std::string_view::npos ? rest.size() : blank);
  }
  return fields;
}

// Sums stay within 32 bits whatever numbers a database's messages carry.
std::int32_t Sum(std::int32_t a, std::int64_t b) {
  const std::int64_t sum = std::int64_t{a} + b;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, INT32_MIN, INT32_MAX));
}

}  // namespace

InstallerMessageHandler::InstallerMessageHandler(InstallerMessageState& state,
                                                 const MessageTable& messages, bool quiet,
                                                 InstallerMessageHost& host)
    : state_(state), messages_(messages), quiet_(quiet), host_(host) {}

int InstallerMessageHandler::Box(int title, std::string_view message, std::uint32_t buttons,
                                 unsigned icon, int quietAnswer) {
  if (quiet_) return quietAnswer;
  std::string text = title == kNoTitle ? "" : messages_.Get(title) + "\r\r";
  text += message;
  return host_.ShowInstallerBox(text, buttons | icon);
}

int InstallerMessageHandler::Handle(std::uint32_t type, std::string_view message) {
  namespace m = installer_message;
  const std::uint32_t kind = type & 0xFF000000u;
  const std::uint32_t buttons = type & 0x00FFFFFFu;
  int answer = 0;
  switch (kind) {
    case m::kFatalExit:
      lastError_ = message;
      answer = Box(msg::kFatalError, message, buttons, kStopIcon, 0);
      break;
    case m::kError:
      lastError_ = message;
      answer = Box(msg::kError, message, buttons, kStopIcon, 1);
      break;
    case m::kWarning:
      answer = Box(msg::kWarning, message, buttons, kExclamationIcon, 1);
      break;
    case m::kUser:
      answer = Box(kNoTitle, message, buttons, kQuestionIcon, 1);
      break;
    case m::kFilesInUse:
      answer = Box(msg::kFilesInUse, message, buttons, kExclamationIcon, 0);
      break;
    case m::kOutOfDiskSpace:
      answer = Box(msg::kOutOfDiskSpace, message, buttons, kStopIcon, 1);
      break;
    case m::kResolveSource:
      answer = 0;
      break;
    case m::kActionStart: {
      // "Action 10:20:30: InstallFiles. Copying new files": the words after
      // the first full stop and the blank behind it.
      const std::size_t stop = message.find('.');
      state_.text = stop == std::string_view::npos
                        ? std::string(message)
                        : std::string(message.substr(std::min(message.size(), stop + 2)));
      answer = 1;
      break;
    }
    case m::kActionData:
      state_.text = message;
      state_.position = Sum(state_.position, state_.step);
      answer = 1;
      break;
    case m::kProgress:
      Progress(message);
      answer = 1;
      break;
    case m::kInfo:
    case m::kCommonData:
    case m::kInitialize:
    case m::kTerminate:
    case m::kShowDialog:
      answer = 1;
      break;
    default:
      answer = 0;
      break;
  }
  if (!host_.ReportProgress(state_.position, state_.total, 0, state_.text)) return kCancel;
  return answer;
}

void InstallerMessageHandler::Progress(std::string_view message) {
  const std::array<std::int32_t, 4> field = ProgressFields(message);
  switch (field[0]) {
    case 0:  // reset
      if (field[1] != 0) state_.total = field[1];
      state_.position = 0;
      if (field[2] == 0) state_.direction = 1;
      if (field[2] == 1) state_.direction = -1;
      break;
    case 1:  // action information
      if (field[2] == 0) state_.step = 0;
      if (field[2] == 1) state_.step = field[1];
      break;
    case 2:  // progress report
      state_.position = Sum(state_.position, std::int64_t{state_.direction} * field[1]);
      break;
    case 3:  // progress addition
      state_.total = Sum(state_.total, field[1]);
      break;
    default:
      break;
  }
}

}  // namespace tavrel
