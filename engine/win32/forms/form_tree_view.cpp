// TTreeView: a tree of text nodes, one a line of Items, nested by leading tabs.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/text_lines.h"
#include "engine/win32/forms/form_feature_images.h"
#include "engine/win32/forms/form_shell_kit.h"

namespace tavrel::shell_controls {
namespace {

// Lines split at CR LF, LF or CR; a final line end does not open an empty line.
std::vector<std::string> TextLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

struct TreeLine {
  int level = 0;
  std::string text;
};

// One node a line, its level the count of leading tabs; a line more than one
// level deeper than the one before it hangs one level below that one. Empty
// lines are no nodes.
std::vector<TreeLine> ParseTreeLines(std::string_view text) {
  std::vector<TreeLine> lines;
  int previous = -1;
  for (const std::string& line : TextLines(text)) {
    if (line.empty()) continue;
    const std::size_t tabs = line.find_first_not_of('\t');
    const std::size_t depth = tabs == std::string::npos ? line.size() : tabs;
    const int level =
        static_cast<int>(std::min<std::size_t>(depth, static_cast<std::size_t>(previous + 1)));
    lines.push_back({level, line.substr(depth)});
    previous = level;
  }
  return lines;
}

class TreeViewControl final : public TreeControl {
 public:
  TreeViewControl(const FormObject& object, ControlSite& site)
      : TreeControl(object, "TTreeView", site),
        showLines_(FileFlag("ShowLines", true)),
        showButtons_(FileFlag("ShowButtons", true)),
        showRoot_(FileFlag("ShowRoot", true)),
        hideSelection_(FileFlag("HideSelection", true)),
        readOnly_(FileFlag("ReadOnly", false)),
        autoExpand_(FileFlag("AutoExpand", false)) {}

 protected:
  WindowParams Params() const override {
    WindowParams params;
    params.windowClass = WC_TREEVIEWA;
    params.style = WS_TABSTOP | (showLines_ ? TVS_HASLINES : 0) |
                   (showButtons_ ? TVS_HASBUTTONS : 0) | (showRoot_ ? TVS_LINESATROOT : 0) |
                   (hideSelection_ ? 0 : TVS_SHOWSELALWAYS) | (readOnly_ ? 0 : TVS_EDITLABELS);
    params.exStyle = WS_EX_CLIENTEDGE;
    return params;
  }

  void Created() override {
    if (indent_) Send(TVM_SETINDENT, static_cast<WPARAM>(*indent_));
    Build(pending_);
    pending_.clear();
    if (pendingFeatures_) {
      ShowFeatureTree(*pendingFeatures_);
      pendingFeatures_.reset();
    }
    TakeValue();
  }

