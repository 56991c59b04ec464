// The interpreter loop: initialisation of a run, finding the next command
// (branch skip, end skip, wizard navigation, normal advance), the built-in
// commands and the report of a failing command.
#include "engine/core/interpreter.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "engine/core/compiled_script.h"
#include "engine/core/parameter_blocks.h"
#include "engine/core/predefined_variables.h"
#include "engine/core/program_actions.h"
#include "engine/core/script_checks.h"
#include "engine/core/script_text.h"
#include "engine/core/system_actions.h"
#include "engine/core/system_info.h"
#include "engine/core/text_actions.h"

namespace tavrel {

namespace {

constexpr std::size_t kNoCommand = static_cast<std::size_t>(-1);

enum class Direction { kNext, kBack, kCancel };

// How the command about to run was found: an "Else If" found by a branch
// skip is evaluated, one reached by running off the end of a branch closes
// the chain.
enum class Arrival { kAdvance, kBranchSkip };

// What a command group made of a command name.
enum class Handled { kNotMine, kDone, kEndRun };

std::optional<std::string> DialogWord(std::intptr_t result) {
  switch (result) {
    case 0:
      return "NOTMODAL";
    case kDialogCancel:
      return "CANCEL";
    case kDialogNext:
      return "NEXT";
    case kDialogBack:
      return "BACK";
    default:
      return std::nullopt;
  }
}

// An icon code the table does not know shows no icon rather than failing
// the command: the text still reaches the user.
unsigned IconStyle(std::string_view code) {
  if (code == "0") return 64;  // information
  if (code == "1") return 32;  // question
  if (code == "2") return 48;  // warning
  if (code == "3") return 16;  // error
  return 0;
}

// Unknown buttons fall back to a lone OK: any other set would offer the user
// a choice the script never asked for.
unsigned ButtonStyle(std::string_view code) {
  if (code == "0") return 2;  // Abort, Retry, Ignore
  if (code == "2") return 1;  // OK, Cancel
  if (code == "3") return 5;  // Retry, Cancel
  if (code == "4") return 4;  // Yes, No
  if (code == "5") return 3;  // Yes, No, Cancel
  return 0;                   // "1" and the rest: OK
}

// A box that could not be shown answers 0; the variable is emptied so that a
// word left by an earlier box is not taken for this one's answer.
std::string ButtonWord(int pressed) {
  switch (pressed) {
    case 1:
      return "OK";
    case 2:
      return "CANCEL";
    case 3:
      return "ABORT";
    case 4:
      return "RETRY";
    case 5:
      return "IGNORE";
    case 6:
      return "YES";
    case 7:
      return "NO";
    default:
      return "";
  }
}

// Folder (with a trailing backslash) and file name of the package path.
std::pair<std::string, std::string> SplitPackagePath(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/:");
  if (cut == std::string::npos) return {"", path};
  std::string folder = path.substr(0, cut + 1);
  if (folder.back() == '/') folder.back() = '\\';
  return {folder, path.substr(cut + 1)};
}

// Keeps the window on screen from repainting while the next dialog is
// filled from the variables.
class UpdateLock {
 public:
  UpdateLock(InterpreterHost& host, std::intptr_t window) : host_(host), locked_(window != 0) {
    if (locked_) host_.LockWindowUpdates(window);
  }
  ~UpdateLock() {
    if (locked_) host_.UnlockWindowUpdates();
  }
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

 private:
  InterpreterHost& host_;
  bool locked_;
};

}  // namespace

// Everything one run keeps; discarded when the run returns.
class Interpreter::Session {
 public:
  Session(Interpreter& owner, EngineState& state, const std::string& databasePath)
      : owner_(owner),
        host_(owner.host_),
        store_(owner.store_),
        state_(state),
        script_(state.script),
        databasePath_(databasePath) {}

  void Run() {
    if (!Initialise()) return;
    Loop();
    CloseReadFile();
    host_.FreeDialogs();
  }

 private:
  // ---- Initialisation ----

