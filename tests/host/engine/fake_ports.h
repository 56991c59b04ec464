// Scripted ports for tests: they record what the user would have seen,
// answer modal dialogs from a queue and keep files, programs and registry
// values in memory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/core/engine_state.h"
#include "engine/core/system_port.h"
#include "engine/core/ui_port.h"

namespace tavrel {

// System answers set by the test; file versions by path, special folders by
// number (missing ones are empty).
class FakeSystemInfo final : public SystemInfo {
 public:
  OsVersion GetOsVersion() override { return os; }
  RegisteredUser GetRegisteredUser() override { return user; }
  std::string GetSpecialFolder(int number) override {
    const auto found = specialFolders.find(number);
    return found == specialFolders.end() ? "" : found->second;
  }
  bool IsUserAdministrator() override { return administrator; }
  FileVersionParts GetFileVersionParts(const std::string& path) override {
    const auto found = versions.find(path);
    return found == versions.end() ? FileVersionParts{} : found->second;
  }
  MemoryStatus GetMemoryStatus(bool) override { return memory; }
  ScreenSize GetScreenSize() override { return screen; }
  DisplayColours GetDisplayColours() override { return colours; }
  SystemLanguage GetSystemLanguage() override { return language; }
  std::string FindCdRomDrive() override { return cdRom; }
  std::string GetBootFolder() override { return bootFolder; }
  std::string GetShortPath(const std::string& path) override { return path; }
  std::string ExpandToLongPath(const std::string& path) override { return path; }

