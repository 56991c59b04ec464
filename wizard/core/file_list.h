// The wizard's file list: the entries a package is made of, each a path text
// and a tick (ticked: taken with its subfolders). The list never holds the
// same text twice and is kept in the order it is arranged by.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "wizard/core/project_settings.h"

namespace ombrwiz {

using PathQuery = std::function<bool(const std::string&)>;

class FileList {
 public:
  enum class Order { kName, kType };

  const std::vector<FileEntry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }

  // Replaces the whole list (a loaded project), arranged and without repeats.
  void Assign(std::span<const FileEntry> entries);

  // Adds an entry unless its text is listed already (letter case ignored, as
  // Windows names are); the index it got, or -1 when it was skipped.
  int Add(const FileEntry& entry);

  // A file or folder given by the system (dropped from Explorer, chosen in a
  // dialog, named on the command line): an existing file unticked, an
  // existing folder as folder\*.* ticked, anything else ignored. -1 when
  // nothing was added.
  int AddItem(const std::string& path, const PathQuery& fileExists, const PathQuery& folderExists);

  // The text an edited entry takes: an existing folder, or a path ending in a
  // backslash that is not an existing file, gets "*.*" (after a backslash);
  // "*.*" alone becomes "c:\*.*". Blanks around the text are dropped; an
  // empty result means the edit is refused.
  static std::string EditedText(std::string_view typed, const PathQuery& fileExists,
                                const PathQuery& folderExists);

  // Gives entry `index` its edited text (see EditedText); false when the
  // edit is refused (empty, or the text of another entry). The index it
  // has afterwards is returned through `moved`.
  bool Rename(std::size_t index, std::string_view typed, const PathQuery& fileExists,
              const PathQuery& folderExists, std::size_t* moved = nullptr);

  void SetTicked(std::size_t index, bool ticked);
  // Removes the entries at these indices (any order, repeats allowed).
  void Remove(std::vector<std::size_t> indices);
  void Clear() { entries_.clear(); }

  // By name: the full text ignoring case. By type: the extension of the
  // last name, then the full text.
  void Arrange(Order order);
  Order Arrangement() const { return order_; }

 private:
  int IndexOf(std::string_view text) const;
  std::size_t Place(FileEntry entry);

  std::vector<FileEntry> entries_;
  Order order_ = Order::kName;
};

}  // namespace ombrwiz
