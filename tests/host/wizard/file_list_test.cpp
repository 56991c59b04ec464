#include "wizard/core/file_list.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace ombrwiz {
namespace {

const std::set<std::string> kFiles{"C:\\a\\Readme.txt", "C:\\a\\setup.exe", "C:\\odd\\"};
const std::set<std::string> kFolders{"C:\\a", "C:\\a\\", "C:\\b"};
const PathQuery kFileExists = [](const std::string& p) { return kFiles.contains(p); };
const PathQuery kFolderExists = [](const std::string& p) { return kFolders.contains(p); };

std::vector<std::string> Texts(const FileList& list) {
  std::vector<std::string> texts;
  for (const FileEntry& e : list.Entries()) texts.push_back(e.path + (e.subfolders ? " [x]" : ""));
  return texts;
}

TEST(FileList, AddingItemsSkipsRepeatsAndUnknownNames) {
  FileList list;
  EXPECT_GE(list.AddItem("C:\\b", kFileExists, kFolderExists), 0);
  EXPECT_EQ(list.AddItem("C:\\b", kFileExists, kFolderExists), -1);  // the same folder twice
  EXPECT_EQ(list.AddItem("C:\\missing.txt", kFileExists, kFolderExists), -1);
  EXPECT_GE(list.AddItem("C:\\a\\setup.exe", kFileExists, kFolderExists), 0);
  EXPECT_EQ(list.AddItem("c:\\A\\SETUP.EXE", kFileExists, kFolderExists), -1);
  EXPECT_GE(list.AddItem("C:\\a\\Readme.txt", kFileExists, kFolderExists), 0);
  EXPECT_EQ(list.Add({"c:\\b\\*.*", false}), -1);
  EXPECT_EQ(Texts(list),
            (std::vector<std::string>{"C:\\a\\Readme.txt", "C:\\a\\setup.exe", "C:\\b\\*.* [x]"}));
  list.Arrange(FileList::Order::kType);
  EXPECT_EQ(Texts(list),
            (std::vector<std::string>{"C:\\b\\*.* [x]", "C:\\a\\setup.exe", "C:\\a\\Readme.txt"}));
  // New entries take their place in the arrangement chosen.
  EXPECT_EQ(list.Add({"C:\\z.bat", false}), 1);
  list.SetTicked(1, true);
  list.Remove({3, 0, 3});
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"C:\\z.bat [x]", "C:\\a\\setup.exe"}));
}

TEST(FileList, EditedTexts) {
  struct Case {
    const char* typed;
    const char* text;
  };
  const std::vector<Case> cases = {
      {"*.*", "c:\\*.*"},
      {"C:\\a", "C:\\a\\*.*"},                      // an existing folder
      {"C:\\a\\", "C:\\a\\*.*"},                    // its path with the separator
      {"D:\\new folder\\", "D:\\new folder\\*.*"},  // a path ending in a separator
      {"C:\\odd\\", "C:\\odd\\"},                   // ... that is an existing file
      {"  C:\\a\\Readme.txt ", "C:\\a\\Readme.txt"},
      {"D:\\*.txt", "D:\\*.txt"},
      {"   ", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileList::EditedText(c.typed, kFileExists, kFolderExists), c.text) << c.typed;
  }
  FileList list;
  list.Add({"C:\\x.txt", false});
  list.Add({"C:\\y.txt", true});
  std::size_t moved = 9;
  EXPECT_FALSE(list.Rename(0, "c:\\Y.TXT", kFileExists, kFolderExists));  // another entry's text
  EXPECT_FALSE(list.Rename(0, " ", kFileExists, kFolderExists));
  EXPECT_TRUE(list.Rename(0, "C:\\b", kFileExists, kFolderExists, &moved));
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"C:\\b\\*.*", "C:\\y.txt [x]"}));
}

}  // namespace
}  // namespace ombrwiz
