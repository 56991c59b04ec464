// Scripts for the interpreter: lines of commands with their parameters, and
// a fixture that runs them against a scripted host that records what the
// user would have seen and answers modal dialogs from a queue.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/interpreter.h"
#include "tests/host/engine/fake_ports.h"

namespace tavrel {
namespace {

struct Line {
  std::string name;
  std::vector<std::string> params = {};
  std::string flag = {};
};

inline Line Set(std::string name, std::string value) {
  return {"Set Variable", {name, value}};
}
inline Line If(std::string left, std::string op, std::string right, std::string negate = "FALSE") {
  return {"If", {left, op, right, negate}};
}
inline Line ElseIf(std::string left, std::string op, std::string right) {
  return {"Else If", {left, op, right, "FALSE"}};
}
inline Line Else() {
  return {"Else"};
}
inline Line End() {
  return {"End"};
}
inline Line Mark(std::string what) {
  return {"Mark", {what}};
}
// Dialog in a wizard loop, result into WIZARD.
// The checks accept a condition only on a variable some earlier command
// declares; these declarations are jumped over and never execute.
inline std::vector<Line> Declaring(const std::vector<std::string>& names, std::vector<Line> lines) {
  std::vector<Line> script{{"GoTo Label", {"start"}}};
  for (const std::string& name : names) script.push_back(Set(name, "declared"));
  script.push_back({"Label", {"start"}});
  script.insert(script.end(), lines.begin(), lines.end());
  return script;
}
inline Line Dialog(std::string name, std::string condition = "", std::string skipWhen = "") {
  return {"Display Dialog", {name, "WIZARD", "TRUE", condition, "", skipWhen}};
}

class InterpreterTest : public ::testing::Test {
 protected:
  InterpreterTest() {
    host_.state = &state_;
    Command("Mark", [this](CommandContext& c) {
      marks_.push_back(c.Param(1));
      host_.events.push_back("mark " + c.Param(1));
    });
    Command("Fail", [](CommandContext&) { throw std::runtime_error("boom"); });
  }

  void Load(const std::vector<Line>& lines) {
    std::vector<std::string> block;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string id = "id" + std::to_string(i);
      state_.script.commandNames.push_back(lines[i].name);
      state_.script.commandIds.push_back(id);
      state_.script.commandFlags.push_back(lines[i].flag);
      state_.script.mediaFolders.emplace_back();
      block.push_back(id);
      block.insert(block.end(), lines[i].params.begin(), lines[i].params.end());
      // Every record as long as the longest one the built-ins read.
      block.insert(block.end(), 16 - std::min<std::size_t>(16, lines[i].params.size()), "");
    }
    state_.parameters.Add(ParameterBlock(std::move(block)));
  }

  void Run(const std::vector<Line>& lines, const std::string& database = "c:\\s\\setup.msi") {
    Load(lines);
    host_.silent = state_.commandLine.silent;
    interpreter_.Run(state_, database);
  }

  std::string Var(std::string_view name) const { return store_.Get(name); }

  // A command of the test's own, added to the engine's table.
  void Command(std::string name, CommandHandler run) {
    commands_.Add({std::move(name), CommandRole::kAction, {}, std::move(run), {}});
  }

  FakeHost host_;
  MessageTable messages_;
  VariableStore store_{messages_};
  EngineState state_;
  CommandTable commands_ = CommandTable::Standard();
  Interpreter interpreter_{host_, host_, store_, messages_, commands_};
  std::vector<std::string> marks_;
};

}  // namespace
}  // namespace tavrel
