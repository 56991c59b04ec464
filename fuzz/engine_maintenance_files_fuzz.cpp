// Fuzzes the readers of the two files a maintenance run restores from: the
// input read as a component file and as a parameter file. What is read must
// hold together (a state per name, each "TRUE" or "FALSE"; pairs in the
// parameter list) and come back unchanged through the writers. The input
// also serves as the writers' items (split at 0xFF bytes): read back, they
// must come out as written, with a line break inside an item as a blank, so
// that no item shifts the lines after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/maintenance_files.h"

namespace {

std::string OneLine(std::string item) {
  for (char& c : item) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return item;
}

std::vector<std::string> Split(std::string_view input) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (std::size_t at = input.find('\xff'); at != std::string_view::npos;
       at = input.find('\xff', start)) {
    items.emplace_back(input.substr(start, at - start));
    start = at + 1;
  }
  items.emplace_back(input.substr(start));
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const tavrel::RestoredComponents read = tavrel::ReadComponentFile(input);
  if (read.names.size() != read.states.size()) std::abort();
  for (const std::string& state : read.states) {
    if (state != "TRUE" && state != "FALSE") std::abort();
  }
  for (const std::string& name : read.names) {
    if (name == "$" || name.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  tavrel::ComponentFile again{read.names,
                              read.states,
                              read.targetDir.value_or(""),
                              read.allUsers.value_or(""),
                              read.startMenu.value_or(""),
                              ""};
  const tavrel::RestoredComponents back = tavrel::ReadComponentFile(WriteComponentFile(again));
  if (back.names != read.names || back.states != read.states) std::abort();
  if (back.targetDir.value_or("") != again.targetDir) std::abort();
  if (back.startMenu.value_or("") != again.startMenu) std::abort();

  const std::vector<std::string> list = tavrel::ReadParameterFile(input);
  if (list.size() % 2 != 0) std::abort();
  if (tavrel::ReadParameterFile(tavrel::WriteParameterFile(list)) != list) std::abort();

  std::vector<std::string> items = Split(input);
  if (items.size() % 2 != 0) items.pop_back();
  std::vector<std::string> expected;
  for (const std::string& item : items) expected.push_back(OneLine(item));
  if (tavrel::ReadParameterFile(tavrel::WriteParameterFile(items)) != expected) std::abort();

  // Names that are no "$" and states of either value, with the four values.
  if (items.size() >= 6) {
    tavrel::ComponentFile file;
    for (std::size_t i = 4; i + 1 < items.size(); i += 2) {
      if (OneLine(items[i]) == "$") continue;
      file.names.push_back(items[i]);
      file.states.push_back(items[i + 1].empty() ? "FALSE" : "TRUE");
    }
    file.targetDir = items[0];
    file.allUsers = items[1];
    file.startMenu = items[2];
    file.dataFolder = items[3];
    const tavrel::RestoredComponents restored =
        tavrel::ReadComponentFile(tavrel::WriteComponentFile(file));
    if (restored.names.size() != file.names.size() || restored.states != file.states) std::abort();
    for (std::size_t i = 0; i < file.names.size(); ++i) {
      if (restored.names[i] != OneLine(file.names[i])) std::abort();
    }
    if (restored.targetDir != OneLine(file.targetDir)) std::abort();
    if (restored.allUsers != OneLine(file.allUsers)) std::abort();
    if (restored.startMenu != OneLine(file.startMenu)) std::abort();
  }
  return 0;
}
