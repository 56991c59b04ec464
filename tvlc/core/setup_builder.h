// Writes a setup folder from a setup source, all or nothing: everything is
// made in a new folder beside the output and put in the output's place only
// when complete; a failure removes it and leaves an existing output as it was.
//
// The folder holds <name>.exe (the engine with the compiled script as its
// overlay), tvl.dll (with the language file appended when one is named),
// <name>.res (a 7-Zip archive of the resources and of the dialog files of
// every page the script displays), <name>.msi (the installer database,
// written by wixl and completed by msibuild), setup.bmp when named, and
// data\ with an empty file named as the product code: the mark by which a
// maintenance run knows the original sources.
#pragma once

#include <string>

#include "tvlc/core/build_port.h"

namespace tavrel::tvlc {

struct BuildRequest {
  std::string source;       // host path of the setup source
  std::string sourceShown;  // how messages name it
  std::string output;       // host path of the setup folder to write
  std::string bin;          // folder holding tvlstub.exe and tvl.dll
  std::string library;      // another tvl.dll, or empty
};

// Throws SourceError for bad input and for a tool that fails.
void BuildSetup(const BuildRequest& request, BuildPort& port);

}  // namespace tavrel::tvlc