  bool Initialise() {
    state_.IndexRecords();
    ScriptCheck check = CheckScript(script_, state_.records, store_);
    if (check.result != -1) return false;
    owner_.actionStates_ = std::move(check.actionStates);
    BuildLabels();
    if (databasePath_.empty() || !host_.FileExists(databasePath_)) return false;
    store_.Clear();
    ResetComponentList();
    const StartValues start = host_.StartValuesFor(state_);
    exeFile_ = start.exeFile;
    for (const std::string_view name : kPredefinedVariables) {
      store_.Define(name, StartValue(name, start));
    }
    if (start.maintenance) LoadPreviousInstallation();
    for (const Assignment& assignment : state_.commandLine.assignments) {
      const std::string name = ToUpperAscii(assignment.name);
      if (store_.Exists(name)) {
        store_.Set(name, assignment.value);
      } else {
        store_.Define(name, assignment.value);
      }
    }
    RemoveResumeEntries();
    return true;
  }

  // Commented labels count too: a jump to one lands after it all the same.
  void BuildLabels() {
    for (std::size_t i = 0; i < script_.CommandCount(); ++i) {
      if (script_.commandNames[i] == "Label") labels_.try_emplace(ToUpperAscii(Param(i, 1)), i);
    }
  }

  std::string StartValue(std::string_view name, const StartValues& start) const {
    const std::string& title = script_.title;
    if (name == "UNINSTALLLINK") return start.uninstallLink;
    if (name == "WINDOWHANDLE") return "0";
    if (name == "EXEFILE") return start.exeFile;
    if (name == "EXEDIR" || name == "ROOTDIR") return state_.engineFolder;
    if (name == "ABORT") return "FALSE";
    if (name == "PROGRESS") return "0";
    if (name == "USERNAME") return start.userName;
    if (name == "USERCOMPANY") return start.userCompany;
    if (name == "RUNAPP" || name == "COMPLETE" || name == "MODIFY") return "TRUE";
    if (name == "WIZARD") return "NEXT";
    if (name == "ALLUSERS") return BooleanText(start.allUsers);
    if (name == "SILENT") return BooleanText(state_.commandLine.silent);
    if (name == "LOGGED") return state_.commandLine.logPath;
    if (name == "CMDLINE") return state_.restOfCommandLine;
    if (name == "SFXPATH") return SplitPackagePath(state_.commandLine.packagePath).first;
    if (name == "SFXFILE") return SplitPackagePath(state_.commandLine.packagePath).second;
    if (name == "DATADIR") return start.dataDir;
    if (name == "PRODUCTCODE") return script_.productCode;
    if (name == "REVISIONCODE") return script_.revisionCode;
    if (name == "TITLE" || name == "STARTMENU") return title;
    if (name == "COMPANY") return script_.publisherLines[0];
    if (name == "TARGETDIR") return start.targetDir;
    if (name == "NEEDSUPGRADE") return BooleanText(start.needsUpgrade);
    if (name == "MAINTENANCE") return BooleanText(start.maintenance);
    if (name == "TEMPDIR") return state_.tempFolder;
    if (name == "SUPPORTDIR") return state_.supportFolder;
    if (name == "MSIFILE") return databasePath_;
    if (name == "LICENSE" || name == "REBOOTCOMPUTER" || name == "MINIMUM" ||
        name == "PERSONALIZED" || name == "REPAIR" || name == "REMOVE") {
      return "FALSE";
    }
    return "";  // PROGRESSTEXT, LASTERROR
  }

  // Later work: the component list restarts with the predefined component
  // "ZUNA-PREDEF-COMPONENT" (empty description, selected).
  void ResetComponentList() {}
  // Later work: component states, installed size and parameters of the
  // installation being maintained.
  void LoadPreviousInstallation() {}
  // The run-at-start-up entries "Reboot and Resume" left for this product,
  // for the user and the machine; failures are ignored.
  void RemoveResumeEntries() {
    const std::string name = ResumeEntryName(script_.productCode);
    if (name.empty()) return;
    host_.RemoveStartupEntry(false, name);
    host_.RemoveStartupEntry(true, name);
  }
  void CloseReadFile() noexcept { readFile_.reset(); }

  // ---- The loop ----

  void Loop() {
    for (;;) {
      std::size_t next = kNoCommand;
      try {
        next = FindNext();
        if (next >= Count()) return;
        current_ = next;
        SetAbort();
        UpdateProgress();
        if (!Execute(current_)) return;
      } catch (const std::exception& error) {
        Report(error.what());
        return;
      }
    }
  }

  void Report(const std::string& what) {
    const std::size_t position = current_ == kNoCommand ? 0 : current_ + 1;
    host_.Trace("runtime error on line " + std::to_string(position) + ": " + what);
    if (Silent()) return;
    host_.ShowRuntimeError(owner_.messages_.Get(msg::kRuntimeErrorInScript) + "\r\r" + "Line " +
                           std::to_string(position) + ": " + what);
  }

