// The interpreter loop: initialisation of a run, finding the next command
// (branch skip, end skip, wizard navigation, normal advance), the flow of
// control and the report of a failing command.
#include "engine/core/interpreter.h"

#include <cstdint>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/core/compiled_script.h"
#include "engine/core/parameter_blocks.h"
#include "engine/core/product_registration.h"
#include "engine/core/program_actions.h"
#include "engine/core/run_state.h"
#include "engine/core/script_checks.h"
#include "engine/core/script_text.h"
#include "engine/core/system_info.h"
#include "engine/core/variable_commands.h"

namespace tavrel {

namespace {

constexpr std::size_t kNoCommand = static_cast<std::size_t>(-1);

// How the command about to run was found: an "Else If" found by a branch
// skip is evaluated, one reached by running off the end of a branch closes
// the chain.
enum class Arrival { kAdvance, kBranchSkip };

}  // namespace

// Everything one run keeps; discarded when the run returns.
class Interpreter::Session {
 public:
  Session(const Interpreter& owner, EngineState& state, const std::string& databasePath)
      : owner_(owner),
        ui_(owner.ui_),
        system_(owner.system_),
        store_(owner.store_),
        state_(state),
        script_(state.script),
        databasePath_(databasePath) {}

  void Run() {
    if (!Initialise()) return;
    Loop();
    run_.readFile.reset();
    ui_.FreeDialogs();
  }

 private:
  // ---- Initialisation ----

