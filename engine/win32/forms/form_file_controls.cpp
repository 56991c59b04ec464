// The folder and file controls: TFileListBox, TDirectoryListBox,
// TDriveComboBox and TFilterComboBox.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii_case.h"
#include "common/paths.h"
#include "common/text_lines.h"
#include "engine/win32/forms/form_file_system.h"
#include "engine/win32/forms/form_shell_kit.h"

namespace tavrel::shell_controls {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// ---------------------------------------------------------------------------
// File masks ("*.txt;*.log")

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsValidMask(std::string_view masks) {
  return masks.find_first_of(std::string_view("\\/:<>|\"\0", 8)) == std::string_view::npos;
}

class MaskSet {
 public:
  explicit MaskSet(std::string_view masks) {
    std::size_t start = 0;
    while (start <= masks.size()) {
      std::size_t end = masks.find(';', start);
      if (end == std::string_view::npos) end = masks.size();
      const std::string_view mask = Trimmed(masks.substr(start, end - start));
      if (!mask.empty()) masks_.push_back(Folded(mask));
      start = end + 1;
    }
  }

  bool Matches(std::string_view name) const {
    if (masks_.empty()) return true;
    const std::string folded = Folded(name);
    const bool hasExtension = folded.find('.') != std::string::npos;
    for (const std::string& mask : masks_) {
      if (WildcardMatch(mask, folded)) return true;
      // "*.*" takes every name, "readme.*" also "readme": a name without an
      // extension matches an extension of "*".
      if (!hasExtension && mask.size() >= 2 && mask.ends_with(".*") &&
          WildcardMatch(std::string_view(mask).substr(0, mask.size() - 2), folded)) {
        return true;
      }
    }
    return false;
  }

 private:
  std::vector<std::string> masks_;
};

// The list boxes of a folder: extraStyle adds sorting or owner drawing.
WindowParams ListBoxParams(DWORD extraStyle) {
  WindowParams params;
  params.windowClass = "LISTBOX";
  params.style = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | extraStyle;
  params.exStyle = WS_EX_CLIENTEDGE;
  return params;
}

// ---------------------------------------------------------------------------
// TFileListBox

class FileListBoxControl final : public ShellControl {
 public:
  FileListBoxControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TFileListBox", site), directory_(CurrentFolder()) {}

 protected:
  WindowParams Params() const override { return ListBoxParams(LBS_SORT); }

  void Created() override {
    Fill("");
    TakeValue();
  }

