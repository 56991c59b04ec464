// Work that must not block the user interface (plug-in calls, programs the
// script runs, web media, the installer run) goes to a worker thread while
// the main thread keeps the dialogs turning until it is done.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "engine/core/ui_port.h"

namespace tavrel {

// What the worker and the waiting main thread share: the worker's progress
// (written by the worker only) and the user's cancel request (written by
// the main thread only).
class WorkerProgress {
 public:
  void Report(std::string text, int position);
  bool CancelRequested() const { return cancel_.load(); }

  std::pair<std::string, int> Latest() const;
  void SetCancelRequested(bool cancel) { cancel_.store(cancel); }

 private:
  mutable std::mutex mutex_;
  std::string text_;
  int position_ = 0;
  std::atomic<bool> cancel_{false};
};

struct WaitOptions {
  // Copy the dialog runtime's cancel state into the worker's flag on every
  // turn (plug-in calls and the installer run).
  bool forwardCancel = false;
  // The worker hands its progress to the user-interface port itself; the
  // waiting loop leaves it alone.
  bool workerShowsProgress = false;
  // Where the progress shown while waiting comes from; empty: the worker's
  // own reports. Runs on the main thread.
  std::function<std::pair<std::string, int>()> progress;
  // Shown before the text of the worker's own reports.
  std::string heading;
};

// The page on screen shows progress every second while a worker runs; the
// flag is cleared however the waiting ends.
class BusyPage {
 public:
  explicit BusyPage(UiPort& ui) : ui_(ui) { ui_.SetBusy(true); }
  ~BusyPage() { ui_.SetBusy(false); }
  BusyPage(const BusyPage&) = delete;
  BusyPage& operator=(const BusyPage&) = delete;

 private:
  UiPort& ui_;
};

// Runs the work on a worker thread and returns when it has ended. Normal
// mode processes one window message per turn (the worker wakes the main
// thread when it ends); silent mode blocks. An exception thrown by the work
// is thrown again here, on the main thread.
void RunWhileWaiting(UiPort& ui, bool silent, const std::function<void(WorkerProgress&)>& work,
                     const WaitOptions& options = {});

}  // namespace tavrel
