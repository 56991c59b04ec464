// Web media: a setup made for web distribution leaves parts of its payload
// on a web server as archives ("web media blocks") that the engine fetches
// the first time a command needs them, extracts into its data folder and
// keeps there, marked complete, for every later run. The pseudo-block
// "OFFLINE\" is the payload that travels beside the setup.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/media_download.h"
#include "engine/core/media_port.h"
#include "engine/core/worker_wait.h"

namespace tavrel {

struct CommandContext;

// The media folder of the payload beside the setup.
inline constexpr std::string_view kOfflineMedia = "OFFLINE\\";

// What the run keeps about web media between commands.
struct WebMediaState {
  // Set by "Web Media Block" for the commands after it.
  std::string url;
  std::string archive;  // data folder + block name + ".7zip"
  // The download settings the retry dialogs change.
  ProxySettings proxy;
  bool resume = true;
  // Local copies whose extraction failed, full paths in upper case.
  std::vector<std::string> rejected;
  DownloadMethod method;
};

// A fetch that could not be completed; what() is the message shown.
class MediaFetchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Brings the media folder's block into the data folder (download,
// extraction, or the offline copy) unless it is complete already; throws
// MediaFetchError with the user's message when it cannot.
void FetchMediaBlock(CommandContext& c, const std::string& mediaFolder);

// What a command calls before it uses its media: nothing unless the script
// uses web media and the folder is not empty. When the fetch fails the
// message is shown (caption "Tavrel", owned by the dialog on screen), the
// run is ended, and false returned.
bool FetchMediaFor(CommandContext& c, const std::string& mediaFolder);

// The media folder of the context's command ("" when the list has none).
const std::string& CommandMediaFolder(const CommandContext& c);

// The completion mark of a block folder: an empty file named after the
// revision code.
std::string CompletionMark(const CommandContext& c, const std::string& blockFolder);

// Runs one of the media threads' work while the page shows its reports
// under the heading; the page's Cancel reaches the work as its cancel
// request.
void RunMediaWork(CommandContext& c, std::string heading,
                  const std::function<void(WorkerProgress&)>& work);

namespace commands {
// "Web Media Block": name, URL. Records the URL and the archive path for
// the commands that follow; nothing is downloaded.
void WebMediaBlock(CommandContext& c);
}  // namespace commands

}  // namespace tavrel