  std::size_t FindNext() {
    arrival_ = Arrival::kAdvance;
    if (skipToBranch_) {
      skipToBranch_ = false;
      const std::size_t stop = BranchSkip();
      if (Name(stop) == "Else If") {
        arrival_ = Arrival::kBranchSkip;
        return stop;
      }
      return NextActiveAfter(stop);
    }
    if (skipToEnd_) {
      skipToEnd_ = false;
      return NextActiveAfter(EndSkip());
    }
    if (wizard_) return WizardStep();
    return NextActiveAfter(current_);
  }

  // The command a false condition continues at: the chain's next "Else If"
  // or "Else", or its "End".
  std::size_t BranchSkip() const { return ChainScan(true); }

  // The "End" of the chain whose branch has just run.
  std::size_t EndSkip() const { return ChainScan(false); }

  // Scans forward over nested blocks to the chain's closer or, when asked,
  // to its next branch.
  std::size_t ChainScan(bool stopAtBranch) const {
    int depth = 0;
    for (std::size_t i = current_ + 1;; ++i) {
      if (i >= Count()) throw ListIndexError(i);
      if (IsOpener(i)) {
        ++depth;
      } else if (IsCloser(i)) {
        if (depth == 0) return i;
        --depth;
      } else if (stopAtBranch && depth == 0 && Active(i) &&
                 (Name(i) == "Else" || Name(i) == "Else If")) {
        return i;
      }
    }
  }

  std::size_t FirstEndAfter(std::size_t from) const {
    for (std::size_t i = from + 1;; ++i) {
      if (i >= Count()) throw ListIndexError(i);
      if (IsCloser(i)) return i;
    }
  }

  std::size_t WizardStep() {
    if (direction_ == Direction::kCancel) return LeaveWizard(FirstEndAfter(current_));
    std::size_t i = current_;
    for (;;) {
      if (direction_ == Direction::kNext) {
        ++i;
      } else if (i-- == 0) {
        // Stepping back always meets the loop's own "Wizard Loop" first.
        throw ListIndexError(Count());
      }
      if (i >= Count()) throw ListIndexError(i);
      if (!Active(i)) continue;
      const std::string& name = Name(i);
      if (name == "Display Dialog") return i;
      if (name == "End") return LeaveWizard(i);
      if (name == "Wizard Loop") return LeaveWizard(FirstEndAfter(i));
    }
  }

  std::size_t LeaveWizard(std::size_t end) {
    wizard_ = false;
    return NextActiveAfter(end);
  }

  void SetAbort() { store_.SetResult("ABORT", BooleanText(host_.CancelState() == -1)); }

  void UpdateProgress() {
    if (window_ == 0) return;
    std::string text = store_.Get("PROGRESSTEXT");
    const std::string number = store_.Get("PROGRESS");
    std::int32_t position = 0;
    if (!ParseInt32(number, position)) {
      throw ConversionError("'" + number + "' is not a valid integer value");
    }
    if (text == lastProgressText_ && position == lastProgress_) return;
    lastProgressText_ = std::move(text);
    lastProgress_ = position;
    host_.SetProgress(lastProgressText_, position, 100, 0);
    if (!Silent()) host_.ProcessOneMessage();
  }

  // False when the run is to end.
  bool Execute(std::size_t i) {
    const std::string& name = Name(i);
    if (IsPluginName(name)) {
      if (owner_.plugin_) owner_.plugin_(i);
    } else if (name == "If") {
      if (!Condition(i)) skipToBranch_ = true;
    } else if (name == "Else If") {
      if (arrival_ == Arrival::kBranchSkip) {
        if (!Condition(i)) skipToBranch_ = true;
      } else {
        skipToEnd_ = true;
      }
    } else if (name == "Else") {
      skipToEnd_ = true;
    } else if (name == "Wizard Loop") {
      wizard_ = true;
      direction_ = Direction::kNext;
    } else if (name == "Display Dialog") {
      DisplayDialog(i);
    } else if (name == "Hide Dialog") {
      host_.HideCurrentDialog();
      window_ = 0;
      store_.SetResult("WINDOWHANDLE", "0");
    } else if (name == "MessageBox") {
      MessageBox(i);
    } else if (name == "GoTo Label") {
      GoTo(i);
    } else if (name == "Terminate Install") {
      return false;
    } else if (name == "Set Variable") {
      SetVariable(i);
    } else if (name == "End" || name == "Label" || name == "Comment" || name == "Ignore") {
      // Nothing to do: an "End" reached in order closes a chain that ran.
    } else if (TextAction(i, name)) {
      // Done.
    } else if (SystemAction(i, name)) {
      // Done.
    } else if (const Handled program = ProgramAction(i, name); program != Handled::kNotMine) {
      if (program == Handled::kEndRun) return false;
    } else if (const auto found = owner_.commands_.find(name); found != owner_.commands_.end()) {
      found->second(i);
    }
    return true;
  }

