// The wait for a worker thread: progress reaches the dialog, the user's
// cancel reaches the worker, and the worker's failure reaches the caller.
#include "engine/core/worker_wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/host/engine/fake_ports.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

TEST(WorkerWaitTest, ShowsWorkerProgressAndForwardsCancel) {
  FakeHost host;
  // The user cancels once the worker's progress is on screen; each turn
  // gives the worker time to run, as waiting for a message would.
  host.onMessage = [&] {
    if (host.events.size() >= 2 &&
        host.events[host.events.size() - 2] == "progress Copying: a.cab 40 100 0") {
      host.cancelState = -1;
    }
    std::this_thread::sleep_for(1ms);
  };
  RunWhileWaiting(host, false,
                  [&](WorkerProgress& progress) {
                    progress.Report("a.cab", 40);
                    while (!progress.CancelRequested()) std::this_thread::sleep_for(1ms);
                  },
                  {.forwardCancel = true, .progress = {}, .heading = "Copying: "});
  EXPECT_EQ(host.cancelState, -1);
  EXPECT_EQ(host.wakes.load(), 1);
}

TEST(WorkerWaitTest, CancelIsNotForwardedUnlessAsked) {
  FakeHost host;
  host.cancelState = -1;
  int turns = 0;
  host.onMessage = [&] { ++turns; };
  RunWhileWaiting(host, false, [](WorkerProgress& progress) {
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(progress.CancelRequested());
  });
  EXPECT_GE(turns, 1);
}

TEST(WorkerWaitTest, SilentRunBlocksWithoutTouchingTheMessageQueue) {
  FakeHost host;
  RunWhileWaiting(host, true, [](WorkerProgress&) { std::this_thread::sleep_for(10ms); },
                  {.forwardCancel = false,
                   .progress =
                       [] {
                         return std::pair<std::string, int>{"from variables", 7};
                       },
                   .heading = {}});
  for (const std::string& event : host.events) EXPECT_NE(event, "message");
  ASSERT_FALSE(host.events.empty());
  EXPECT_EQ(host.events.front(), "progress from variables 7 100 0");
}

TEST(WorkerWaitTest, WorkerFailureIsThrownOnTheCallersThread) {
  FakeHost host;
  EXPECT_THROW(
      RunWhileWaiting(host, false, [](WorkerProgress&) { throw std::runtime_error("disk full"); }),
      std::runtime_error);
  EXPECT_EQ(host.wakes.load(), 1);
}

}  // namespace
}  // namespace tavrel
