// File names and default output paths built from a package name.
#pragma once

#include <string>
#include <string_view>

namespace ombrwiz {

// The name used when a package name leaves nothing usable as a file name.
inline constexpr std::string_view kFallbackName = "Package";

// The package name made usable as a file and folder name: without
// " * / : < > ? \ | and control characters, and without trailing spaces and
// dots (Windows drops them, so ".." would otherwise name the parent folder).
// A name left empty becomes "Package"; a reserved device name (CON, NUL,
// COM1 ...) gets a "_" after it ("COM1.txt" becomes "COM1_.txt").
std::string CleanName(std::string_view name);

// A file name is valid when it is not empty and holds none of
// \ / : * ? " < > | nor a control character.
bool FileNameIsValid(std::string_view fileName);

// myPackagesFolder\clean\clean.exe.
std::string DefaultPackagePath(std::string_view myPackagesFolder, std::string_view packageName);

// myPackagesFolder\clean.ombr.
std::string DefaultProjectPath(std::string_view myPackagesFolder, std::string_view packageName);

// The cabinets of a package's set lie beside the package file and take its
// name without extension: number 1 is "<name>.cab" (joined into the package
// by the build), continuation k (2, 3, ...) is "<name>k.cab".
std::string CabinetPath(std::string_view packagePath, unsigned number);

struct PathParts {
  std::string folder;  // without a trailing separator, except a root ("C:\", "\")
  std::string fileName;
};

// The path split at its last \, / or drive colon. A path without one is all
// file name; a path ending in a separator has an empty file name.
PathParts SplitPath(std::string_view path);

}  // namespace ombrwiz
