// A test plug-in that reports progress during its first call: positions
// 0..100 from the calling thread and text-only reports (-1) from a thread of
// its own, every 50 ms, until the callback answers 0 or the time is up.
// Parameter text:
//   (empty)          runs for 2 seconds
//   SECONDS s        runs for s seconds
//   IGNORESTOP s     runs for s seconds whatever the callback answers
//   LATE             also leaves a thread behind that reports once more
//                    300 ms after the call; the library stays loaded for it
//                    and LateAnswer() tells what that report was answered
//                    (-1 until it was made)
// The result adds STOPPED (TRUE when it ended because the callback answered
// 0), REPORTS (how many reports it made) and STOP_SEEN (TRUE when any answer
// was 0, also one it ignored).
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "tests/win/plugins/plugin_support.h"

namespace {

std::atomic<int> lateAnswer{-1};

void ReportLater(test_plugins::ProgressCallback progress) {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&lateAnswer), &self);
  std::thread([progress] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    lateAnswer = progress(50, "a report after the call");
  }).detach();
}

std::string Run(const char* variables, const char* parameters,
                test_plugins::ProgressCallback progress) {
  double seconds = 2;
  bool ignoreStop = false;
  for (const auto& [word, rest] : test_plugins::Commands(parameters)) {
    if (word == "SECONDS" || word == "IGNORESTOP")
      seconds = static_cast<double>(std::atof(rest.c_str()));
    if (word == "IGNORESTOP") ignoreStop = true;
    if (word == "LATE") ReportLater(progress);
  }
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  std::atomic<bool> stop{false};
  std::atomic<bool> stopSeen{false};
  std::atomic<int> reports{0};
  const auto report = [&](std::int32_t position, const char* text) {
    ++reports;
    if (progress(position, text) != 0) return;
    stopSeen = true;
    if (!ignoreStop) stop = true;
  };
  std::thread helper([&] {
    while (!stop && Clock::now() < end) {
      report(-1, "working on the helper thread");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  while (!stop && Clock::now() < end) {
    const double left = std::chrono::duration<double>(end - Clock::now()).count();
    const auto position = static_cast<std::int32_t>(100 - 100 * left / seconds);
    const std::string text = "step at " + std::to_string(position) + "%";
    report(position, text.c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!stop) report(100, "done");
  helper.join();

  test_plugins::Variables store(variables);
  store.Set("STOPPED", stop ? "TRUE" : "FALSE");
  store.Set("STOP_SEEN", stopSeen ? "TRUE" : "FALSE");
  store.Set("REPORTS", std::to_string(reports.load()));
  return store.Text();
}

// The first call does the work; the second hands over what it made.
std::string result;

}  // namespace

extern "C" int LateAnswer() {
  return lateAnswer;
}

std::int32_t __stdcall RunTimeExecute(HWND, const char* variables, const char* parameters,
                                      test_plugins::ProgressCallback progress, std::int32_t*,
                                      char* buffer) {
  if (buffer == nullptr) result = Run(variables, parameters, progress);
  return test_plugins::Deliver(result, buffer);
}
