#include "engine/core/command_table.h"

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
  const auto add = [&](std::string name, R role, CheckRule check, CommandHandler run) {
    table.Add({std::move(name), role, check, std::move(run)});
  };

  // Flow of control and dialogs.
  add("If", R::kIf, {K::kCondition}, nullptr);
  add("Else If", R::kElseIf, {K::kCondition}, nullptr);
  add("Else", R::kElse, {}, nullptr);
  add("End", R::kEnd, {}, nullptr);
  add("Wizard Loop", R::kWizardLoop, {}, nullptr);
  add("Display Dialog", R::kDialog, {K::kDialog, {2, 0}}, commands::DisplayDialog);
  add("Hide Dialog", R::kAction, {}, commands::HideDialog);
  add("MessageBox", R::kAction, Declares(5), commands::ShowMessage);
  add("Label", R::kLabel, {}, nullptr);
  add("GoTo Label", R::kGoTo, {K::kLabelDefined}, nullptr);
  add("Terminate Install", R::kTerminate, {}, nullptr);
  add("Comment", R::kComment, {}, nullptr);
  add("Ignore", R::kIgnore, {}, nullptr);

  // Variables.
  add("Set Variable", R::kAction, Declares(1), commands::SetVariable);

  // System queries, programs and restarts.
  add("Get System Settings", R::kAction, Declares(1), commands::GetSystemSettings);
  add("Get Folder Location", R::kAction, Declares(1), commands::GetFolderLocation);
  add("Get Environment", R::kAction, Declares(2), commands::GetEnvironment);
  add("Get File Version", R::kAction, Declares(2), commands::GetFileVersion);
  add("Check File Version", R::kAction, Declares(1), commands::CheckFileVersion);
  add("Read Registry", R::kAction, Declares(1), commands::ReadRegistry);
  add("Get INI File Settings", R::kAction, Declares(1), commands::GetIniFileSettings);
  add("Run Program", R::kAction, Declares(5), commands::RunProgram);
  add("Terminate Program", R::kAction, {}, commands::TerminateProgram);
  add("Reboot Computer", R::kAction, {}, commands::RebootComputer);
  add("Reboot and Resume", R::kAction, {}, commands::RebootAndResume);

  // Text, files, paths and arithmetic.
  add("Get Temporary File", R::kAction, Declares(1), commands::GetTemporaryFile);
  add("Does File/Folder Exist", R::kAction, Declares(1), commands::DoesFileOrFolderExist);
  add("Read from Text File", R::kAction, Declares(2, 3), commands::ReadFromTextFile);
  add("Write to Text File", R::kAction, {}, commands::WriteToTextFile);
  add("Parse String", R::kAction, Declares(3, 4), commands::ParseString);
  add("Mathematics", R::kAction, Declares(4), commands::Mathematics);
  add("Extract Path", R::kAction, {K::kExistingVariable}, commands::ExtractPath);
  add("Convert Path", R::kAction, {K::kExistingVariable}, commands::ConvertPath);

  // Web media.
  add("Web Media Block", R::kAction, {K::kWebMediaBlock}, commands::WebMediaBlock);

  // Installed products and the changes the installer makes.
  add("Is MSI Setup Installed", R::kAction, {K::kVariableRequired, {2, 0}},
      commands::IsMsiSetupInstalled);
  add("Delete Registry", R::kAction, {}, commands::DeleteRegistry);
  add("Write Registry", R::kAction, kChange, commands::RecordChange);
  add("Create File Type", R::kAction, kChange, commands::RecordChange);
  add("Create Folder", R::kAction, kChange, commands::RecordChange);
  add("Create Shortcut", R::kAction, kChange, commands::RecordChange);
  add("Copy/Move Local Files", R::kAction, kChange, commands::RecordChange);
  add("Delete Files", R::kAction, {K::kDeleteMode, {}, true}, commands::RecordChange);
  add("Edit INI File", R::kAction, kChange, commands::RecordChange);
  add("Set Environment", R::kAction, kChange, commands::RecordChange);
  add("Install Files", R::kAction, kChange, commands::RecordChange);
  add("Install Assembly", R::kAction, kChange, commands::RecordChange);
  add("Control Service", R::kAction, kChange, commands::RecordChange);
  add("Create ODBC DSN", R::kAction, kChange, commands::RecordChange);
  add("Install ODBC Driver", R::kAction, kChange, commands::RecordChange);
  add("Install Service", R::kAction, kChange, commands::RecordChange);
  add("Apply Changes", R::kAction, Declares(2), commands::ApplyChanges);
  add("Define Component", R::kAction, {}, commands::DefineComponent);
  add("Get Component State", R::kAction, Declares(2), commands::GetComponentState);
  add("Set Component State", R::kAction, {}, commands::SetComponentState);

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