 public:
  void ShowFeatureTree(const FeatureTree& tree) override {
    if (Window() == nullptr) {
      pendingFeatures_ = tree;
      return;
    }
    SetFlag("True", readOnly_, TVS_EDITLABELS, false);
    {
      Quiet quiet(*this);
      NoRedraw noRedraw(Window());
      Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
      featureItems_.assign(tree.nodes.size(), nullptr);
      if (const HIMAGELIST images = FeatureImageList(); images != nullptr) {
        Send(TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
      }
      // Parents come before their children, and siblings in their order.
      for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        const FeatureNode& node = tree.nodes[i];
        TVINSERTSTRUCTA insert{};
        insert.hParent = node.parent == kNoFeatureNode ? TVI_ROOT : featureItems_[node.parent];
        if (insert.hParent == nullptr) continue;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
        insert.item.pszText = const_cast<char*>(node.text.c_str());
        insert.item.iImage = node.image;
        insert.item.iSelectedImage = node.image;
        insert.item.lParam = static_cast<LPARAM>(i + 1);
        featureItems_[i] = reinterpret_cast<HTREEITEM>(
            Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
      }
      for (const HTREEITEM item : featureItems_) {
        if (item != nullptr) Send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
      }
    }
    Select(tree.roots.empty() ? nullptr : featureItems_[tree.roots.front()]);
  }

  void RefreshFeatureImages(const FeatureTree& tree) override {
    for (std::size_t i = 0; i < tree.nodes.size() && i < featureItems_.size(); ++i) {
      if (featureItems_[i] == nullptr) continue;
      TVITEMA data{};
      data.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
      data.hItem = featureItems_[i];
      data.iImage = tree.nodes[i].image;
      data.iSelectedImage = tree.nodes[i].image;
      Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
    }
    if (Window() != nullptr) InvalidateRect(Window(), nullptr, TRUE);
  }

  std::optional<std::size_t> SelectedFeatureNode() override {
    const HTREEITEM selected = Selection();
    if (selected == nullptr || featureItems_.empty()) return std::nullopt;
    TVITEMA data{};
    data.mask = TVIF_PARAM;
    data.hItem = selected;
    if (Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE || data.lParam <= 0) {
      return std::nullopt;
    }
    return static_cast<std::size_t>(data.lParam - 1);
  }

  bool MouseOnFeatureIcon() override { return clickOnIcon_; }

 protected:
  std::string Value() override {
    return std::to_string(reinterpret_cast<std::uintptr_t>(Selection()));
  }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Items")) return ItemsText();
    if (SameName(name, "Selected")) {
      const HTREEITEM selected = Selection();
      return selected != nullptr ? ItemText(selected) : "";
    }
    if (SameName(name, "SelectedPath")) return SelectedPath();
    if (SameName(name, "ShowLines")) return BoolText(showLines_);
    if (SameName(name, "ShowButtons")) return BoolText(showButtons_);
    if (SameName(name, "ShowRoot")) return BoolText(showRoot_);
    if (SameName(name, "HideSelection")) return BoolText(hideSelection_);
    if (SameName(name, "ReadOnly")) return BoolText(readOnly_);
    if (SameName(name, "AutoExpand")) return BoolText(autoExpand_);
    if (SameName(name, "Indent")) {
      if (Window() != nullptr) {
        return std::to_string(static_cast<int>(Send(TVM_GETINDENT)));
      }
      return std::to_string(indent_.value_or(19));
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Items")) {
      SetItems(ParseTreeLines(text));
      return true;
    }
    if (SameName(name, "Selected")) return SelectByText(text);
    if (SameName(name, "SelectedPath")) return SelectByPath(text);
    if (SameName(name, "ShowLines")) return SetFlag(text, showLines_, TVS_HASLINES, true);
    if (SameName(name, "ShowButtons")) return SetFlag(text, showButtons_, TVS_HASBUTTONS, true);
    if (SameName(name, "ShowRoot")) return SetFlag(text, showRoot_, TVS_LINESATROOT, true);
    if (SameName(name, "HideSelection")) {
      return SetFlag(text, hideSelection_, TVS_SHOWSELALWAYS, false);
    }
    if (SameName(name, "ReadOnly")) return SetFlag(text, readOnly_, TVS_EDITLABELS, false);
    if (SameName(name, "AutoExpand")) {
      const auto value = ParseBool(text);
      if (value) autoExpand_ = *value;
      return value.has_value();
    }
    if (SameName(name, "Indent")) {
      const auto value = ParseInt(text);
      if (!value || *value < 0) return false;
      indent_ = *value;
      if (Window() != nullptr) Send(TVM_SETINDENT, static_cast<WPARAM>(*value));
      return true;
    }
    return std::nullopt;
  }

  bool OnNotify(NMHDR& header, LRESULT& result) override {
    switch (header.code) {
      case TVN_SELCHANGEDA:
      case TVN_SELCHANGEDW:
        CheckUserChange();
        return true;
      case NM_CLICK:
      case NM_RCLICK:
        NoteClick();
        FireFromUser(ControlEvent::kMouseUp);
        return true;
      case TVN_ENDLABELEDITA:
      case TVN_ENDLABELEDITW: {
        // The edit is kept unless it was cancelled (no text).
        const auto& info = reinterpret_cast<const NMTVDISPINFOA&>(header);
        result = info.item.pszText != nullptr ? TRUE : FALSE;
        return true;
      }
      default:
        return false;
    }
  }

 private:
  // Whether the click lay on a node's icon. A click on an icon selects its
  // node before anything else sees the click.
  void NoteClick() {
    const DWORD position = GetMessagePos();
    TVHITTESTINFO hit{};
    hit.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    ScreenToClient(Window(), &hit.pt);
    const auto item =
        reinterpret_cast<HTREEITEM>(Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    clickOnIcon_ = item != nullptr && (hit.flags & TVHT_ONITEMICON) != 0;
    if (clickOnIcon_ && item != Selection()) {
      Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    }
  }

  // Every node depth-first with its level, walked without recursion so that
  // a deep tree cannot exhaust the stack.
  std::vector<std::pair<int, HTREEITEM>> Nodes() const {
    std::vector<std::pair<int, HTREEITEM>> nodes;
    if (Window() == nullptr) return nodes;
    HTREEITEM item = Next(nullptr, TVGN_ROOT);
    int level = 0;
    while (item != nullptr) {
      nodes.emplace_back(level, item);
      if (const HTREEITEM child = Next(item, TVGN_CHILD); child != nullptr) {
        item = child;
        ++level;
        continue;
      }
      while (item != nullptr) {
        if (const HTREEITEM sibling = Next(item, TVGN_NEXT); sibling != nullptr) {
          item = sibling;
          break;
        }
        item = Next(item, TVGN_PARENT);
        --level;
      }
    }
    return nodes;
  }

  std::string ItemText(HTREEITEM item) const {
    std::vector<char> buffer(260);
    for (;;) {
      TVITEMA data{};
      data.mask = TVIF_TEXT;
      data.hItem = item;
      data.pszText = buffer.data();
      data.cchTextMax = static_cast<int>(buffer.size());
      buffer[0] = '\0';
      if (Send(TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data)) == FALSE) return "";
      buffer.back() = '\0';
      const std::size_t length = std::strlen(buffer.data());
      if (length + 1 < buffer.size() || buffer.size() >= 65536)
        return std::string(buffer.data(), length);
      buffer.resize(buffer.size() * 4);
    }
  }