  std::string Value() override { return FileName(); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Directory")) return directory_;
    if (SameName(name, "FileName")) return FileName();
    if (SameName(name, "Mask")) return mask_;
    if (SameName(name, "ItemIndex")) return std::to_string(Index());
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      const int count = Window() != nullptr ? static_cast<int>(Send(LB_GETCOUNT)) : 0;
      for (int i = 0; i < count; ++i) items.push_back(ItemText(i, LB_GETTEXTLEN, LB_GETTEXT));
      return common::JoinLines(items);
    }
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Directory")) {
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      const std::string keep = SamePath(*folder, directory_) ? SelectedName() : "";
      directory_ = *folder;
      Fill(keep);
      CheckChange();
      return true;
    }
    if (SameName(name, "Mask")) {
      const std::string_view mask = Trimmed(text);
      if (!IsValidMask(mask)) return false;
      mask_ = mask.empty() ? "*.*" : std::string(mask);
      Fill(SelectedName());
      CheckChange();
      return true;
    }
    if (SameName(name, "FileName")) return SetFileName(text);
    if (SameName(name, "ItemIndex")) {
      const auto index = ParseInt(text);
      if (!index || Window() == nullptr || *index < -1 || *index >= Send(LB_GETCOUNT)) {
        return false;
      }
      {
        Quiet quiet(*this);
        Send(LB_SETCURSEL, static_cast<WPARAM>(*index), 0);
      }
      CheckChange();
      return true;
    }
    if (SameName(name, "Items")) return false;  // the folder's files; not set from outside
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification == LBN_SELCHANGE) CheckUserChange();
  }

 private:
  int Index() const {
    if (Window() == nullptr) return -1;
    const auto index = Send(LB_GETCURSEL);
    return index == LB_ERR ? -1 : static_cast<int>(index);
  }
  std::string SelectedName() const { return ItemText(Index(), LB_GETTEXTLEN, LB_GETTEXT); }
  std::string FileName() const {
    const std::string name = SelectedName();
    return name.empty() ? "" : common::JoinPath(directory_, name);
  }

  // Lists the files of the folder that match the mask and selects keep
  // again when it is still there.
  void Fill(const std::string& keep) {
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(LB_RESETCONTENT);
    const MaskSet masks(mask_);
    const auto files = ListFolder(directory_, [&](const FolderEntry& entry) {
      return !entry.folder && masks.Matches(entry.name);
    });
    for (const FolderEntry& file : files) {
      Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(file.name.c_str()));
    }
    if (!keep.empty()) {
      const auto index =
          Send(LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(keep.c_str()));
      if (index != LB_ERR) Send(LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
  }

  // A full path of a file shown, or just its name; "" selects none.
  bool SetFileName(const std::string& text) {
    if (Window() == nullptr) return false;
    int index = -1;
    if (!text.empty()) {
      const auto name = NameIn(directory_, text);
      if (!name || name->empty()) return false;
      const auto found = Send(LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(name->c_str()));
      if (found == LB_ERR) return false;
      index = static_cast<int>(found);
    }
    {
      Quiet quiet(*this);
      Send(LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    CheckChange();
    return true;
  }

  std::string directory_;
  std::string mask_ = "*.*";
};

// ---------------------------------------------------------------------------
// TDirectoryListBox

class DirectoryListBoxControl final : public ShellControl {
 public:
  DirectoryListBoxControl(const FormObject& object, ControlSite& site)
      : ShellControl(object, "TDirectoryListBox", site), directory_(CurrentFolder()) {}

 protected:
  WindowParams Params() const override {
    return ListBoxParams(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS);
  }
  bool WantsOwnMessages() const override { return true; }

  void Created() override {
    Send(LB_SETITEMHEIGHT, 0, ItemHeightFor(Window(), Font()));
    Fill();
    TakeValue();
  }

  std::string Value() override { return directory_; }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (SameName(name, "Directory")) return directory_;
    if (SameName(name, "Items")) return JoinedItems(entries_, &FolderLine::label);
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (SameName(name, "Directory")) {
      const auto folder = ExistingFolder(text);
      if (!folder) return false;
      directory_ = *folder;
      Fill();
      CheckChange();
      return true;
    }
    if (SameName(name, "Items")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification == LBN_DBLCLK && !Quieted()) OpenSelected();
  }

  bool OnDrawItem(DRAWITEMSTRUCT& item) override {
    DrawFolderLine(item, Font(), entries_);
    return true;
  }

  bool OnOwnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    if (WantEnter(message, wParam, lParam, result)) return true;
    switch (message) {
      case WM_KEYDOWN:
        if (wParam != VK_RETURN) return false;
        OpenSelected();
        result = 0;
        return true;
      case WM_SETFONT:
        Send(LB_SETITEMHEIGHT, 0, ItemHeightFor(Window(), reinterpret_cast<HFONT>(wParam)));
        return false;
      default:
        return false;
    }
  }

 private:
  // The root, each folder down to the current one (shown open), then its
  // subfolders.
  void Fill() {
    entries_.clear();
    if (!directory_.empty()) {
      const FolderParts parts = SplitFolder(directory_);
      std::string label = parts.root;
      if (IsDriveRoot(label)) {
        label[0] = common::ToLowerAscii(label[0]);
        if (parts.root != rootIconFor_) {
          Drive drive;
          drive.root = parts.root;
          drive.type = GetDriveTypeA(drive.root.c_str());
          rootIcon_ = DriveIcon(drive);
          rootIconFor_ = parts.root;
        }
      } else {
        rootIcon_ = Icons().folder;
        rootIconFor_.clear();
      }
      entries_.push_back({parts.root, label, 0, rootIcon_});
      std::string path = parts.root;
      int level = 0;
      for (const std::string& name : parts.names) {
        path = common::JoinPath(path, name);
        entries_.push_back({path, name, ++level, Icons().openFolder});
      }
      for (const FolderEntry& folder : Subfolders(directory_)) {
        entries_.push_back(
            {common::JoinPath(directory_, folder.name), folder.name, level + 1, Icons().folder});
      }
      current_ = static_cast<int>(parts.names.size());
    }
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    NoRedraw noRedraw(Window());
    Send(LB_RESETCONTENT);
    for (const FolderLine& entry : entries_) {
      Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label.c_str()));
    }
    if (!entries_.empty()) Send(LB_SETCURSEL, static_cast<WPARAM>(current_), 0);
  }

  void OpenSelected() {
    const int index = IndexBelow(LB_GETCURSEL, entries_.size());
    if (index < 0) return;
    const auto folder = ExistingFolder(entries_[static_cast<std::size_t>(index)].path);
    // A folder that vanished: show what is there now.
    if (folder) directory_ = *folder;
    Fill();
    CheckUserChange();
  }

  std::string directory_;
  std::vector<FolderLine> entries_;
  int current_ = 0;
  int rootIcon_ = -1;        // the root entry's icon
  std::string rootIconFor_;  // the drive it was looked up for
};