  bool IsPluginName(const std::string& name) const {
    const std::string upper = ToUpperAnsi(name);
    for (const std::string& plugin : script_.pluginCommands) {
      if (ToUpperAnsi(plugin) == upper) return true;
    }
    return false;
  }

  // Sides are compared as written in the variables, never expanded.
  bool Condition(std::size_t i) const {
    const std::string& leftText = Param(i, 1);
    const std::string leftName = ReferenceName(leftText);
    const std::string left = store_.Get(leftName.empty() ? leftText : leftName);
    const std::string& rightText = Param(i, 3);
    const std::string rightName = ReferenceName(rightText);
    const std::string right = rightName.empty() ? rightText : store_.Get(rightName);
    const std::string& op = Param(i, 2);
    const bool negate = BooleanValue(Param(i, 4));

    std::int32_t leftNumber = 0;
    std::int32_t rightNumber = 0;
    const bool numeric = ParseInt32(left, leftNumber) && ParseInt32(right, rightNumber);
    bool result = false;
    if (op == "0" || (op == "1" && numeric)) {
      result = numeric ? leftNumber == rightNumber : left == right;
    } else if (op == "1") {
      result = left.find(right) != std::string::npos;
    } else if (op == "2") {
      // std::string compares char as unsigned, i.e. by Windows-1252 code.
      result = numeric ? leftNumber > rightNumber : left > right;
    }
    return result != negate;
  }

  void DisplayDialog(std::size_t i) {
    const std::string& condition = Param(i, 4);
    if (!condition.empty()) {
      const std::string name = ReferenceName(condition);
      if (BooleanValue(store_.Get(name.empty() ? condition : name)) == BooleanValue(Param(i, 6))) {
        return;
      }
    }
    const std::string& resultVariable = Param(i, 2);
    const bool modal = wizard_ || BooleanValue(Param(i, 3));

    if (pendingModal_) {
      host_.ReleaseDialog(*pendingModal_);
      pendingModal_.reset();
    }
    const std::string key = std::to_string(i);
    {
      const UpdateLock lock(host_, window_);
      host_.PrepareDialog(key);
    }
    std::intptr_t result = host_.ShowDialog(key, modal);
    if (!wizard_) {
      if (modal) {
        window_ = 0;
        pendingModal_ = key;
      } else {
        // Silent runs show nothing, and what ShowDialog answers then is a
        // button code, not a window.
        window_ = Silent() ? 0 : result;
        result = 0;
      }
      store_.SetResult("WINDOWHANDLE", std::to_string(window_));
    }
    if (!resultVariable.empty()) {
      if (const auto word = DialogWord(result)) store_.SetResult(resultVariable, *word);
    }
    if (wizard_) {
      if (result == kDialogCancel) direction_ = Direction::kCancel;
      if (result == kDialogNext) direction_ = Direction::kNext;
      if (result == kDialogBack) direction_ = Direction::kBack;
    }
  }

  void MessageBox(std::size_t i) {
    if (Silent()) return;
    // Every parameter is read before the box appears, so a broken record
    // fails the command without asking the user anything first.
    const std::string caption = store_.Expand(Param(i, 1));
    const std::string text = store_.Expand(Param(i, 2));
    const unsigned style = IconStyle(Param(i, 3)) + ButtonStyle(Param(i, 4));
    const std::string& resultVariable = Param(i, 5);
    const int pressed = host_.ShowMessageBox(window_, text, caption, style);
    if (!resultVariable.empty()) store_.SetResult(resultVariable, ButtonWord(pressed));
  }

