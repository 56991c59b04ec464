#include "engine/core/command_table.h"

#include <algorithm>
#include <utility>

#include "engine/core/apply_changes.h"
#include "engine/core/change_recording.h"
#include "engine/core/components.h"
#include "engine/core/dialog_commands.h"
#include "engine/core/installed_product.h"
#include "engine/core/plugin_actions.h"
#include "engine/core/program_actions.h"
#include "engine/core/system_actions.h"
#include "engine/core/text_actions.h"
#include "engine/core/variable_commands.h"
#include "engine/core/web_media.h"

namespace tavrel {

namespace {

CheckRule Declares(std::uint8_t first, std::uint8_t second = 0) {
  return {CheckKind::kNone, {first, second}, false};
}

constexpr CheckRule kChange{CheckKind::kNone, {}, true};

CommandTable MakeStandardTable() {
  using R = CommandRole;
  using K = CheckKind;
  CommandTable table;
  // read: the highest parameter position the command reads; written: the
  // lines its record may hold, when more than it reads.
  const auto add = [&](std::string name, R role, CheckRule check, CommandHandler run,
                       std::uint8_t read, std::uint8_t written = 0) {
    table.Add({std::move(name), role, check, std::move(run), {read, std::max(read, written)}});
  };

  // Flow of control and dialogs.
  add("If", R::kIf, {K::kCondition}, nullptr, 4);
  add("Else If", R::kElseIf, {K::kCondition}, nullptr, 4);
  add("Else", R::kElse, {}, nullptr, 0);
  add("End", R::kEnd, {}, nullptr, 0);
  add("Wizard Loop", R::kWizardLoop, {}, nullptr, 0);
  add("Display Dialog", R::kDialog, {K::kDialog, {2, 0}}, commands::DisplayDialog, 6);
  add("Hide Dialog", R::kAction, {}, commands::HideDialog, 0);
  add("MessageBox", R::kAction, Declares(5), commands::ShowMessage, 5);
  add("Label", R::kLabel, {}, nullptr, 1);
  add("GoTo Label", R::kGoTo, {K::kLabelDefined}, nullptr, 1);
  add("Terminate Install", R::kTerminate, {}, nullptr, 0);
  add("Comment", R::kComment, {}, nullptr, 0, 1);
  add("Ignore", R::kIgnore, {}, nullptr, 0);

  // Variables.
  add("Set Variable", R::kAction, Declares(1), commands::SetVariable, 2);

  // System queries, programs and restarts.
  add("Get System Settings", R::kAction, Declares(1), commands::GetSystemSettings, 2);
  add("Get Folder Location", R::kAction, Declares(1), commands::GetFolderLocation, 3);
  add("Get Environment", R::kAction, Declares(2), commands::GetEnvironment, 2);
  add("Get File Version", R::kAction, Declares(2), commands::GetFileVersion, 2);
  add("Check File Version", R::kAction, Declares(1), commands::CheckFileVersion, 5);
  add("Read Registry", R::kAction, Declares(1), commands::ReadRegistry, 4);
  add("Get INI File Settings", R::kAction, Declares(1), commands::GetIniFileSettings, 4);
  add("Run Program", R::kAction, Declares(5), commands::RunProgram, 5);
  add("Terminate Program", R::kAction, {}, commands::TerminateProgram, 2);
  add("Reboot Computer", R::kAction, {}, commands::RebootComputer, 0);
  add("Reboot and Resume", R::kAction, {}, commands::RebootAndResume, 0);

  // Text, files, paths and arithmetic.
  add("Get Temporary File", R::kAction, Declares(1), commands::GetTemporaryFile, 1);
  add("Does File/Folder Exist", R::kAction, Declares(1), commands::DoesFileOrFolderExist, 3);
  add("Read from Text File", R::kAction, Declares(2, 3), commands::ReadFromTextFile, 3);
  add("Write to Text File", R::kAction, {}, commands::WriteToTextFile, 3);
  add("Parse String", R::kAction, Declares(3, 4), commands::ParseString, 7);
  add("Mathematics", R::kAction, Declares(4), commands::Mathematics, 4);
  add("Extract Path", R::kAction, {K::kExistingVariable}, commands::ExtractPath, 2);
  add("Convert Path", R::kAction, {K::kExistingVariable}, commands::ConvertPath, 2);

  // Web media.
  add("Web Media Block", R::kAction, {K::kWebMediaBlock}, commands::WebMediaBlock, 2, 3);

  // Installed products and the changes the installer makes.
  add("Is MSI Setup Installed", R::kAction, {K::kVariableRequired, {2, 0}},
      commands::IsMsiSetupInstalled, 2);
  add("Delete Registry", R::kAction, {}, commands::DeleteRegistry, 4);
  add("Write Registry", R::kAction, kChange, commands::RecordChange, 5);
  add("Create File Type", R::kAction, kChange, commands::RecordChange, 5);
  add("Create Folder", R::kAction, kChange, commands::RecordChange, 1);
  add("Create Shortcut", R::kAction, kChange, commands::RecordChange, 6, 9);
  add("Copy/Move Local Files", R::kAction, kChange, commands::RecordChange, 3);
  add("Delete Files", R::kAction, {K::kDeleteMode, {}, true}, commands::RecordChange, 4);
  add("Edit INI File", R::kAction, kChange, commands::RecordChange, 6);
  add("Set Environment", R::kAction, kChange, commands::RecordChange, 2);
  add("Install Files", R::kAction, kChange, commands::RecordChange, 3, 12);
  add("Install Assembly", R::kAction, kChange, commands::RecordChange, 3);
  add("Control Service", R::kAction, kChange, commands::RecordChange, 2);
  add("Create ODBC DSN", R::kAction, kChange, commands::RecordChange, 0);
  add("Install ODBC Driver", R::kAction, kChange, commands::RecordChange, 4);
  add("Install Service", R::kAction, kChange, commands::RecordChange, 15);
  add("Apply Changes", R::kAction, Declares(2), commands::ApplyChanges, 3, 4);
  add("Define Component", R::kAction, {}, commands::DefineComponent, 3);
  add("Get Component State", R::kAction, Declares(2), commands::GetComponentState, 2);
  add("Set Component State", R::kAction, {}, commands::SetComponentState, 2);

  // Plug-in commands.
  table.SetPluginHandler(commands::RunPlugin);
  return table;
}

}  // namespace

const CommandTable& CommandTable::Standard() {
  static const CommandTable table = MakeStandardTable();
  return table;
}

void CommandTable::Add(CommandEntry entry) {
  if (const auto found = byName_.find(entry.name); found != byName_.end()) {
    entries_[found->second] = std::move(entry);
    return;
  }
  byName_.emplace(entry.name, entries_.size());
  entries_.push_back(std::move(entry));
}

const CommandEntry* CommandTable::Find(std::string_view name) const {
  const auto found = byName_.find(name);
  return found == byName_.end() ? nullptr : &entries_[found->second];
}

}  // namespace tavrel