// ---------------------------------------------------------------------------
// TDriveComboBox

class DriveComboBoxControl final : public ComboControl {
 public:
  DriveComboBoxControl(const FormObject& object, ControlSite& site)
      : ComboControl(object, "TDriveComboBox", site), drives_(LogicalDrives(true)) {
    const std::string current = CurrentFolder();
    if (current.size() >= 2 && current[1] == ':') drive_ = common::ToLowerAscii(current[0]);
    if (Find(drive_) < 0) drive_ = drives_.empty() ? '\0' : drives_.front().letter;
  }

 protected:
  WindowParams Params() const override { return DropDownParams(); }

  void Created() override {
    for (const Drive& drive : drives_) {
      std::string text{drive.letter, ':'};
      if (!drive.label.empty()) text += " [" + drive.label + "]";
      Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    Send(CB_SETCURSEL, static_cast<WPARAM>(Find(drive_)), 0);
    FitDropDown();
    TakeValue();
  }

  std::string Value() override { return drive_ == '\0' ? "" : std::string(1, drive_); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (auto value = GetComboProperty(name)) return value;
    if (SameName(name, "Drive")) return Value();
    if (SameName(name, "Items")) {
      std::vector<std::string> items;
      for (int i = 0; i < Count(); ++i) items.push_back(Label(i));
      return common::JoinLines(items);
    }
    if (SameName(name, "Text")) return Label(Find(drive_));
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (auto valid = SetComboProperty(name, text)) return valid;
    if (SameName(name, "Drive")) {
      // "d", "D", "d:" and "d:\" name the same drive.
      const std::string_view value = Trimmed(text);
      if (value.empty() || !common::IsAsciiLetter(value[0]) || value.size() > 3 ||
          (value.size() >= 2 && value[1] != ':') || (value.size() == 3 && value[2] != '\\')) {
        return false;
      }
      const int index = Find(common::ToLowerAscii(value[0]));
      if (index < 0) return false;
      drive_ = common::ToLowerAscii(value[0]);
      if (Window() != nullptr) {
        Quiet quiet(*this);
        Send(CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      }
      CheckChange();
      return true;
    }
    if (SameName(name, "Items") || SameName(name, "Text")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification != CBN_SELCHANGE || Quieted()) return;
    const int index = IndexBelow(CB_GETCURSEL, drives_.size());
    if (index < 0) return;
    drive_ = drives_[static_cast<std::size_t>(index)].letter;
    CheckUserChange();
  }

 private:
  int Find(char letter) const {
    for (std::size_t i = 0; i < drives_.size(); ++i) {
      if (drives_[i].letter == letter) return static_cast<int>(i);
    }
    return -1;
  }
  int Count() const { return Window() != nullptr ? static_cast<int>(Send(CB_GETCOUNT)) : 0; }
  std::string Label(int index) const { return ItemText(index, CB_GETLBTEXTLEN, CB_GETLBTEXT); }

  std::vector<Drive> drives_;
  char drive_ = '\0';
};

// ---------------------------------------------------------------------------
// TFilterComboBox

struct FilterItem {
  std::string description;
  std::string mask;
};

// "Text files (*.txt)|*.txt|All files (*.*)|*.*": descriptions and masks in
// turn. nullopt when a description has no mask or a mask is not one.
std::optional<std::vector<FilterItem>> ParseFilter(std::string_view text) {
  std::vector<FilterItem> items;
  if (text.empty()) return items;
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('|', start);
    if (end == std::string_view::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() % 2 != 0 && parts.back().empty()) parts.pop_back();  // a trailing '|'
  if (parts.size() % 2 != 0) return std::nullopt;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    const std::string_view mask = Trimmed(parts[i + 1]);
    if (mask.empty() || !IsValidMask(mask)) return std::nullopt;
    items.push_back({std::string(parts[i]), std::string(mask)});
  }
  return items;
}

class FilterComboBoxControl final : public ComboControl {
 public:
  FilterComboBoxControl(const FormObject& object, ControlSite& site)
      : ComboControl(object, "TFilterComboBox", site),
        filter_(kDefaultFilter),
        items_(ParseFilter(kDefaultFilter).value_or(std::vector<FilterItem>{})) {}

