#include "engine/core/html_pane_actions.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "common/ascii_case.h"
#include "common/paths.h"
#include "engine/core/control_binding.h"

namespace tavrel {

namespace {

// A local link is read into a buffer of this many characters; what is past
// it is cut off.
constexpr std::size_t kLocalLinkLimit = 255;

// The longest wait a page can ask for that still fits the timer.
constexpr int kLongestDelaySeconds = INT_MAX / 1000;

bool Contains(std::string_view text, std::string_view what) {
  return common::FindIgnoringAsciiCase(text, what) != std::string_view::npos;
}

}  // namespace

LinkRoute RouteOfLink(std::string_view link) {
  // A colon at the second character is a drive ("C:\page.htm"), not a scheme.
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon < 2 || Contains(link, "FILE:")) {
    return LinkRoute::kLocalFile;
  }
  if (Contains(link, "MAILTO:") || Contains(link, "HTTP:")) return LinkRoute::kShell;
  return LinkRoute::kPane;
}

LocalLink SplitLocalLink(std::string_view link) {
  link = link.substr(0, std::min(link.size(), kLocalLinkLimit));
  std::size_t cut = link.find(' ');
  if (cut == std::string_view::npos) cut = link.find('?');
  if (cut == std::string_view::npos) return {std::string(link), {}};
  return {std::string(link.substr(0, cut)), std::string(link.substr(cut + 1))};
}

std::string RefreshTargetFile(std::string_view url, const std::string& supportFolder) {
  std::string name(url);
  if (name.find('/') != std::string::npos) {
    if (common::StartsWithIgnoringAsciiCase(name, "file:///")) {
      name.erase(0, 8);
    } else if (common::StartsWithIgnoringAsciiCase(name, "file://")) {
      name.erase(0, 7);
    }
    std::replace(name.begin(), name.end(), '|', ':');
    std::replace(name.begin(), name.end(), '/', '\\');
  }
  return common::WithTrailingBackslash(supportFolder) + name;
}

bool ControlBinding::HotSpotClick(DialogControl& pane, const std::string& link) {
  switch (RouteOfLink(link)) {
    case LinkRoute::kShell:
      platform_.OpenWithShell(link);
      return true;
    case LinkRoute::kPane:
      return false;
    case LinkRoute::kLocalFile:
      break;
  }
  const LocalLink local = SplitLocalLink(link);
  const std::string path = pane.HtmlExpandLink(local.file);
  const std::string upper = common::ToUpperAscii(path);
  if (upper.ends_with(".WAV")) {
    platform_.PlaySoundFile(path);
    return true;
  }
  if (upper.ends_with(".EXE")) {
    platform_.StartProgram(path, local.parameters);
    return true;
  }
  return false;
}

void ControlBinding::MetaRefresh(DialogPage& page, DialogControl& pane, int delaySeconds,
                                 const std::string& url) {
  const std::string target = RefreshTargetFile(url, supportFolder_);
  if (!platform_.FileExists(target)) return;
  pageChange_ = PendingPageChange{&page, &pane, pane.HtmlCurrentFile(), target};
  const int seconds = std::clamp(delaySeconds, 0, kLongestDelaySeconds);
  platform_.StartPageTimer(static_cast<unsigned>(seconds) * 1000u);
}

void ControlBinding::PageTimerElapsed() {
  platform_.StopPageTimer();
  if (!pageChange_) return;
  const PendingPageChange change = std::move(*pageChange_);
  pageChange_.reset();
  // The user may have gone to another page of the pane meanwhile.
  if (change.pane->HtmlCurrentFile() != change.shownFile) return;
  if (!change.pane->LoadHtmlFile(change.target)) return;
  if (change.page->form != nullptr) {
    change.page->form->SetPropertyText("Caption", change.pane->HtmlDocumentTitle());
  }
}

void ControlBinding::ForgetPage(const DialogPage& page) {
  if (pageChange_ && pageChange_->page == &page) {
    pageChange_.reset();
    platform_.StopPageTimer();
  }
}

}  // namespace tavrel
