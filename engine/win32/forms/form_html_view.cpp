// ThtmlLite: the HTML pane of wizard pages. A painted window of its own that
// shows a page file or page text read by the engine's HTML reader and laid
// out at the pane's width: it scrolls by bar, wheel and keys, follows the
// links it is left to follow, and reports link clicks and timed page changes
// to the dialog.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/paths.h"
#include "engine/core/html_document.h"
#include "engine/core/html_layout.h"
#include "engine/core/html_link.h"
#include "engine/win32/forms/form_control_kit.h"
#include "engine/win32/forms/form_html_canvas.h"

namespace tavrel::standard_controls {
namespace {

// Posted to the pane after a page with a timed page change is shown;
// wParam is the number of the showing it belongs to.
constexpr UINT kRefreshMessage = WM_APP + 0x3A1;
constexpr int kLineStep = 20;
// Larger page files are not shown.
constexpr std::streamoff kMaxPageFile = 16ll << 20;
constexpr html::Rgb kLinkColor = 0x0000EE;

html::Rgb ToRgb(COLORREF color) {
  return (static_cast<html::Rgb>(GetRValue(color)) << 16) |
         (static_cast<html::Rgb>(GetGValue(color)) << 8) | GetBValue(color);
}

std::optional<std::string> ReadPageFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return std::nullopt;
  const std::streamoff size = file.tellg();
  if (size < 0 || size > kMaxPageFile) return std::nullopt;
  std::string text(static_cast<std::size_t>(size), '\0');
  file.seekg(0);
  if (!file.read(text.data(), static_cast<std::streamsize>(size))) return std::nullopt;
  return text;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return path;
  return std::string(buffer, length);
}

std::string CurrentFolder() {
  char buffer[MAX_PATH * 2] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::string(buffer, length);
}

class HtmlLite final : public PaintedControl {
 public:
  HtmlLite(const FormObject& object, ControlSite& site)
      : PaintedControl(object, {"ThtmlLite"}, site),
        canvas_([this](const std::string& source) { return PicturePath(source); }) {
    background_.Set("clWhite");
    fontColor_.Set("clWindowText");
  }

  bool LoadHtmlFile(const std::string& path) override {
    const std::string full = FullPath(path);
    auto text = ReadPageFile(full);
    if (!text) return false;
    currentFile_ = full;
    Show(std::move(*text));
    return true;
  }
  std::string HtmlCurrentFile() override { return currentFile_; }
  std::string HtmlDocumentTitle() override { return document_.title; }
  std::string HtmlExpandLink(const std::string& link) override {
    return html::LinkPath(link, BaseFolder());
  }
  HtmlPaneEvent* HtmlEvent() override { return event_; }

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = kHtmlClass;
    params.style = WS_VSCROLL | WS_TABSTOP;
    params.exStyle = WS_EX_CLIENTEDGE;
    return params;
  }

  void Created() override { Show({}); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (Is(name, "DocumentSource")) return source_;
    if (Is(name, "DefBackground")) return background_.text;
    if (Is(name, "DefFontColor")) return fontColor_.text;
    if (Is(name, "CurrentFile")) return currentFile_;
    if (Is(name, "DocumentTitle")) return document_.title;
    return PaintedControl::GetOwn(name);
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (Is(name, "DocumentSource")) {
      currentFile_.clear();
      Show(text);
      return true;
    }
    if (Is(name, "DefBackground") || Is(name, "DefFontColor")) {
      if (!(Is(name, "DefBackground") ? background_ : fontColor_).Set(text)) return false;
      LayOut();
      return true;
    }
    if (Is(name, "CurrentFile") || Is(name, "DocumentTitle")) return false;  // read only
    return PaintedControl::SetOwn(name, text);
  }