  void GoTo(std::size_t i) {
    const std::string& label = Param(i, 1);
    const auto found = labels_.find(ToUpperAscii(label));
    // The script checks refuse a jump to a missing label; this guards
    // against a store of labels and jumps that disagree all the same.
    if (found == labels_.end()) throw std::runtime_error("LABEL undefined: " + label);
    current_ = found->second;
    skipToBranch_ = false;
    skipToEnd_ = false;
    wizard_ = false;
  }

  void SetVariable(std::size_t i) {
    const std::string& nameText = Param(i, 1);
    const std::string reference = ReferenceName(nameText);
    const std::string& name = reference.empty() ? nameText : reference;
    if (!store_.Exists(name)) store_.Define(ToUpperAscii(name), "");
    const std::string value = store_.Expand(Param(i, 2));
    store_.Set(name, value);
    const std::string upper = ToUpperAscii(name);
    if (upper == "LOGGED") {
      state_.commandLine.logPath = value;
    } else if (upper == "SILENT") {
      state_.commandLine.silent = BooleanValue(value);
      host_.SetSilent(state_.commandLine.silent);
    }
  }

  // ---- System queries ----

  // False when the name is none of them.
  bool SystemAction(std::size_t i, const std::string& name) {
    if (name == "Get System Settings") {
      store_.SetResult(Param(i, 1), SystemSetting(RequireInt32(Param(i, 2)), host_));
    } else if (name == "Get Folder Location") {
      const std::int32_t code = RequireInt32(Param(i, 2));
      store_.SetResult(Param(i, 1), FolderLocation(code, BooleanValue(Param(i, 3)), host_));
    } else if (name == "Get Environment") {
      const std::string variable = store_.Expand(Param(i, 1));
      store_.SetResult(ReferenceForm(Param(i, 2)), host_.ExpandEnvironment("%" + variable + "%"));
    } else if (name == "Get File Version") {
      const Version version = FileVersion(store_.PathForm(Param(i, 1)));
      store_.SetResult(ReferenceForm(Param(i, 2)), VersionText(version));
    } else if (name == "Check File Version") {
      const Version version = FileVersion(store_.PathForm(Param(i, 2)));
      const Version wanted = BooleanValue(Param(i, 3))
                                 ? FileVersion(store_.PathForm(Param(i, 4)))
                                 : ParseVersionText(store_.Expand(Param(i, 5)));
      store_.SetResult(Param(i, 1), BooleanText(VersionAtLeast(version, wanted)));
    } else if (name == "Read Registry") {
      const RegistryRoot root = RegistryRootFor(RequireInt32(Param(i, 2)));
      const RegistryValue value =
          host_.ReadRegistryValue(root, store_.PathForm(Param(i, 3)), store_.PathForm(Param(i, 4)));
      store_.SetResult(Param(i, 1), RegistryText(value));
    } else if (name == "Get INI File Settings") {
      store_.SetResult(Param(i, 1), host_.ReadIniValue(store_.PathForm(Param(i, 2)),
                                                       store_.PathForm(Param(i, 3)),
                                                       store_.PathForm(Param(i, 4))));
    } else {
      return false;
    }
    return true;
  }

  std::string ReferenceForm(const std::string& text) const {
    std::string reference = ReferenceName(text);
    return reference.empty() ? text : reference;
  }

  Version FileVersion(const std::string& path) {
    return VersionOf(host_.System().GetFileVersionParts(path));
  }

  // ---- Text, file, path and arithmetic commands ----

  // False when the name is none of them.
  bool TextAction(std::size_t i, const std::string& name) {
    if (name == "Read from Text File") {
      ReadFromTextFile(i);
    } else if (name == "Write to Text File") {
      WriteToTextFile(i);
    } else if (name == "Parse String") {
      ParseStringCommand(i);
    } else if (name == "Mathematics") {
      store_.SetResult(Param(i, 4),
                       Mathematics(store_.Expand(Param(i, 1)), store_.Expand(Param(i, 2)),
                                   RequireInt32(Param(i, 3))));
    } else if (name == "Extract Path") {
      const std::string& variable = Param(i, 1);
      const std::string value = store_.PathForm(store_.Get(variable));
      store_.Set(variable, ExtractPath(value, RequireInt32(Param(i, 2))));
    } else if (name == "Convert Path") {
      ConvertPath(i);
    } else if (name == "Get Temporary File") {
      const std::string& nameText = Param(i, 1);
      const std::string reference = ReferenceName(nameText);
      std::string path = host_.CreateTempFile(state_.tempFolder);
      if (path.empty()) host_.Trace("no temporary file could be created in " + state_.tempFolder);
      store_.SetResult(reference.empty() ? nameText : reference, std::move(path));
    } else if (name == "Does File/Folder Exist") {
      const PathKind kind = host_.KindOf(store_.PathForm(Param(i, 2)));
      const bool file = BooleanValue(Param(i, 3));
      store_.SetResult(Param(i, 1),
                       BooleanText(kind == (file ? PathKind::kFile : PathKind::kFolder)));
    } else {
      return false;
    }
    return true;
  }

