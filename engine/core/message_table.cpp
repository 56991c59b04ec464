#include "engine/core/message_table.h"

#include <stdexcept>

#include "common/text_lines.h"

namespace tavrel {

namespace {

// ANSI (Windows-1252) text: "\x99" is the trademark sign.
constexpr std::array<std::string_view, MessageTable::kCount> kDefaults = {
    "Please install the common controls update from Microsoft before attempting to install this "
    "product.",
    "Setup resource not found",
    "Setup resource decompression failure",
    "Setup database not found",
    "Runtime error in install: ",
    "bytes",
    "KB",
    "MB",
    "Attempting to get value of undefined variable ",
    "Attempting to set value of undefined variable ",
    "Copying: ",
    "Unable to copy installation data to local folders",
    "Downloading Web Media: ",
    "Unable to download installation data from the web",
    "Extracting Web Media: ",
    "Unable to extract installation data downloaded from the web",
    "Please locate your original setup sources to continue operation",
    "Original setup sources required to complete operation, sources not found",
    "General setup failure",
    "Runtime error in setup script:",
    "% complete",
    "bytes received",
    "Tavrel Wizard",
    "Tavrel\x99 is preparing the Tavrel\x99 Installation Wizard which will install this "
    "application. Please wait.",
    "Retry Download?",
    "Downloading of installation data from the web has failed. Would you like to try again?",
    " Proxy Information (optional) ",
    "Proxy &Server:",
    "Proxy &Port:",
    "If you choose No, setup will exit. However, you will be able to resume your download from "
    "where it left off when you re-run setup.",
    "&Yes",
    "&No",
    "Retry Extraction?",
    "Extraction of installation data downloaded from the web has failed. What would you like to "
    "do?",
    "&Download a fresh copy of the installation data.",
    "Try to &extract the existing download data again.",
    "If you choose Cancel, setup will exit. Your existing download data will be preserved.",
    "&OK",
    "&Cancel",
    "Are you sure you want to cancel?",
    "Proxy &User:",
    "Proxy Pass&word:",
    "Fatal Error",
    "Error",
    "Warning",
    "Message",
    "Files in Use",
    "Out of Disk Space",
    "Downloading of installation data from the web has failed. Please make sure you are "
    "connected to the Internet.",
    "Would you like to:",
    "Try to &resume the broken download?",
    "Download a &new copy of the data instead?",
    "If you choose Cancel, setup will exit. However, you will be able to resume your download from "
    "where it left off when you re-run setup.",
    "A previously executed setup still has pending operations on the system. Please restart your "
    "computer before attempting to install this product.",
};

}  // namespace

MessageTable::MessageTable() {
  for (int i = 0; i < kCount; ++i) entries_[i] = kDefaults[i];
}

std::string_view MessageTable::DefaultText(int line) {
  if (line < 1 || line > kCount) throw std::out_of_range("no message " + std::to_string(line));
  return kDefaults[line - 1];
}

const std::string& MessageTable::Get(int line) const {
  if (line < 1 || line > kCount) throw std::out_of_range("no message " + std::to_string(line));
  return entries_[line - 1];
}

void MessageTable::ReadLanguageFile(std::string_view text) {
  common::LineReader lines(text);
  for (auto& entry : entries_) {
    std::string_view line;
    entry = lines.Next(line) ? std::string(line) : std::string();
  }
}

}  // namespace tavrel
