// What the engine does for an HTML pane of a wizard page: the links it takes
// over from the pane (mail and web addresses go to the shell, sounds play,
// programs start) and the timed change to another page of the support
// folder that a page may ask for.
#pragma once

#include <string>
#include <string_view>

namespace tavrel {

class DialogControl;
struct DialogPage;

// Who follows a clicked link.
enum class LinkRoute {
  kShell,      // a mail or web address: the shell opens it
  kLocalFile,  // a file next to the page, perhaps with parameters
  kPane,       // any other address: the pane follows it itself
};

LinkRoute RouteOfLink(std::string_view link);

// A local link split at its first blank, or when it has none at its first
// '?': the file name before, the parameters after.
struct LocalLink {
  std::string file;
  std::string parameters;
};
LocalLink SplitLocalLink(std::string_view link);

// The file a timed page change leads to: the URL made a path below the
// support folder. The folder has a backslash at its end.
std::string RefreshTargetFile(std::string_view url, const std::string& supportFolder);

// The one timed page change the program may have waiting.
struct PendingPageChange {
  DialogPage* page = nullptr;
  DialogControl* pane = nullptr;
  std::string shownFile;  // what the pane showed when the change was asked for
  std::string target;
};

}  // namespace tavrel