  void DeclareResult(const std::string& name) {
    if (!name.empty() && !store_.Exists(name)) store_.Define(ToUpperAscii(name), "");
  }

  void ReadFromTextFile(std::size_t i) {
    const std::string path = store_.PathForm(Param(i, 1));
    const std::string& lineVariable = Param(i, 2);
    const std::string& endVariable = Param(i, 3);
    DeclareResult(lineVariable);
    DeclareResult(endVariable);
    const std::string key = ToUpperAnsi(path);
    if (!readFile_ || readFile_->key != key) {
      readFile_.reset();
      FileText file = host_.ReadFileText(path);
      if (file.status != FileText::Status::kRead) {
        if (!endVariable.empty()) store_.SetResult(endVariable, "TRUE");
        return;
      }
      readFile_.emplace(key, TextFileReader(std::move(file.text)));
    }
    if (!readFile_->reader.AtEnd()) store_.SetResult(lineVariable, readFile_->reader.NextLine());
    const bool atEnd = readFile_->reader.AtEnd();
    // The next read of this file starts again from its first line.
    if (atEnd) readFile_.reset();
    if (!endVariable.empty()) store_.SetResult(endVariable, BooleanText(atEnd));
  }

  void WriteToTextFile(std::size_t i) {
    const std::string path = store_.PathForm(Param(i, 1));
    const std::string line = store_.Expand(Param(i, 2));
    const bool atTop = BooleanValue(store_.Expand(Param(i, 3)));
    if (readFile_ && readFile_->key == ToUpperAnsi(path)) readFile_.reset();
    const FileText file = host_.ReadFileText(path);
    // Rewriting a file whose text could not be read would lose that text.
    if (file.status == FileText::Status::kUnreadable) {
      host_.Trace("text file not written, its text cannot be read: " + path);
      return;
    }
    if (!host_.ReplaceFileText(path, TextWithLine(file.text, line, atTop))) {
      host_.Trace("text file could not be written: " + path);
    }
  }

  void ParseStringCommand(std::size_t i) {
    const std::string source = store_.PathForm(Param(i, 1));
    const std::string delimiter = store_.PathForm(Param(i, 2));
    const std::string& firstVariable = Param(i, 3);
    const std::string& secondVariable = Param(i, 4);
    DeclareResult(firstVariable);
    DeclareResult(secondVariable);
    ParseOptions options;
    options.method = RequireInt32(Param(i, 5));
    options.trim = BooleanValue(Param(i, 6));
    options.ignoreCase = BooleanValue(Param(i, 7));
    ParsedString parts = ParseString(source, delimiter, options);
    if (!firstVariable.empty()) store_.SetResult(firstVariable, std::move(parts.first));
    if (!secondVariable.empty()) store_.SetResult(secondVariable, std::move(parts.second));
  }

  void ConvertPath(std::size_t i) {
    const std::string& variable = Param(i, 1);
    const std::string value = store_.PathForm(store_.Get(variable));
    const bool shortForm = BooleanValue(Param(i, 2));
    std::string converted;
    if (host_.KindOf(value) != PathKind::kNone) {
      converted = shortForm ? host_.ShortPathOf(value) : host_.LongPathOf(value);
    }
    store_.Set(variable, std::move(converted));
  }

  // ---- Programs and restarts ----

  Handled ProgramAction(std::size_t i, const std::string& name) {
    if (name == "Run Program") {
      RunProgram(i);
    } else if (name == "Terminate Program") {
      TerminateProgram(host_, store_.PathForm(Param(i, 1)), store_.PathForm(Param(i, 2)));
    } else if (name == "Reboot Computer") {
      Reboot();
      return Handled::kEndRun;
    } else if (name == "Reboot and Resume") {
      WriteResumeEntry();
      Reboot();
      return Handled::kEndRun;
    } else {
      return Handled::kNotMine;
    }
    return Handled::kDone;
  }

