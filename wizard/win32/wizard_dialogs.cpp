#include "wizard/win32/wizard_dialogs.h"

#include <windows.h>
// The common dialogs after the Windows types.
#include <commdlg.h>

#include <cstring>

#include "common/paths.h"

namespace ombrwiz {

namespace {

// "A|*.a|B|*.*" as the dialogs want it: each part ended by a zero, and one more.
std::string FilterText(const char* filter) {
  std::string text(filter);
  for (char& c : text) {
    if (c == '|') c = '\0';
  }
  text.append(2, '\0');
  return text;
}

constexpr std::size_t kNamesRoom = 32 * 1024;

OPENFILENAMEA Dialog(HWND owner, const char* title, const std::string& filter,
                     const std::string& folder, std::string& names) {
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = names.data();
  dialog.nMaxFile = static_cast<DWORD>(names.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrTitle = title;
  return dialog;
}

}  // namespace

std::vector<std::string> ChooseFilesToOpen(HWND owner, const char* title, const char* filter,
                                           std::string& folder) {
  const std::string filters = FilterText(filter);
  std::string names(kNamesRoom, '\0');
  OPENFILENAMEA dialog = Dialog(owner, title, filters, folder, names);
  dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                 OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return {};
  // One file: its path. Several: the folder, then each name, each ended by a zero.
  std::vector<std::string> parts;
  for (const char* part = names.c_str(); *part != '\0'; part += std::strlen(part) + 1) {
    parts.emplace_back(part);
  }
  if (parts.empty()) return {};
  folder = common::WithTrailingBackslash(
      parts.size() == 1 ? std::string(common::FolderPart(parts.front())) : parts.front());
  if (parts.size() == 1) return parts;
  std::vector<std::string> paths;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    paths.push_back(common::JoinPath(parts.front(), parts[i]));
  }
  return paths;
}

std::optional<std::string> ChooseFileToOpen(HWND owner, const char* title, const char* filter,
                                            std::string& folder) {
  const std::string filters = FilterText(filter);
  std::string names(kNamesRoom, '\0');
  OPENFILENAMEA dialog = Dialog(owner, title, filters, folder, names);
  dialog.Flags =
      OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return std::nullopt;
  std::string path = names.c_str();
  folder = std::string(common::FolderPart(path));
  return path;
}

std::optional<std::string> ChooseFileToSave(HWND owner, const char* title, const char* filter,
                                            const char* extension, std::string& folder,
                                            const std::string& current) {
  const std::string filters = FilterText(filter);
  std::string names(kNamesRoom, '\0');
  const std::string name(common::NamePart(current));
  if (name.size() < kNamesRoom) names.replace(0, name.size(), name);
  OPENFILENAMEA dialog = Dialog(owner, title, filters, folder, names);
  dialog.lpstrDefExt = extension;
  dialog.Flags =
      OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&dialog)) return std::nullopt;
  std::string path = names.c_str();
  folder = std::string(common::FolderPart(path));
  return path;
}

}  // namespace ombrwiz
