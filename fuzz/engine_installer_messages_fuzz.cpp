// libFuzzer harness of the installer message handler (engine/core): the input is a sequence of
// messages as Windows Installer would send them, each a 4-byte message code followed by its text
// up to a NUL. Checks that every answer is one the installer understands and that the progress
// it hands on stays within 32 bits whatever the numbers. See README.md.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/core/installer_messages.h"

namespace {

struct Host final : tavrel::InstallerMessageHost {
  int ShowInstallerBox(const std::string&, unsigned style) override {
    return static_cast<int>(style % 8);
  }
  bool ReportProgress(std::int32_t, std::int32_t, std::int32_t minimum,
                      const std::string&) override {
    if (minimum != 0) std::abort();
    return ++reports % 97 != 0;
  }
  unsigned reports = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const tavrel::MessageTable messages;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  tavrel::InstallerMessageState state;
  Host host;
  tavrel::InstallerMessageHandler handler(state, messages, size % 2 == 0, host);
  while (rest.size() >= 4) {
    std::uint32_t type = 0;
    for (int i = 0; i < 4; ++i) {
      type = (type << 8) | static_cast<std::uint8_t>(rest[static_cast<std::size_t>(i)]);
    }
    rest.remove_prefix(4);
    const std::size_t end = rest.find('\0');
    const std::string text(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const int answer = handler.Handle(type, text);
    if (answer < 0 || answer > 7) std::abort();
  }
  return 0;
}
