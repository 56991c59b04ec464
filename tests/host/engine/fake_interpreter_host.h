// A scripted interpreter host for tests: it records what the user would
// have seen and answers modal dialogs from a queue.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/interpreter_host.h"

namespace tavrel {

class FakeHost final : public InterpreterHost {
 public:
  StartValues StartValuesFor(const EngineState&) override { return start; }
  int CancelState() override { return cancelState; }
  void SetProgress(const std::string& text, int position, int maximum, int minimum) override {
    events.push_back("progress " + text + " " + std::to_string(position) + " " +
                     std::to_string(maximum) + " " + std::to_string(minimum));
  }
  void PrepareDialog(const std::string& key) override { events.push_back("prepare " + key); }
  void ReleaseDialog(const std::string& key) override { events.push_back("release " + key); }
  std::intptr_t ShowDialog(const std::string& key, bool modal) override {
    shown.push_back(key);
    shownNames.push_back(state->Parameter(std::stoul(key), 1));
    events.push_back((modal ? "modal " : "modeless ") + key);
    if (silent) return kDialogNext;
    if (!modal) return 1000 + std::stoi(key);
    if (answers.empty()) throw std::logic_error("no answer left for dialog " + key);
    const std::intptr_t answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void HideCurrentDialog() override { events.push_back("hide"); }
  void FreeDialogs() override { events.push_back("free"); }
  void LockWindowUpdates(std::intptr_t window) override {
    events.push_back("lock " + std::to_string(window));
  }
  void UnlockWindowUpdates() override { events.push_back("unlock"); }
  void ProcessOneMessage() override {
    events.push_back("message");
    if (onMessage) onMessage();
  }
  void WakeMainThread() override { ++wakes; }
  int ShowMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption,
                     unsigned style) override {
    events.push_back("box " + std::to_string(owner) + " " + caption + "|" + text + " " +
                     std::to_string(style));
    return button;
  }
  void ShowRuntimeError(const std::string& text) override { errors.push_back(text); }
  bool FileExists(const std::string& path) override { return path == "c:\\s\\setup.msi"; }
  void Trace(const std::string& line) override { trace.push_back(line); }
  // An in-memory file system: paths are compared as given.
  PathKind KindOf(const std::string& path) override {
    if (files.count(path) != 0 || unreadable.count(path) != 0) return PathKind::kFile;
    return folders.count(path) != 0 ? PathKind::kFolder : PathKind::kNone;
  }
  FileText ReadFileText(const std::string& path) override {
    ++reads;
    if (unreadable.count(path) != 0) return {FileText::Status::kUnreadable, ""};
    const auto found = files.find(path);
    if (found == files.end()) return {};
    return {FileText::Status::kRead, found->second};
  }
  bool ReplaceFileText(const std::string& path, const std::string& text) override {
    if (readOnly.count(path) != 0) return false;
    files[path] = text;
    return true;
  }
  std::string ShortPathOf(const std::string& path) override { return "short:" + path; }
  std::string LongPathOf(const std::string& path) override { return "long:" + path; }
  std::string CreateTempFile(const std::string& folder) override {
    if (noTempFiles) return "";
    const std::string path = folder + "tvl" + std::to_string(++tempFiles) + ".tmp";
    files[path] = "";
    return path;
  }
  void SetSilent(bool value) override {
    silent = value;
    events.push_back(value ? "silent on" : "silent off");
  }

  const EngineState* state = nullptr;
  StartValues start;
  int cancelState = 1;
  bool silent = false;
  std::deque<std::intptr_t> answers;
  int button = 1;
  std::function<void()> onMessage;
  std::atomic<int> wakes{0};
  std::vector<std::string> events;
  std::vector<std::string> shown;       // keys
  std::vector<std::string> shownNames;  // dialog names
  std::vector<std::string> errors;
  std::vector<std::string> trace;
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::set<std::string> unreadable;  // present, but cannot be read
  std::set<std::string> readOnly;    // cannot be replaced
  bool noTempFiles = false;
  int tempFiles = 0;
  int reads = 0;
};

}  // namespace tavrel
