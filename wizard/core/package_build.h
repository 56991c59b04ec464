// The package build: compresses the project's files into a cabinet set,
// joins stub, compressed cabinet library, session information and first
// cabinet into the package file, scrambles the cabinets of a password
// package and signs the result. It runs on a build thread of its own; the
// wizard reads the progress values and may pause or stop it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "wizard/core/build_settings.h"
#include "wizard/core/cabinet_writer.h"

namespace ombrwiz {

// Written by the build thread, read by the wizard's interface timer; the stop
// and cancel flags go the other way.
class BuildProgress {
 public:
  void SetStatus(std::string status);
  std::string Status() const;

  std::atomic<int> step{0};
  std::atomic<int> overall{0};
  std::atomic<bool> stop{false};  // the build has ended or must end
  std::atomic<bool> success{false};
  std::atomic<bool> compressionError{false};
  std::atomic<bool> userCancel{false};
  std::atomic<bool> terminated{false};  // the wizard asks the thread to end

  // The wizard's Pause button: the build halts at its next check until resumed
  // (a stop request ends the pause).
  void Pause();
  void Resume();
  bool Paused() const;
  void WaitWhilePaused();
  // Ask the build to end (the thread's terminate request).
  void Terminate();

 private:
  mutable std::mutex mutex_;
  std::condition_variable resumed_;
  std::string status_;
  bool paused_ = false;
};

class BuildInput {
 public:
  virtual ~BuildInput() = default;
  virtual std::uint64_t Size() const = 0;
  // Bytes read (0 at the end); nullopt on a read error.
  virtual std::optional<std::size_t> Read(std::span<char> buffer) = 0;
};

class BuildOutput {
 public:
  virtual ~BuildOutput() = default;
  virtual bool Write(std::span<const char> bytes) = 0;
  // Flushes and closes; false when the data did not all reach the disk.
  virtual bool Close() = 0;
};

// The operating system as the build sees it.
class BuildSystem {
 public:
  virtual ~BuildSystem() = default;
  virtual CabinetPlatform& Cabinets() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // True when the file is gone afterwards (also when it never was there).
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
  // nullopt when the file cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  virtual bool WriteFile(const std::string& path, std::string_view bytes) = 0;
  virtual std::unique_ptr<BuildInput> OpenInput(const std::string& path) = 0;
  virtual std::unique_ptr<BuildOutput> CreateOutput(const std::string& path) = 0;
  // Free bytes on the drive of a path; nullopt when unknown.
  virtual std::optional<std::uint64_t> FreeBytes(const std::string& path) = 0;
  // Starts a console program; its standard output arrives through onOutput
  // (on any thread) before ChildRunning turns false. Returns 0 or the
  // system's error code.
  virtual int StartChild(const std::string& commandLine,
                         std::function<void(std::string_view)> onOutput) = 0;
  virtual bool ChildRunning() = 0;
  virtual void Sleep(int milliseconds) = 0;
  // An error box (kError) or an information box (kInformation), titled
  // "Quorvane Ombrell"; unattended builds show none.
  enum class Box { kError, kInformation };
  virtual void ShowBox(Box kind, const std::string& text) = 0;
};

// The build thread's body. Failures are values here: each step reports its
// own through the failure routine and returns false; an exception is a
// fault, and Execute turns it into a failed build.
class Action {
 public:
  Action(BuildSettings settings, BuildSystem& system, BuildProgress& progress);
  void Execute();

  // The cabinet files of the set: the first and continuation number k.
  std::string FirstCabinet() const;
  std::string ContinuationCabinet(unsigned number) const;
  std::string SessionFile() const;

 private:
  enum class CopyResult { kDone, kReadError, kWriteError, kTerminated };

  void Build();
  bool Terminated();
  // The failure routine; always false.
  bool Fail(std::optional<std::string_view> message, bool cleanUp);
  void ConfigureWriter(tmFwCAB& writer);
  bool Compress();
  bool Wrap();
  bool ScrambleContinuations();
  bool Sign();
  bool RunTool(const std::string& commandLine, std::string* output);
  CopyResult Copy(BuildInput& input, BuildOutput& output, bool scramble,
                  const std::function<void(std::uint64_t copied, std::uint64_t size)>& onBlock);

  BuildSettings settings_;
  BuildSystem& system_;
  BuildProgress& progress_;
  std::string key_;
  std::vector<char> buffer_;
};

// Lines of a text file joined with CR LF, without a line end after the last.
std::string TextOfLines(std::string_view fileBytes);

}  // namespace ombrwiz