  void Paint(HDC dc, const RECT& client) override { canvas_.Paint(dc, layout_, client, top_); }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    switch (message) {
      case WM_SIZE:
        if (ClientWidth() != laidOutWidth_) {
          LayOut();
        } else {
          ScrollTo(top_);
        }
        return false;
      case WM_VSCROLL:
        OnScrollBar(LOWORD(wParam));
        result = 0;
        return true;
      case WM_MOUSEWHEEL: {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam);
        ScrollTo(top_ - notches * 3 * kLineStep / WHEEL_DELTA);
        result = 0;
        return true;
      }
      case WM_KEYDOWN:
        if (OnKey(static_cast<UINT>(wParam))) {
          result = 0;
          return true;
        }
        return false;
      case WM_GETDLGCODE:
        result = DLGC_WANTARROWS;
        return true;
      case WM_LBUTTONDOWN:
        SetFocus(Window());
        pressedLink_ = LinkAt(lParam);
        if (pressedLink_ >= 0) SetCapture(Window());
        result = 0;
        return true;
      case WM_LBUTTONUP: {
        if (GetCapture() == Window()) ReleaseCapture();
        const int link = std::exchange(pressedLink_, -1);
        if (link >= 0 && LinkAt(lParam) == link) Click(link);
        result = 0;
        return true;
      }
      case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
          POINT point{};
          GetCursorPos(&point);
          ScreenToClient(Window(), &point);
          const bool onLink = layout_.LinkAt(point.x, point.y + top_) >= 0;
          SetCursor(LoadCursor(nullptr, onLink ? IDC_HAND : IDC_ARROW));
          result = TRUE;
          return true;
        }
        return false;
      case kRefreshMessage:
        if (static_cast<unsigned>(wParam) == shown_ && document_.refresh) ReportRefresh();
        result = 0;
        return true;
      default:
        return PaintedControl::OnOwnMessage(message, wParam, lParam, result);
    }
  }

 private:
  // Shows page text: read, laid out from the top, and a timed page change
  // announced to the pane itself for when the dialog listens again.
  void Show(std::string text) {
    source_ = std::move(text);
    document_ = html::ReadHtml(source_);
    ++shown_;
    top_ = 0;
    LayOut();
    if (document_.refresh && Window() != nullptr) {
      PostMessageA(Window(), kRefreshMessage, shown_, 0);
    }
  }

  void LayOut() {
    html::Colors colors;
    colors.background = ToRgb(background_.value);
    colors.text = ToRgb(fontColor_.value);
    colors.link = kLinkColor;
    laidOutWidth_ = ClientWidth();
    layout_ = html::LayOut(document_, laidOutWidth_, canvas_, colors);
    ScrollTo(top_);
  }

  int ClientWidth() const {
    RECT client{};
    if (Window() != nullptr) GetClientRect(Window(), &client);
    return client.right - client.left;
  }
  int ClientHeight() const {
    RECT client{};
    if (Window() != nullptr) GetClientRect(Window(), &client);
    return client.bottom - client.top;
  }

  // Scrolls so that top is the first row shown, within the page.
  void ScrollTo(int top) {
    const int page = ClientHeight();
    top_ = std::clamp(top, 0, std::max(0, layout_.height - page));
    if (Window() == nullptr) return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    info.nMin = 0;
    info.nMax = std::max(0, layout_.height - 1);
    info.nPage = static_cast<UINT>(std::max(0, page));
    info.nPos = top_;
    SetScrollInfo(Window(), SB_VERT, &info, TRUE);
    Repaint();
  }

  void OnScrollBar(WORD request) {
    const int page = std::max(kLineStep, ClientHeight() - kLineStep);
    switch (request) {
      case SB_LINEUP:
        ScrollTo(top_ - kLineStep);
        break;
      case SB_LINEDOWN:
        ScrollTo(top_ + kLineStep);
        break;
      case SB_PAGEUP:
        ScrollTo(top_ - page);
        break;
      case SB_PAGEDOWN:
        ScrollTo(top_ + page);
        break;
      case SB_TOP:
        ScrollTo(0);
        break;
      case SB_BOTTOM:
        ScrollTo(layout_.height);
        break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(Window(), SB_VERT, &info)) ScrollTo(info.nTrackPos);
        break;
      }
      default:
        break;
    }
  }

  // The keys scroll as the scroll bar's parts do.
  bool OnKey(UINT key) {
    static constexpr struct {
      UINT key;
      WORD request;
    } kKeys[] = {{VK_UP, SB_LINEUP},     {VK_DOWN, SB_LINEDOWN}, {VK_PRIOR, SB_PAGEUP},
                 {VK_NEXT, SB_PAGEDOWN}, {VK_HOME, SB_TOP},      {VK_END, SB_BOTTOM}};
    for (const auto& entry : kKeys) {
      if (entry.key == key) {
        OnScrollBar(entry.request);
        return true;
      }
    }
    return false;
  }

  int LinkAt(LPARAM point) const {
    const int x = static_cast<short>(LOWORD(point));
    const int y = static_cast<short>(HIWORD(point));
    return layout_.LinkAt(x, y + top_);
  }

  // Reports the click; unless the dialog handled it, follows the link. The
  // dialog may close the page, and with it this pane, while it handles it.
  void Click(int link) {
    const std::string href = document_.links[static_cast<std::size_t>(link)];
    HtmlPaneEvent event;
    event.link = href;
    const std::weak_ptr<int> alive = lifetime_;
    event_ = &event;
    Fire(ControlEvent::kHotSpotClick);
    if (alive.expired()) return;
    event_ = nullptr;
    if (!event.handled) Follow(href);
  }

  void Follow(const std::string& href) {
    if (href.empty()) return;
    if (href.front() == '#') {
      ScrollToAnchor(href.substr(1));
      return;
    }
    if (!html::IsLocalLink(href)) return;
    const std::string path = HtmlExpandLink(href);
    if (path.empty() || !IsFile(path) || !LoadHtmlFile(path)) return;
    const std::string_view anchor = html::LinkAnchor(href);
    if (!anchor.empty()) ScrollToAnchor(anchor);
  }

  void ScrollToAnchor(std::string_view name) {
    if (const auto top = layout_.AnchorTop(name)) ScrollTo(*top);
  }

  void ReportRefresh() {
    HtmlPaneEvent event;
    event.delaySeconds = document_.refresh->delaySeconds;
    event.url = document_.refresh->url;
    const std::weak_ptr<int> alive = lifetime_;
    event_ = &event;
    Fire(ControlEvent::kMetaRefresh);
    if (alive.expired()) return;
    event_ = nullptr;
  }

  std::string BaseFolder() const {
    if (currentFile_.empty()) return CurrentFolder();
    return std::string(common::FolderPart(currentFile_));
  }

  std::string PicturePath(const std::string& source) const {
    if (source.empty() || !html::IsLocalLink(source)) return {};
    return html::LinkPath(source, BaseFolder());
  }

  std::string source_;
  std::string currentFile_;
  html::Document document_;
  html::Layout layout_;
  HtmlCanvas canvas_;
  ColorProperty background_;
  ColorProperty fontColor_;
  int top_ = 0;
  int laidOutWidth_ = -1;
  unsigned shown_ = 0;  // counts the pages shown
  int pressedLink_ = -1;
  HtmlPaneEvent* event_ = nullptr;
  std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace

std::unique_ptr<FormControl> CreateHtmlViewControl(const FormObject& object, ControlSite& site) {
  const std::string_view name = object.className;
  if (Is(name, "ThtmlLite")) return std::make_unique<HtmlLite>(object, site);
  return nullptr;
}

}  // namespace tavrel::standard_controls
