// freespace.dll: a plug-in for Tavrel setup scripts that sets a variable to
// the free space, in whole megabytes, of the drive a folder lies on.
//
// Its parameter is "NAME|FOLDER", for example
//
//     FREESPACE|$TARGETDIR$
//
// The engine hands the parameter over exactly as the script wrote it, so the
// plug-in expands the $NAME$ references itself from the variables it got.
// It sets NAME (FREESPACE above) to the number of megabytes free, or fails
// when the parameter has no '|' or the drive cannot be asked.
//
// Self-contained on purpose: copy this file and freespace.def, and build a
// 32-bit DLL, for example with MinGW-w64:
//
//     i686-w64-mingw32-g++ -std=c++17 -O2 -shared -static -s -o freespace.dll
//         freespace.cpp freespace.def -Wl,--enable-stdcall-fixup
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using ProgressCallback = unsigned char(__stdcall*)(std::int32_t position, const char* text);

// ---- Variable list text: name, value, name, value, ... separated by commas ----

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// An item is quoted when it holds a blank, a control character, a comma or a
// double quote; inside the quotes each double quote is doubled.
std::string WriteList(const std::vector<std::string>& items) {
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ',';
    const std::string& item = items[i];
    bool quote = false;
    for (char c : item) quote = quote || IsBlankOrControl(c) || c == ',' || c == '"';
    if (!quote) {
      text += item;
      continue;
    }
    text += '"';
    for (char c : item) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::vector<std::string> ReadList(const char* text) {
  std::vector<std::string> items;
  const std::size_t size = std::strlen(text);
  std::size_t pos = 0;
  auto skipBlanks = [&] {
    while (pos < size && IsBlankOrControl(text[pos])) ++pos;
  };
  skipBlanks();
  while (pos < size) {
    std::string item;
    if (text[pos] == '"') {
      for (++pos; pos < size; ++pos) {
        if (text[pos] == '"') {
          if (pos + 1 < size && text[pos + 1] == '"') {
            ++pos;  // a doubled quote is one quote
          } else {
            ++pos;
            break;
          }
        }
        item += text[pos];
      }
    } else {
      while (pos < size && !IsBlankOrControl(text[pos]) && text[pos] != ',') item += text[pos++];
    }
    items.push_back(item);
    skipBlanks();
    if (pos < size && text[pos] == ',') {
      ++pos;
      if (pos == size) items.emplace_back();
      skipBlanks();
    }
  }
  return items;
}

using Variables = std::vector<std::pair<std::string, std::string>>;

Variables ToVariables(const std::vector<std::string>& items) {
  Variables variables;
  for (std::size_t i = 0; i + 1 < items.size(); i += 2)
    variables.emplace_back(items[i], items[i + 1]);
  return variables;
}

std::string ToUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Variable names do not depend on letter case.
void SetVariable(Variables& variables, const std::string& name, const std::string& value) {
  for (auto& variable : variables) {
    if (ToUpper(variable.first) == ToUpper(name)) {
      variable.second = value;
      return;
    }
  }
  variables.emplace_back(name, value);
}

// Replaces each $NAME$ of a known variable by its value (one pass).
std::string Expand(const std::string& text, const Variables& variables) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('$', pos);
    const std::size_t close = open == std::string::npos ? open : text.find('$', open + 1);
    if (close == std::string::npos) break;
    const std::string name = ToUpper(text.substr(open + 1, close - open - 1));
    out += text.substr(pos, open - pos);
    bool known = false;
    for (const auto& variable : variables) {
      if (ToUpper(variable.first) == name) {
        out += variable.second;
        known = true;
        break;
      }
    }
    if (known) {
      pos = close + 1;
    } else {
      out += '$';
      pos = open + 1;
    }
  }
  return out + text.substr(pos);
}

// ---- The work ----

// The new variable list, or false when the parameter is not usable.
bool Run(const char* variablesText, const char* parameters, ProgressCallback progress,
         std::string& result) {
  Variables variables = ToVariables(ReadList(variablesText));
  const std::string parameter = parameters;
  const std::size_t bar = parameter.find('|');
  if (bar == std::string::npos || bar == 0) return false;
  const std::string name = parameter.substr(0, bar);
  std::string folder = Expand(parameter.substr(bar + 1), variables);
  // The folder need not exist yet: its drive's root is asked.
  if (folder.size() >= 2 && folder[1] == ':') folder = folder.substr(0, 2) + "\\";

  const std::string note = "Measuring the free space on " + folder;
  if (progress != nullptr && progress(-1, note.c_str()) == 0) return false;  // the user stopped
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return false;
  SetVariable(variables, name, std::to_string(available.QuadPart / (1024 * 1024)));

  std::vector<std::string> items;
  for (const auto& variable : variables) {
    items.push_back(variable.first);
    items.push_back(variable.second);
  }
  result = WriteList(items);
  return true;
}

// What the first call made, for the second.
std::string pending;

}  // namespace

// Called twice with the same first five arguments: first without a buffer
// (answer the result's length, or -1 for a failure), then with a buffer of
// that length + 1 bytes to fill with the result text and its terminator.
extern "C" std::int32_t __stdcall RunTimeExecute(HWND owner, const char* variables,
                                                 const char* parameters, ProgressCallback progress,
                                                 std::int32_t* reserved, char* buffer) {
  (void)owner;
  (void)reserved;
  try {
    if (buffer == nullptr) {
      pending.clear();
      if (!Run(variables, parameters, progress, pending)) return -1;
      return static_cast<std::int32_t>(pending.size());
    }
    std::memcpy(buffer, pending.c_str(), pending.size() + 1);
    return static_cast<std::int32_t>(pending.size());
  } catch (...) {
    return -1;  // no C++ exception may leave the library
  }
}