 protected:
  WindowParams Params() const override { return DropDownParams(); }

  void Created() override {
    Fill();
    FitDropDown();
    TakeValue();
  }

  std::string Value() override { return std::to_string(index_) + '|' + Mask(); }

  std::optional<std::string> GetOwn(std::string_view name) override {
    if (auto value = GetComboProperty(name)) return value;
    if (SameName(name, "Filter")) return filter_;
    if (SameName(name, "Mask")) return Mask();
    if (SameName(name, "ItemIndex")) return std::to_string(index_);
    if (SameName(name, "Items")) return JoinedItems(items_, &FilterItem::description);
    if (SameName(name, "Text"))
      return index_ >= 0 ? items_[static_cast<std::size_t>(index_)].description : "";
    return std::nullopt;
  }

  std::optional<bool> SetOwn(std::string_view name, const std::string& text) override {
    if (auto valid = SetComboProperty(name, text)) return valid;
    if (SameName(name, "Filter")) {
      auto items = ParseFilter(text);
      if (!items) return false;
      filter_ = text;
      items_ = std::move(*items);
      index_ = items_.empty() ? -1 : 0;
      Fill();
      CheckChange();
      return true;
    }
    if (SameName(name, "ItemIndex")) {
      const auto index = ParseInt(text);
      if (!index || *index < -1 || *index >= static_cast<int>(items_.size())) return false;
      return Choose(*index);
    }
    if (SameName(name, "Mask")) {
      // Chooses the first item with that mask.
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (SamePath(items_[i].mask, Trimmed(text))) return Choose(static_cast<int>(i));
      }
      return false;
    }
    if (SameName(name, "Items") || SameName(name, "Text")) return false;
    return std::nullopt;
  }

  void OnCommand(WORD notification) override {
    if (notification != CBN_SELCHANGE || Quieted()) return;
    index_ = IndexBelow(CB_GETCURSEL, items_.size());
    CheckUserChange();
  }

 private:
  static constexpr const char* kDefaultFilter = "All files (*.*)|*.*";

  // The selected item's mask; every file when none is selected.
  std::string Mask() const {
    return index_ >= 0 ? items_[static_cast<std::size_t>(index_)].mask : "*.*";
  }

  void Fill() {
    if (Window() == nullptr) return;
    Quiet quiet(*this);
    Send(CB_RESETCONTENT);
    for (const FilterItem& item : items_) {
      Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.description.c_str()));
    }
    Send(CB_SETCURSEL, static_cast<WPARAM>(index_));
  }

  bool Choose(int index) {
    index_ = index;
    if (Window() != nullptr) {
      Quiet quiet(*this);
      Send(CB_SETCURSEL, static_cast<WPARAM>(index));
    }
    CheckChange();
    return true;
  }

  std::string filter_;
  std::vector<FilterItem> items_;
  int index_ = 0;
};

}  // namespace

std::unique_ptr<FormControl> CreateFileControl(const FormObject& object, ControlSite& site) {
  const std::string& name = object.className;
  if (SameName(name, "TFileListBox")) return std::make_unique<FileListBoxControl>(object, site);
  if (SameName(name, "TDirectoryListBox")) {
    return std::make_unique<DirectoryListBoxControl>(object, site);
  }
  if (SameName(name, "TDriveComboBox")) return std::make_unique<DriveComboBoxControl>(object, site);
  if (SameName(name, "TFilterComboBox")) {
    return std::make_unique<FilterComboBoxControl>(object, site);
  }
  return nullptr;
}

}  // namespace tavrel::shell_controls
