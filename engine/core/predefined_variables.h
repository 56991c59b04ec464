// The variables every script starts with, in the order they are defined.
#pragma once

#include <array>
#include <string_view>

namespace tavrel {

inline constexpr std::array<std::string_view, 39> kPredefinedVariables = {
    "UNINSTALLLINK", "WINDOWHANDLE", "EXEFILE",   "EXEDIR",      "PROGRESSTEXT", "ABORT",
    "PROGRESS",      "LASTERROR",    "LICENSE",   "USERNAME",    "USERCOMPANY",  "REBOOTCOMPUTER",
    "RUNAPP",        "WIZARD",       "ALLUSERS",  "SILENT",      "LOGGED",       "CMDLINE",
    "SFXPATH",       "SFXFILE",      "COMPLETE",  "MINIMUM",     "PERSONALIZED", "MODIFY",
    "REPAIR",        "REMOVE",       "DATADIR",   "PRODUCTCODE", "REVISIONCODE", "ROOTDIR",
    "TITLE",         "COMPANY",      "TARGETDIR", "STARTMENU",   "NEEDSUPGRADE", "MAINTENANCE",
    "TEMPDIR",       "SUPPORTDIR",   "MSIFILE"};

}  // namespace tavrel
