#include "engine/core/source_search.h"

#include "common/paths.h"
#include "engine/core/command_context.h"

namespace tavrel {

std::string LocateSources(CommandContext& c, const std::string& relativePath) {
  for (;;) {
    if (c.Silent()) return "";
    const std::string chosen = c.ui.BrowseForFolder(c.messages.Get(msg::kLocateSources));
    if (chosen.empty()) return "";
    const std::string folder = common::WithTrailingBackslash(chosen);
    if (c.system.FileExists(folder + relativePath)) return folder;
    if (c.system.FileExists(folder + "data\\" + relativePath)) return folder + "data\\";
  }
}

}  // namespace tavrel
