#include "engine/core/script_checks.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "engine/core/predefined_variables.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

constexpr std::array<std::string_view, 8> kDeclareFirst = {
    "Get Folder Location", "Get INI File Settings",  "Check File Version", "Get System Settings",
    "Read Registry",       "Does File/Folder Exist", "Set Variable",       "Get Temporary File"};
constexpr std::array<std::string_view, 4> kDeclareSecond = {"Get File Version", "Get Environment",
                                                            "Apply Changes", "Get Component State"};
constexpr std::array<std::string_view, 13> kChangeCommands = {
    "Copy/Move Local Files", "Create Folder",    "Create Shortcut", "Edit INI File",
    "Install Files",         "Install Assembly", "Set Environment", "Install Service",
    "Install ODBC Driver",   "Create ODBC DSN",  "Control Service", "Write Registry",
    "Create File Type"};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

struct Failure {
  std::size_t index;
  std::string message;
};

class Checker {
 public:
  Checker(const CompiledScript& script, const CommandRecords& records, VariableStore& store)
      : script_(script), records_(records), store_(store) {}

  ScriptCheck Run() {
    ScriptCheck check;
    store_.Clear();
    for (const auto name : kPredefinedVariables) store_.Define(name, "");
    try {
      Nesting();
      Labels();
      CommandRules(check.actionStates);
      WizardLoops();
    } catch (const Failure& failure) {
      check.result = static_cast<int>(failure.index);
      check.message = failure.message;
    }
    return check;
  }

 private:
  std::size_t Count() const { return script_.CommandCount(); }
  const std::string& Name(std::size_t i) const { return script_.commandNames[i]; }
  bool Active(std::size_t i) const { return !script_.IsCommentedOut(i); }
  const std::string& Param(std::size_t i, std::size_t n) const {
    if (i >= script_.commandIds.size()) throw ListIndexError(i);
    return records_.Get(i, n);
  }

  void Declare(const std::string& name) {
    if (!name.empty() && !store_.Exists(name)) store_.Define(ToUpperAscii(name), "");
  }

  // A reference must name a variable; a bare text must too, unless bare
  // texts are literals (the right-hand side of a condition).
  bool Defined(const std::string& text, bool bareIsLiteral) const {
    const std::string reference = ReferenceName(text);
    if (!reference.empty()) return store_.Exists(reference);
    return bareIsLiteral || store_.Exists(text);
  }

  void Nesting() {
    int openers = 0, ends = 0, depth = 0;
    for (std::size_t i = 0; i < Count(); ++i) {
      if (!Active(i)) continue;
      const std::string& name = Name(i);
      if (name == "If" || name == "Wizard Loop") {
        ++openers;
        ++depth;
      } else if (name == "End") {
        ++ends;
        --depth;
      } else if (name == "Label" && depth != 0) {
        throw Failure{i, "LABEL statements cannot be nested inside loops/conditionals"};
      }
    }
    if (openers != ends) {
      throw Failure{Count() - 1,
                    ends < openers ? "Insufficient END statements" : "Too many END statements"};
    }
  }

  void Labels() {
    std::unordered_set<std::string> labels;
    for (std::size_t i = 0; i < Count(); ++i) {
      if (Name(i) != "Label") continue;
      if (!labels.insert(ToUpperAscii(Param(i, 1))).second) {
        throw Failure{i, "LABEL re-defined: " + Param(i, 1)};
      }
    }
    labels_ = std::move(labels);
  }

  void CommandRules(std::vector<std::string>& actionStates) {
    for (std::size_t i = 0; i < Count(); ++i) {
      actionStates.emplace_back("SKIP");
      if (Active(i)) Rule(i, actionStates.back());
    }
  }

  void Rule(std::size_t i, std::string& actionState) {
    const std::string& name = Name(i);
    if (name == "Web Media Block") {
      std::string error;
      if (Param(i, 1).size() > 8) error = "Web Media Block name must not exceed 8 characters";
      if (!Param(i, 1).empty() && Param(i, 2).empty()) {
        error = "Web Media Block must have a download URL";
      }
      if (!error.empty()) throw Failure{i, error};
    } else if (OneOf(kDeclareFirst, name)) {
      Declare(Param(i, 1));
    } else if (OneOf(kDeclareSecond, name)) {
      Declare(Param(i, 2));
    } else if (name == "Mathematics") {
      Declare(Param(i, 4));
    } else if (name == "Is MSI Setup Installed") {
      if (Param(i, 2).empty()) throw Failure{i, "Variable required"};
      Declare(Param(i, 2));
    } else if (name == "Read from Text File") {
      Declare(Param(i, 2));
      Declare(Param(i, 3));
    } else if (name == "Parse String") {
      Declare(Param(i, 3));
      Declare(Param(i, 4));
    } else if (name == "Run Program" || name == "MessageBox") {
      Declare(Param(i, 5));
    } else if (name == "Delete Files") {
      if (!BooleanValue(Param(i, 3)) && !BooleanValue(Param(i, 4))) {
        throw Failure{i, "At least one delete mode must be selected"};
      }
      actionState = "FALSE";
    } else if (OneOf(kChangeCommands, name)) {
      actionState = "FALSE";
    } else if (name == "Convert Path" || name == "Extract Path") {
      if (!store_.Exists(Param(i, 1))) throw Failure{i, "Variable not defined: " + Param(i, 1)};
    } else if (name == "GoTo Label") {
      if (!labels_.count(ToUpperAscii(Param(i, 1)))) {
        throw Failure{i, "LABEL undefined: " + Param(i, 1)};
      }
    } else if (name == "If" || name == "Else If") {
      if (Param(i, 1).empty()) throw Failure{i, "Variable required"};
      const std::string* bad = nullptr;
      if (!Defined(Param(i, 1), false)) bad = &Param(i, 1);
      if (!Defined(Param(i, 3), true)) bad = &Param(i, 3);
      if (bad != nullptr) throw Failure{i, "Variable not defined: " + *bad};
    } else if (name == "Display Dialog") {
      if (Param(i, 1).empty()) throw Failure{i, "Dialog name not specified"};
      Declare(Param(i, 2));
      if (!Param(i, 4).empty() && !Defined(Param(i, 4), false)) {
        throw Failure{i, "Variable not defined: " + Param(i, 4)};
      }
    }
  }

  void WizardLoops() {
    bool inside = false;
    for (std::size_t i = 0; i < Count(); ++i) {
      const std::string& name = Name(i);
      if (name == "Wizard Loop") {
        inside = true;
      } else if (name == "End" && inside) {
        inside = false;
      } else if (inside && Active(i) && name != "Display Dialog" && name != "Comment") {
        throw Failure{i, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"};
      }
    }
  }

  const CompiledScript& script_;
  const CommandRecords& records_;
  VariableStore& store_;
  std::unordered_set<std::string> labels_;
};

}  // namespace

ScriptCheck CheckScript(const CompiledScript& script, const ParameterBlocks& parameters,
                        VariableStore& store) {
  return CheckScript(script, CommandRecords(script.commandIds, parameters), store);
}

ScriptCheck CheckScript(const CompiledScript& script, const CommandRecords& records,
                        VariableStore& store) {
  return Checker(script, records, store).Run();
}

}  // namespace tavrel