  std::string ItemsText() const {
    std::vector<std::string> lines;
    if (Window() == nullptr) {
      for (const TreeLine& line : pending_)
        lines.push_back(std::string(line.level, '\t') + line.text);
    } else {
      for (const auto& [level, item] : Nodes()) {
        lines.push_back(std::string(static_cast<std::size_t>(level), '\t') + ItemText(item));
      }
    }
    return common::JoinLines(lines);
  }

  std::string SelectedPath() const {
    std::vector<std::string> texts;
    for (HTREEITEM item = Selection(); item != nullptr; item = Next(item, TVGN_PARENT)) {
      texts.push_back(ItemText(item));
    }
    std::string path;
    for (auto text = texts.rbegin(); text != texts.rend(); ++text) {
      if (!path.empty() || text != texts.rbegin()) path += '\\';
      path += *text;
    }
    return path;
  }

  void SetItems(std::vector<TreeLine> lines) {
    if (Window() == nullptr) {
      pending_ = std::move(lines);
      return;
    }
    const auto nodes = Nodes();
    const bool sameShape =
        nodes.size() == lines.size() &&
        std::equal(nodes.begin(), nodes.end(), lines.begin(),
                   [](const auto& node, const TreeLine& line) { return node.first == line.level; });
    if (sameShape) {
      // Only the labels change: selection and expansion stay as they are.
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        TVITEMA data{};
        data.mask = TVIF_TEXT;
        data.hItem = nodes[i].second;
        data.pszText = const_cast<char*>(lines[i].text.c_str());
        Send(TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&data));
      }
      return;
    }
    Build(lines);
    CheckChange();
  }

  void Build(const std::vector<TreeLine>& lines) {
    featureItems_.clear();
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    std::vector<HTREEITEM> parents;
    std::vector<HTREEITEM> roots;
    for (const TreeLine& line : lines) {
      const auto level = static_cast<std::size_t>(line.level);
      if (level > parents.size()) continue;  // cannot happen with parsed lines
      TVINSERTSTRUCTA insert{};
      insert.hParent = level == 0 ? TVI_ROOT : parents[level - 1];
      insert.hInsertAfter = TVI_LAST;
      insert.item.mask = TVIF_TEXT;
      insert.item.pszText = const_cast<char*>(line.text.c_str());
      const auto item =
          reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
      if (item == nullptr) break;
      parents.resize(level);
      parents.push_back(item);
      if (level == 0) roots.push_back(item);
    }
    // The first level shows its children, so a feature tree is visible at once.
    for (const HTREEITEM root : roots) Send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
  }

  bool Select(HTREEITEM item) {
    if (Window() == nullptr) return false;
    {
      Quiet quiet(*this);
      Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
      if (item != nullptr) Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    }
    CheckChange();
    return true;
  }

  bool SelectByText(const std::string& text) {
    if (text.empty()) return Select(nullptr);
    for (const auto& [level, item] : Nodes()) {
      if (ItemText(item) == text) return Select(item);
    }
    return false;
  }

  bool SelectByPath(const std::string& path) {
    if (path.empty()) return Select(nullptr);
    if (Window() == nullptr) return false;
    HTREEITEM item = nullptr;
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      const std::string text = path.substr(start, end - start);
      HTREEITEM child = item == nullptr ? Next(nullptr, TVGN_ROOT) : Next(item, TVGN_CHILD);
      while (child != nullptr && ItemText(child) != text) child = Next(child, TVGN_NEXT);
      if (child == nullptr) return false;
      item = child;
      start = end + 1;
    }
    return Select(item);
  }

  bool showLines_;
  bool showButtons_;
  bool showRoot_;
  bool hideSelection_;
  bool readOnly_;
  bool autoExpand_;
  std::optional<int> indent_;
  std::vector<TreeLine> pending_;  // Items set before the window exists
  std::optional<FeatureTree> pendingFeatures_;
  std::vector<HTREEITEM> featureItems_;  // by feature node, when it shows one
  bool clickOnIcon_ = false;
};

}  // namespace

std::unique_ptr<FormControl> CreateTreeViewControl(const FormObject& object, ControlSite& site) {
  const std::string& name = object.className;
  if (SameName(name, "TTreeView")) return std::make_unique<TreeViewControl>(object, site);
  return nullptr;
}

}  // namespace tavrel::shell_controls
