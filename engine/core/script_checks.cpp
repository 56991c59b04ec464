#include "engine/core/script_checks.h"

#include <cstdint>
#include <unordered_set>

#include "engine/core/predefined_variables.h"
#include "engine/core/script_text.h"

namespace tavrel {

namespace {

struct Failure {
  std::size_t index;
  std::string message;
};

class Checker {
 public:
  Checker(const CompiledScript& script, const CommandRecords& records, VariableStore& store,
          const CommandTable& commands)
      : script_(script), records_(records), store_(store) {
    entries_.reserve(script.CommandCount());
    for (const std::string& name : script.commandNames) entries_.push_back(commands.Find(name));
  }

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
  // Names the table does not know take part in no pass and have no rule.
  bool Is(std::size_t i, CommandRole role) const {
    return entries_[i] != nullptr && entries_[i]->role == role;
  }
  bool Active(std::size_t i) const { return !script_.IsCommentedOut(i); }
  const std::string& Param(std::size_t i, std::size_t n) const {
    if (i >= script_.commandIds.size()) throw ListIndexError(i);
    return records_.Get(i, n);
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
      if (Is(i, CommandRole::kIf) || Is(i, CommandRole::kWizardLoop)) {
        ++openers;
        ++depth;
      } else if (Is(i, CommandRole::kEnd)) {
        ++ends;
        --depth;
      } else if (Is(i, CommandRole::kLabel) && depth != 0) {
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
      if (!Is(i, CommandRole::kLabel)) continue;
      if (!labels.insert(ToUpperAscii(Param(i, 1))).second) {
        throw Failure{i, "LABEL re-defined: " + Param(i, 1)};
      }
    }
    labels_ = std::move(labels);
  }

  void CommandRules(std::vector<std::string>& actionStates) {
    for (std::size_t i = 0; i < Count(); ++i) {
      actionStates.emplace_back("SKIP");
      if (Active(i) && entries_[i] != nullptr) Rule(i, entries_[i]->check, actionStates.back());
    }
  }

  void Rule(std::size_t i, const CheckRule& rule, std::string& actionState) {
    FirstCheck(i, rule);
    for (const std::uint8_t position : rule.declares) {
      if (position != 0) store_.Declare(Param(i, position));
    }
    if (rule.kind == CheckKind::kDialog && !Param(i, 4).empty() && !Defined(Param(i, 4), false)) {
      throw Failure{i, "Variable not defined: " + Param(i, 4)};
    }
    if (rule.change) actionState = "FALSE";
  }

  // What must hold before the command declares anything.
  void FirstCheck(std::size_t i, const CheckRule& rule) {
    switch (rule.kind) {
      case CheckKind::kNone:
        return;
      case CheckKind::kWebMediaBlock: {
        std::string error;
        if (Param(i, 1).size() > 8) error = "Web Media Block name must not exceed 8 characters";
        if (!Param(i, 1).empty() && Param(i, 2).empty()) {
          error = "Web Media Block must have a download URL";
        }
        if (!error.empty()) throw Failure{i, error};
        return;
      }
      case CheckKind::kVariableRequired:
        if (Param(i, rule.declares[0]).empty()) throw Failure{i, "Variable required"};
        return;
      case CheckKind::kDeleteMode:
        if (!BooleanValue(Param(i, 3)) && !BooleanValue(Param(i, 4))) {
          throw Failure{i, "At least one delete mode must be selected"};
        }
        return;
      case CheckKind::kExistingVariable:
        if (!store_.Exists(Param(i, 1))) throw Failure{i, "Variable not defined: " + Param(i, 1)};
        return;
      case CheckKind::kLabelDefined:
        if (!labels_.count(ToUpperAscii(Param(i, 1)))) {
          throw Failure{i, "LABEL undefined: " + Param(i, 1)};
        }
        return;
      case CheckKind::kCondition: {
        if (Param(i, 1).empty()) throw Failure{i, "Variable required"};
        const std::string* bad = nullptr;
        if (!Defined(Param(i, 1), false)) bad = &Param(i, 1);
        if (!Defined(Param(i, 3), true)) bad = &Param(i, 3);
        if (bad != nullptr) throw Failure{i, "Variable not defined: " + *bad};
        return;
      }
      case CheckKind::kDialog:
        if (Param(i, 1).empty()) throw Failure{i, "Dialog name not specified"};
        return;
    }
  }

  void WizardLoops() {
    bool inside = false;
    for (std::size_t i = 0; i < Count(); ++i) {
      if (Is(i, CommandRole::kWizardLoop)) {
        inside = true;
      } else if (Is(i, CommandRole::kEnd) && inside) {
        inside = false;
      } else if (inside && Active(i) && !Is(i, CommandRole::kDialog) &&
                 !Is(i, CommandRole::kComment)) {
        throw Failure{i, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"};
      }
    }
  }

  const CompiledScript& script_;
  const CommandRecords& records_;
  VariableStore& store_;
  std::vector<const CommandEntry*> entries_;  // per command; null for an unknown name
  std::unordered_set<std::string> labels_;
};

}  // namespace

ScriptCheck CheckScript(const CompiledScript& script, const ParameterBlocks& parameters,
                        VariableStore& store, const CommandTable& commands) {
  return CheckScript(script, CommandRecords(script.commandIds, parameters), store, commands);
}

ScriptCheck CheckScript(const CompiledScript& script, const CommandRecords& records,
                        VariableStore& store, const CommandTable& commands) {
  return Checker(script, records, store, commands).Run();
}

}  // namespace tavrel
