// The compiled setup script: the program the engine runs, read once at
// start-up from the overlay behind the engine's own image.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel {

struct ComponentSize {
  std::string name;
  std::string size;  // decimal bytes; converted where components are defined
};

struct CompiledScript {
  // One entry per command, in execution order.
  std::vector<std::string> commandNames;
  std::vector<std::string> commandIds;
  std::vector<std::string> commandFlags;  // "C" = commented out
  std::vector<std::string> mediaFolders;
  // Parameter records: identifier line followed by the parameter lines.
  std::vector<std::string> parameterBlock;

  std::string productCode;
  std::string title;
  std::vector<std::string> pluginCommands;
  // publisher, contact, help link, update information address, comments
  std::array<std::string, 5> publisherLines;
  std::int32_t mediaMode = 0;  // 2 = web media
  std::vector<ComponentSize> componentSizes;
  std::string revisionCode;
  std::vector<std::string> webMediaSourceFolders;

  std::size_t CommandCount() const { return commandNames.size(); }
  bool IsCommentedOut(std::size_t index) const;
};

// A script that cannot be read: the text names the section and the line.
class ScriptFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kSectionEnd = "$";
inline constexpr std::int32_t kWebMediaMode = 2;

// Throws ScriptFormatError when a list is not closed by a "$" line before
// the end of the text, a single line is missing, the media mode is not a
// whole number, or the component size table has a name without a size.
CompiledScript ParseCompiledScript(std::string_view text);

// Writes a script in the form the reader takes (CR LF line ends).
std::string WriteCompiledScript(const CompiledScript& script);

// Strict decimal conversion to a signed 32-bit number, as the engine reads
// numbers: optional sign, digits only, no blanks.
bool ParseInt32(std::string_view text, std::int32_t& value);

}  // namespace tavrel