  void RunProgram(std::size_t i) {
    ProgramRequest request;
    request.program = store_.PathForm(Param(i, 1));
    request.hidden = BooleanValue(Param(i, 2));
    request.parameters = store_.PathForm(Param(i, 3));
    request.wait = BooleanValue(Param(i, 4));
    const std::string& resultVariable = Param(i, 5);
    // The variables cannot change while the worker runs (only this thread
    // writes them), so the progress is read once, before the program starts.
    const std::string progressNumber = store_.Get("PROGRESS");
    std::int32_t position = 0;
    if (!ParseInt32(progressNumber, position)) {
      throw ConversionError("'" + progressNumber + "' is not a valid integer value");
    }
    const auto progress = [text = store_.Get("PROGRESSTEXT"), position] {
      return std::pair<std::string, int>(text, position);
    };
    const std::int32_t code = RunProgramOnWorker(host_, Silent(), request, progress);
    if (code == kProgramNotStarted) host_.Trace("program could not be started: " + request.program);
    if (!resultVariable.empty()) store_.SetResult(resultVariable, std::to_string(code));
  }

  void WriteResumeEntry() {
    const std::string name = ResumeEntryName(script_.productCode);
    if (name.empty()) {
      host_.Trace("no resume entry: the product code does not begin with {XXXXXXXX");
      return;
    }
    const std::string& package = state_.commandLine.packagePath;
    host_.WriteStartupEntry(BooleanValue(store_.Get("ALLUSERS")), name,
                            ResumeCommand(package.empty() ? exeFile_ : package));
  }

  void Reboot() {
    host_.Trace("reboot requested");
    host_.RequestReboot();
  }

  // ---- Script access ----

  std::size_t Count() const { return script_.CommandCount(); }
  bool Active(std::size_t i) const { return !script_.IsCommentedOut(i); }
  const std::string& Name(std::size_t i) const {
    if (i >= Count()) throw ListIndexError(i);
    return script_.commandNames[i];
  }
  bool IsOpener(std::size_t i) const {
    return Active(i) && (Name(i) == "If" || Name(i) == "Wizard Loop");
  }
  bool IsCloser(std::size_t i) const { return Active(i) && Name(i) == "End"; }
  const std::string& Param(std::size_t i, std::size_t n) const { return state_.Parameter(i, n); }
  bool Silent() const { return state_.commandLine.silent; }

  // From kNoCommand the first active command; Count() when none is left.
  std::size_t NextActiveAfter(std::size_t i) const {
    std::size_t next = i == kNoCommand ? 0 : i + 1;
    while (next < Count() && !Active(next)) ++next;
    return next;
  }

  Interpreter& owner_;
  InterpreterHost& host_;
  VariableStore& store_;
  EngineState& state_;
  const CompiledScript& script_;
  const std::string& databasePath_;

  std::unordered_map<std::string, std::size_t> labels_;
  std::size_t current_ = kNoCommand;
  Arrival arrival_ = Arrival::kAdvance;
  bool skipToBranch_ = false;
  bool skipToEnd_ = false;
  bool wizard_ = false;
  Direction direction_ = Direction::kNext;
  std::intptr_t window_ = 0;  // current non-modal window, 0 for none
  std::optional<std::string> pendingModal_;
  std::string lastProgressText_;
  std::int32_t lastProgress_ = 0;

  // The file "Read from Text File" is reading: its name upper-cased and
  // where the reading stands.
  struct ReadFile {
    ReadFile(std::string k, TextFileReader r) : key(std::move(k)), reader(std::move(r)) {}
    std::string key;
    TextFileReader reader;
  };
  std::optional<ReadFile> readFile_;
  std::string exeFile_;  // the engine executable, for the resume entry
};

Interpreter::Interpreter(InterpreterHost& host, VariableStore& store, const MessageTable& messages)
    : host_(host), store_(store), messages_(messages) {}

void Interpreter::Run(EngineState& state, const std::string& databasePath) {
  struct ClearState {
    EngineState*& state;
    ~ClearState() { state = nullptr; }
  } clear{state_};
  state_ = &state;
  Session(*this, state, databasePath).Run();
}

void Interpreter::SetCommand(std::string name, Command command) {
  commands_.insert_or_assign(std::move(name), std::move(command));
}

EngineState& Interpreter::State() {
  if (state_ == nullptr) throw std::logic_error("no script is running");
  return *state_;
}

}  // namespace tavrel