  OsVersion os{true, 5, 1, 2};
  RegisteredUser user{"Ada", "Engines Ltd"};
  std::map<int, std::string> specialFolders;
  bool administrator = true;
  std::map<std::string, FileVersionParts> versions;
  MemoryStatus memory;
  ScreenSize screen{1024, 768};
  DisplayColours colours{1u << 16, 16};
  SystemLanguage language{"English (United States)", 0x04E40409};
  std::string cdRom;
  std::string bootFolder;
};

class FakeHost final : public UiPort, public SystemPort {
 public:
  StartValues StartValuesFor(const EngineState&) override { return start; }
  int CancelState() override { return cancelState; }
  void SetProgress(const std::string& text, int position, int maximum, int minimum) override {
    Record("progress " + text + " " + std::to_string(position) + " " + std::to_string(maximum) +
           " " + std::to_string(minimum));
  }
  void SetBusy(bool busy) override { Record(busy ? "busy on" : "busy off"); }
  std::string BrowseForFolder(const std::string& prompt) override {
    Record("browse " + prompt);
    if (browseAnswers.empty()) return "";
    std::string answer = browseAnswers.front();
    browseAnswers.pop_front();
    return answer;
  }
  void PrepareDialog(const std::string& key) override { Record("prepare " + key); }
  void ReleaseDialog(const std::string& key) override { Record("release " + key); }
  std::intptr_t ShowDialog(const std::string& key, bool modal) override {
    shown.push_back(key);
    shownNames.push_back(state->Parameter(std::stoul(key), 1));
    Record((modal ? "modal " : "modeless ") + key);
    if (silent) return kDialogNext;
    if (!modal) return 1000 + std::stoi(key);
    if (answers.empty()) throw std::logic_error("no answer left for dialog " + key);
    const std::intptr_t answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void HideCurrentDialog() override { Record("hide"); }
  void FreeDialogs() override { Record("free"); }
  void LockWindowUpdates(std::intptr_t window) override {
    Record("lock " + std::to_string(window));
  }
  void UnlockWindowUpdates() override { Record("unlock"); }
  void ProcessOneMessage() override {
    Record("message");
    if (onMessage) onMessage();
  }
  void WakeMainThread() override { ++wakes; }
  int ShowMessageBox(std::intptr_t owner, const std::string& text, const std::string& caption,
                     unsigned style) override {
    Record("box " + std::to_string(owner) + " " + caption + "|" + text + " " +
           std::to_string(style));
    return button;
  }
  void ShowRuntimeError(const std::string& text) override { errors.push_back(text); }
  bool AskDownloadRetry(std::intptr_t owner, const MessageTable&, bool& resume) override {
    Record("download retry " + std::to_string(owner));
    resume = retryResume;
    return retryAnswer;
  }
  bool AskProxyRetry(std::intptr_t owner, const MessageTable&, ProxySettings& proxy) override {
    Record("proxy retry " + std::to_string(owner) + " " + proxy.server + ":" + proxy.port);
    if (retryAnswer) proxy = retryProxy;
    return retryAnswer;
  }
  ExtractRetry AskExtractRetry(std::intptr_t owner, const MessageTable&) override {
    Record("extract retry " + std::to_string(owner));
    if (extractAnswers.empty()) return ExtractRetry::kCancel;
    const ExtractRetry answer = extractAnswers.front();
    extractAnswers.erase(extractAnswers.begin());
    return answer;
  }
  PluginResult CallPlugin(const PluginCall& call, const PluginProgress& progress) override {
    pluginCalls.push_back(call);
    if (!plugin) return {PluginResult::Outcome::kNotLoaded, "", "no plug-in"};
    return plugin(call, progress);
  }
  MediaPort& Media() override {
    if (media == nullptr) throw std::logic_error("no web media here");
    return *media;
  }
  bool FileExists(const std::string& path) override {
    return path == "c:\\s\\setup.msi" || files.count(path) != 0;
  }
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
  std::string ShortPathOf(const std::string& path) override {
    return shortPath ? shortPath(path) : "short:" + path;
  }
  std::string LongPathOf(const std::string& path) override { return "long:" + path; }
  std::string CreateTempFile(const std::string& folder) override {
    if (noTempFiles) return "";
    const std::string path = folder + "tvl" + std::to_string(++tempFiles) + ".tmp";
    files[path] = "";
    return path;
  }
  bool CreateFolders(const std::string& path) override {
    folders.insert(path);
    return true;
  }
  bool DeleteFileAt(const std::string& path) override { return files.erase(path) != 0; }
  // A copy from a path in missingSources fails; a file in inUse stays where
  // it is when its folder is deleted.
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    copies.push_back(from + " > " + to);
    if (missingSources.count(from) != 0) return false;
    files[to] = files.count(from) != 0 ? files[from] : "copy of " + from;
    return true;
  }
  bool DeleteFolderTree(const std::string& folder) override {
    bool left = false;
    for (auto it = files.lower_bound(folder); it != files.end() && it->first.starts_with(folder);) {
      if (inUse.count(it->first) != 0) {
        left = true;
        ++it;
      } else {
        it = files.erase(it);
      }
    }
    if (!left) folders.erase(folder);
    return !left;
  }
  bool MoveFolder(const std::string& from, const std::string& to) override {
    if (folders.count(from) == 0) return false;
    folders.erase(from);
    folders.insert(to);
    std::map<std::string, std::string> moved;
    for (auto it = files.lower_bound(from); it != files.end() && it->first.starts_with(from);) {
      moved[to + it->first.substr(from.size())] = it->second;
      it = files.erase(it);
    }
    files.merge(moved);
    return true;
  }
  void DeleteAtRestart(const std::string& path) override { atRestart.push_back(path); }
  bool WriteLogText(const std::string& path, const std::string& text) override {
    files[path] = text;
    return true;
  }
  std::string CurrentFolder() override { return currentFolder; }
  bool SetCurrentFolder(const std::string& path) override {
    Record("current folder " + path);
    currentFolder = path;
    return true;
  }
  std::int64_t FreeSpaceOfDrive(char letter) override {
    const auto found = freeSpace.find(letter);
    return found == freeSpace.end() ? -1 : found->second;
  }
  void DeleteRegistryValue(RegistryRoot root, const std::string& key,
                           const std::string& name) override {
    registry.push_back("delete value " + std::to_string(static_cast<int>(root)) + " " + key + " " +
                       name);
  }
  void DeleteRegistryKeyTree(RegistryRoot root, const std::string& key) override {
    registry.push_back("delete tree " + std::to_string(static_cast<int>(root)) + " " + key);
  }
  // Written values land in registryValues ("root|key|name"); a key listed in
  // lockedKeys cannot be written.
  bool WriteRegistryString(RegistryRoot root, const std::string& key, const std::string& name,
                           const std::string& value) override {
    if (lockedKeys.count(key) != 0) return false;
    registryValues[std::to_string(static_cast<int>(root)) + "|" + key + "|" + name] =
        RegistryValue{RegistryValue::Type::kString, value, 0};
    return true;
  }
  std::string LocalDateTime() override { return "10/12/2026 01:02:03"; }
  std::string SystemErrorText(std::uint32_t code) override {
    const auto found = errorTexts.find(code);
    return found == errorTexts.end() ? "" : found->second;
  }
  // The installer: properties written and sessions run are recorded; a
  // session replays installerMessages through the sink (keeping the
  // answers) and returns sessionResult. Called on the worker thread.
  bool WriteDatabaseProperties(
      const std::string& database,
      const std::vector<std::pair<std::string, std::string>>& properties) override {
    for (const auto& [name, value] : properties) {
      databaseProperties.push_back(database + "|" + name + "=" + value);
    }
    return true;
  }
  int ProductState(const std::string&) override { return productState; }
  std::string ProductPackageCode(const std::string&) override { return packageCode; }
  InstallerSessionResult RunInstallerSession(const InstallerSession& session,
                                             InstallerMessageSink& sink) override {
    sessions.push_back(session);
    inSession.store(true);
    if (files.count(handOffPath) != 0) handOffDuringSession = files[handOffPath];
    for (const auto& [type, text] : installerMessages) {
      installerAnswers.push_back(sink.OnInstallerMessage(type, text));
    }
    // An installer that goes on sending until it is told to cancel.
    for (int turn = 0; sessionRunsUntilCancelled && turn < 5000; ++turn) {
      if (sink.OnInstallerMessage(0x04000000, "working") == 2) {
        installerAnswers.push_back(2);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return sessionResult;
  }
  // Programs: a program listed in exitCodes "runs" and ends with that code,
  // unless it is listed in longRunning and nobody waits for it; any other
  // program cannot be started. Called on the worker thread: records only
  // into programRuns, which the main thread reads after the join.
  std::int32_t RunProgram(const std::string& program, const std::string& parameters, bool hidden,
                          bool wait) override {
    programRuns.push_back(program + "|" + parameters + (hidden ? "|hidden" : "|shown") +
                          (wait ? "|wait" : "|nowait"));
    const auto found = exitCodes.find(program);
    if (found == exitCodes.end()) return kProgramNotStarted;
    if (!wait && longRunning.count(program) != 0) return kProgramStillRunning;
    return found->second;
  }
  // Windows: closing one takes it out of the list (the fake's windows close
  // at once when asked).
  bool CloseFirstWindow(const std::string& title, const std::string& windowClass) override {
    for (auto it = windows.begin(); it != windows.end(); ++it) {
      if (it->first.find(windowClass) != std::string::npos &&
          it->second.find(title) != std::string::npos) {
        closed.push_back(it->first + "|" + it->second);
        windows.erase(it);
        return true;
      }
    }
    return false;
  }
  void WriteStartupEntry(bool allUsers, const std::string& name,
                         const std::string& command) override {
    startup[(allUsers ? "machine\\" : "user\\") + name] = command;
    registry.push_back("write " + std::string(allUsers ? "machine " : "user ") + name);
  }
  void RemoveStartupEntry(bool allUsers, const std::string& name) override {
    startup.erase((allUsers ? "machine\\" : "user\\") + name);
    registry.push_back("remove " + std::string(allUsers ? "machine " : "user ") + name);
  }
  void RequestReboot() override { ++reboots; }
  // System queries: registry values by root number, key and name ("2|key|name").
  SystemInfo& System() override { return system; }
  RegistryValue ReadRegistryValue(RegistryRoot root, const std::string& key,
                                  const std::string& name) override {
    const auto found =
        registryValues.find(std::to_string(static_cast<int>(root)) + "|" + key + "|" + name);
    return found == registryValues.end() ? RegistryValue{} : found->second;
  }
  // Replaces "%NAME%" for each entry; unknown names stay as written.
  std::string ExpandEnvironment(const std::string& text) override {
    std::string result = text;
    for (const auto& [name, value] : environment) {
      const std::string pattern = "%" + name + "%";
      for (std::size_t at = result.find(pattern); at != std::string::npos;
           at = result.find(pattern, at + value.size())) {
        result.replace(at, pattern.size(), value);
      }
    }
    return result;
  }
  std::string ReadIniValue(const std::string& file, const std::string& section,
                           const std::string& key) override {
    const auto found = ini.find(file + "|" + section + "|" + key);
    return found == ini.end() ? "" : found->second;
  }
  std::string SystemFolder() override { return "C:\\Windows\\system32"; }
  std::string WindowsFolder() override { return "C:\\Windows"; }
  void SetSilent(bool value) override {
    silent = value;
    Record(value ? "silent on" : "silent off");
  }

  // The installer's and other workers' threads report too.
  void Record(std::string event) {
    const std::lock_guard lock(eventsMutex);
    events.push_back(std::move(event));
  }

  const EngineState* state = nullptr;
  StartValues start;
  int cancelState = 1;
  bool silent = false;
  std::deque<std::intptr_t> answers;
  int button = 1;
  std::function<void()> onMessage;
  std::atomic<int> wakes{0};
  std::mutex eventsMutex;
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
  std::map<std::string, std::int32_t> exitCodes;
  std::set<std::string> longRunning;
  std::vector<std::string> programRuns;
  std::vector<std::pair<std::string, std::string>> windows;  // class, title; in Z order
  std::vector<std::string> closed;                           // class|title
  // Plug-ins: what the library does, and the calls it got.
  std::function<PluginResult(const PluginCall&, const PluginProgress&)> plugin;
  std::vector<PluginCall> pluginCalls;
  // Web media: the port and the retry dialogs' answers.
  MediaPort* media = nullptr;
  bool retryAnswer = false;
  bool retryResume = true;
  ProxySettings retryProxy;
  std::vector<ExtractRetry> extractAnswers;
  std::map<std::string, std::string> startup;  // "user\\name" or "machine\\name"
  std::vector<std::string> registry;
  int reboots = 0;
  int tempFiles = 0;
  int reads = 0;
  FakeSystemInfo system;
  std::map<std::string, RegistryValue> registryValues;
  std::map<std::string, std::string> environment;
  std::map<std::string, std::string> ini;  // "file|section|key"
  std::deque<std::string> browseAnswers;
  std::function<std::string(const std::string&)> shortPath;  // default: "short:" + path
  std::string currentFolder = "C:\\work\\";
  std::map<char, std::int64_t> freeSpace;
  std::map<std::uint32_t, std::string> errorTexts;
  std::vector<std::string> databaseProperties;  // "database|NAME=value"
  int productState = -1;
  std::string packageCode;
  std::vector<std::string> copies;  // "from > to"
  std::set<std::string> missingSources;
  std::set<std::string> inUse;
  std::vector<std::string> atRestart;
  std::set<std::string> lockedKeys;
  std::vector<InstallerSession> sessions;
  std::vector<std::pair<std::uint32_t, std::string>> installerMessages;
  std::vector<int> installerAnswers;
  InstallerSessionResult sessionResult{true, "", 0, false};
  bool sessionRunsUntilCancelled = false;
  std::atomic<bool> inSession{false};
  std::string handOffPath;  // copied while a session runs
  std::string handOffDuringSession;
};

}  // namespace tavrel
