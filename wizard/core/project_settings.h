// A package project: the file list and every package setting the wizard keeps
// for it, with the values a reset gives them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ombrwiz {

// Where the stub extracts to: ask the user, or one of the package's folder
// codes, or the literal folder in TargetDirText.
enum class TargetChoice { kAsk, kExe, kTemp, kInstall, kSystem, kWindows, kLiteral };

struct FileEntry {
  std::string path;         // a file, a folder + "\" + mask, or a typed pattern
  bool subfolders = false;  // ticked: taken with all its subfolders
};

// The default timestamping service offered for signing.
inline constexpr const char* kDefaultTimeStamp = "http://timestamp.digicert.com";

struct ProjectSettings {
  std::string project;  // the project file's own path
  std::vector<FileEntry> files;
  std::string packageName;
  std::string packagePassword;
  std::string startText;
  std::string endText;
  std::string licenseFile;
  std::string saveAs;
  bool advanced = false;  // false: NoAdvanced chosen
  TargetChoice target = TargetChoice::kAsk;
  std::string targetDirText;
  bool silent = false;
  std::string runApp;
  std::string runParms;
  std::string space = "0";  // texts as typed, at most 4 digits
  bool multiPart = false;
  std::string split = "1";
  bool codeSign = false;
  std::string spc;
  std::string pvk;
  std::string timeStamp = kDefaultTimeStamp;
  std::string infoUrl;
  std::string language;  // empty: none selected
};

// Every setting back to its reset value; the package name stays and the
// language becomes the first translation offered (empty when there is none).
void ResetSettings(ProjectSettings& settings, const std::string& firstLanguage);

}  // namespace ombrwiz
