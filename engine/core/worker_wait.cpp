#include "engine/core/worker_wait.h"

#include <exception>
#include <thread>

namespace tavrel {

void WorkerProgress::Report(std::string text, int position) {
  const std::lock_guard lock(mutex_);
  text_ = std::move(text);
  position_ = position;
}

std::pair<std::string, int> WorkerProgress::Latest() const {
  const std::lock_guard lock(mutex_);
  return {text_, position_};
}

void RunWhileWaiting(UiPort& ui, bool silent, const std::function<void(WorkerProgress&)>& work,
                     const WaitOptions& options) {
  WorkerProgress progress;
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work(progress);
    } catch (...) {
      failure = std::current_exception();
    }
    done.store(true);
    ui.WakeMainThread();
  });

  // The worker must be joined whatever the main thread's side throws.
  struct Joiner {
    std::thread& thread;
    ~Joiner() {
      if (thread.joinable()) thread.join();
    }
  } joiner{worker};

  while (!done.load()) {
    if (!options.workerShowsProgress) {
      if (options.progress) {
        const auto [text, position] = options.progress();
        ui.SetProgress(text, position, 100, 0);
      } else {
        const auto [text, position] = progress.Latest();
        ui.SetProgress(options.heading + text, position, 100, 0);
      }
    }
    if (silent) {
      worker.join();
      break;
    }
    ui.ProcessOneMessage();
    if (options.forwardCancel) progress.SetCancelRequested(ui.CancelState() == -1);
  }
  if (worker.joinable()) worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tavrel