  bool Initialise() {
    state_.IndexRecords();
    ScriptCheck check = CheckScript(script_, state_.records, store_, owner_.commands_);
    if (check.result != -1) {
      system_.Trace("script rejected at line " + std::to_string(check.result + 1) + ": " +
                    check.message);
      return false;
    }
    run_.actionStates = std::move(check.actionStates);
    ResolveCommands();
    BuildLabels();
    if (databasePath_.empty() || !system_.FileExists(databasePath_)) return false;
    store_.Clear();
    // The component list and the previous installation's choices join the
    // start of a run with the installer work.
    const StartValues start = system_.StartValuesFor(state_);
    run_.exeFile = start.exeFile;
    run_.database = databasePath_;
    run_.dataFolder = start.dataDir;
    run_.mediaRoot = start.dataDir;
    run_.components.Reset();
    DefinePredefinedVariables(store_, state_, start, databasePath_);
    RestoreMaintenance(system_, state_, store_, run_);
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

  // Each command's entry, looked up once. The block structure goes by the
  // names as written, the checks' view; what runs a command goes by the
  // plug-in names first (compared without regard to case), which win over
  // every built-in name.
  void ResolveCommands() {
    const CommandTable& commands = owner_.commands_;
    std::unordered_set<std::string> plugin;
    for (const std::string& name : script_.pluginCommands) plugin.insert(ToUpperAnsi(name));
    roles_.reserve(Count());
    entries_.reserve(Count());
    for (const std::string& name : script_.commandNames) {
      const CommandEntry* entry = commands.Find(name);
      roles_.push_back(entry != nullptr ? entry->role : CommandRole::kAction);
      if (!plugin.empty() && plugin.count(ToUpperAnsi(name)) != 0) entry = &commands.Plugin();
      entries_.push_back(entry);
    }
  }

  // Commented labels count too: a jump to one lands after it all the same.
  void BuildLabels() {
    for (std::size_t i = 0; i < Count(); ++i) {
      if (roles_[i] == CommandRole::kLabel) labels_.try_emplace(ToUpperAscii(Param(i, 1)), i);
    }
  }

  // The run-at-start-up entries "Reboot and Resume" left for this product,
  // for the user and the machine; failures are ignored.
  void RemoveResumeEntries() {
    const std::string name = ResumeEntryName(script_.productCode);
    if (name.empty()) return;
    system_.RemoveStartupEntry(false, name);
    system_.RemoveStartupEntry(true, name);
  }

  // ---- The loop ----

  void Loop() {
    for (;;) {
      try {
        const std::size_t next = FindNext();
        if (next >= Count()) return;
        current_ = next;
        SetAbort();
        UpdateProgress();
        Execute(current_);
        if (run_.endRun) return;
      } catch (const std::exception& error) {
        Report(error.what());
        return;
      }
    }
  }

  void Report(const std::string& what) {
    const std::size_t position = current_ == kNoCommand ? 0 : current_ + 1;
    system_.Trace("runtime error on line " + std::to_string(position) + ": " + what);
    if (Silent()) return;
    ui_.ShowRuntimeError(owner_.messages_.Get(msg::kRuntimeErrorInScript) + "\r\r" + "Line " +
                         std::to_string(position) + ": " + what);
  }

  std::size_t FindNext() {
    arrival_ = Arrival::kAdvance;
    if (skipToBranch_) {
      skipToBranch_ = false;
      const std::size_t stop = BranchSkip();
      if (Role(stop) == CommandRole::kElseIf) {
        arrival_ = Arrival::kBranchSkip;
        return stop;
      }
      return NextActiveAfter(stop);
    }
    if (skipToEnd_) {
      skipToEnd_ = false;
      return NextActiveAfter(EndSkip());
    }
    if (Dialogs().wizard) return WizardStep();
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
                 (Role(i) == CommandRole::kElse || Role(i) == CommandRole::kElseIf)) {
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
    const WizardDirection direction = Dialogs().direction;
    if (direction == WizardDirection::kCancel) return LeaveWizard(FirstEndAfter(current_));
    std::size_t i = current_;
    for (;;) {
      if (direction == WizardDirection::kNext) {
        ++i;
      } else if (i-- == 0) {
        // Stepping back always meets the loop's own "Wizard Loop" first.
        throw ListIndexError(Count());
      }
      if (i >= Count()) throw ListIndexError(i);
      if (!Active(i)) continue;
      const CommandRole role = Role(i);
      if (role == CommandRole::kDialog) return i;
      if (role == CommandRole::kEnd) return LeaveWizard(i);
      if (role == CommandRole::kWizardLoop) return LeaveWizard(FirstEndAfter(i));
    }
  }

  std::size_t LeaveWizard(std::size_t end) {
    Dialogs().wizard = false;
    return NextActiveAfter(end);
  }

  void SetAbort() { store_.SetResult("ABORT", BooleanText(ui_.CancelState() == -1)); }

  void UpdateProgress() {
    if (Dialogs().window == 0) return;
    std::string text = store_.Get("PROGRESSTEXT");
    const std::string number = store_.Get("PROGRESS");
    std::int32_t position = 0;
    if (!ParseInt32(number, position)) {
      throw ConversionError("'" + number + "' is not a valid integer value");
    }
    if (text == lastProgressText_ && position == lastProgress_) return;
    lastProgressText_ = std::move(text);
    lastProgress_ = position;
    ui_.SetProgress(lastProgressText_, position, 100, 0);
    if (!Silent()) ui_.ProcessOneMessage();
  }

  void Execute(std::size_t i) {
    const CommandEntry* entry = entries_[i];
    if (entry == nullptr) {
      // A name the engine has no entry for does nothing, but never unseen.
      system_.Trace("line " + std::to_string(i + 1) + ": no command is named \"" +
                    script_.commandNames[i] + "\"; nothing done");
      return;
    }
    switch (entry->role) {
      case CommandRole::kIf:
        if (!Condition(i)) skipToBranch_ = true;
        return;
      case CommandRole::kElseIf:
        if (arrival_ == Arrival::kBranchSkip) {
          if (!Condition(i)) skipToBranch_ = true;
        } else {
          skipToEnd_ = true;
        }
        return;
      case CommandRole::kElse:
        skipToEnd_ = true;
        return;
      case CommandRole::kWizardLoop:
        Dialogs().wizard = true;
        Dialogs().direction = WizardDirection::kNext;
        return;
      case CommandRole::kGoTo:
        GoTo(i);
        return;
      case CommandRole::kTerminate:
        run_.endRun = true;
        return;
      case CommandRole::kEnd:  // reached in order: closes a chain that ran
      case CommandRole::kLabel:
      case CommandRole::kComment:
      case CommandRole::kIgnore:
        return;
      case CommandRole::kAction:
      case CommandRole::kDialog: {
        CommandContext context{i, state_, store_, ui_, system_, run_, owner_.messages_};
        entry->run(context);
        return;
      }
    }
  }

  // Sides are compared as written in the variables, never expanded.
  bool Condition(std::size_t i) const {
    const std::string left = store_.Get(NamedVariable(Param(i, 1)));
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

  void GoTo(std::size_t i) {
    const std::string& label = Param(i, 1);
    const auto found = labels_.find(ToUpperAscii(label));
    // The script checks refuse a jump to a missing label; this guards
    // against a store of labels and jumps that disagree all the same.
    if (found == labels_.end()) throw std::runtime_error("LABEL undefined: " + label);
    current_ = found->second;
    skipToBranch_ = false;
    skipToEnd_ = false;
    Dialogs().wizard = false;
  }

  // ---- Script access ----

  std::size_t Count() const { return script_.CommandCount(); }
  bool Active(std::size_t i) const { return !script_.IsCommentedOut(i); }
  CommandRole Role(std::size_t i) const {
    if (i >= Count()) throw ListIndexError(i);
    return roles_[i];
  }
  bool IsOpener(std::size_t i) const {
    return Active(i) && (Role(i) == CommandRole::kIf || Role(i) == CommandRole::kWizardLoop);
  }
  bool IsCloser(std::size_t i) const { return Active(i) && Role(i) == CommandRole::kEnd; }
  const std::string& Param(std::size_t i, std::size_t n) const { return state_.Parameter(i, n); }
  bool Silent() const { return state_.commandLine.silent; }
  DialogState& Dialogs() { return run_.dialogs; }

  // From kNoCommand the first active command; Count() when none is left.
  std::size_t NextActiveAfter(std::size_t i) const {
    std::size_t next = i == kNoCommand ? 0 : i + 1;
    while (next < Count() && !Active(next)) ++next;
    return next;
  }

  const Interpreter& owner_;
  UiPort& ui_;
  SystemPort& system_;
  VariableStore& store_;
  EngineState& state_;
  const CompiledScript& script_;
  const std::string& databasePath_;

  RunState run_;
  std::vector<CommandRole> roles_;            // by name as written
  std::vector<const CommandEntry*> entries_;  // what runs it; null for an unknown name
  std::unordered_map<std::string, std::size_t> labels_;
  std::size_t current_ = kNoCommand;
  Arrival arrival_ = Arrival::kAdvance;
  bool skipToBranch_ = false;
  bool skipToEnd_ = false;
  std::string lastProgressText_;
  std::int32_t lastProgress_ = 0;
};

Interpreter::Interpreter(UiPort& ui, SystemPort& system, VariableStore& store,
                         const MessageTable& messages, const CommandTable& commands)
    : ui_(ui), system_(system), store_(store), messages_(messages), commands_(commands) {}

void Interpreter::Run(EngineState& state, const std::string& databasePath) {
  Session(*this, state, databasePath).Run();
}

}  // namespace tavrel
