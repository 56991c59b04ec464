#include "wizard/core/file_list.h"

#include <algorithm>

#include "common/ascii_case.h"
#include "common/paths.h"

namespace ombrwiz {

namespace {

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

// The extension of the last name, without its dot; empty when it has none.
std::string ExtensionOf(std::string_view path) {
  const std::string_view name = common::NamePart(path);
  const auto dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

bool Before(const FileEntry& a, const FileEntry& b, FileList::Order order) {
  const std::string left = common::ToLowerAscii(a.path);
  const std::string right = common::ToLowerAscii(b.path);
  if (order == FileList::Order::kType) {
    const std::string leftType = common::ToLowerAscii(ExtensionOf(a.path));
    const std::string rightType = common::ToLowerAscii(ExtensionOf(b.path));
    if (leftType != rightType) return leftType < rightType;
  }
  return left < right;
}

}  // namespace

void FileList::Assign(std::span<const FileEntry> entries) {
  entries_.clear();
  for (const FileEntry& entry : entries) Add(entry);
}

int FileList::IndexOf(std::string_view text) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (common::EqualsIgnoringAsciiCase(entries_[i].path, text)) return static_cast<int>(i);
  }
  return -1;
}

std::size_t FileList::Place(FileEntry entry) {
  const auto at = std::upper_bound(
      entries_.begin(), entries_.end(), entry,
      [this](const FileEntry& a, const FileEntry& b) { return Before(a, b, order_); });
  const auto placed = entries_.insert(at, std::move(entry));
  return static_cast<std::size_t>(placed - entries_.begin());
}

int FileList::Add(const FileEntry& entry) {
  if (entry.path.empty() || IndexOf(entry.path) >= 0) return -1;
  return static_cast<int>(Place(entry));
}

int FileList::AddItem(const std::string& path, const PathQuery& fileExists,
                      const PathQuery& folderExists) {
  if (path.empty()) return -1;
  if (folderExists(path)) return Add(FileEntry{common::JoinPath(path, "*.*"), true});
  if (fileExists(path)) return Add(FileEntry{path, false});
  return -1;
}

std::string FileList::EditedText(std::string_view typed, const PathQuery& fileExists,
                                 const PathQuery& folderExists) {
  std::string text = Trimmed(typed);
  if (text.empty()) return text;
  if (text == "*.*") return "c:\\*.*";
  const bool endsInSeparator = text.back() == '\\';
  if ((endsInSeparator && !fileExists(text)) || folderExists(text)) {
    text = common::JoinPath(text, "*.*");
  }
  return text;
}

bool FileList::Rename(std::size_t index, std::string_view typed, const PathQuery& fileExists,
                      const PathQuery& folderExists, std::size_t* moved) {
  if (index >= entries_.size()) return false;
  const std::string text = EditedText(typed, fileExists, folderExists);
  const int other = IndexOf(text);
  if (text.empty() || (other >= 0 && static_cast<std::size_t>(other) != index)) return false;
  FileEntry entry = entries_[index];
  entry.path = text;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  const std::size_t at = Place(std::move(entry));
  if (moved != nullptr) *moved = at;
  return true;
}

void FileList::SetTicked(std::size_t index, bool ticked) {
  if (index < entries_.size()) entries_[index].subfolders = ticked;
}

void FileList::Remove(std::vector<std::size_t> indices) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  for (auto i = indices.rbegin(); i != indices.rend(); ++i) {
    if (*i < entries_.size()) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(*i));
  }
}

void FileList::Arrange(Order order) {
  order_ = order;
  std::stable_sort(entries_.begin(), entries_.end(),
                   [order](const FileEntry& a, const FileEntry& b) { return Before(a, b, order); });
}

}  // namespace ombrwiz
