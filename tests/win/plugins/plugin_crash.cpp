// A test plug-in that faults. Parameter text:
//   (empty)    writes through a null pointer in the first call
//   SECOND     the same in the second call
//   ILLEGAL    executes an illegal instruction in the first call
//   DIVIDE     divides by zero in the first call
//   STACK      recurses until the stack overflows in the first call
//   SEHOK      raises an exception and handles it itself (a vectored handler
//              of its own), throws and catches a C++ exception, then answers
//              normally with SEHOK=TRUE: handled exceptions are no crash
#include <stdexcept>

#include "tests/win/plugins/plugin_support.h"

namespace {

constexpr DWORD kOwnException = 0xE0C0FFEE;

void WriteThroughNull() {
  volatile int* nowhere = nullptr;
  *nowhere = 1;
}

volatile int divisor = 0;

int Divide() {
  return 100 / divisor;
}

// Deep enough for any stack; the depth check only keeps the compiler from
// calling the recursion endless.
[[gnu::noinline]] int Recurse(int depth) {
  volatile char filler[4096];
  filler[0] = static_cast<char>(depth);
  if (depth == 0x7FFFFFF) return filler[0];
  return Recurse(depth + 1) + filler[0];
}

LONG WINAPI HandleOwnException(EXCEPTION_POINTERS* info) {
  return info->ExceptionRecord->ExceptionCode == kOwnException ? EXCEPTION_CONTINUE_EXECUTION
                                                               : EXCEPTION_CONTINUE_SEARCH;
}

bool RaiseAndHandle() {
  void* handler = AddVectoredExceptionHandler(1, &HandleOwnException);
  if (handler == nullptr) return false;
  RaiseException(kOwnException, 0, 0, nullptr);
  RemoveVectoredExceptionHandler(handler);
  try {
    throw std::runtime_error("caught at home");
  } catch (const std::runtime_error&) {
    return true;
  }
}

}  // namespace

std::int32_t __stdcall RunTimeExecute(HWND, const char* variables, const char* parameters,
                                      test_plugins::ProgressCallback, std::int32_t*, char* buffer) {
  const std::string mode = parameters == nullptr ? "" : common::ToUpperAscii(parameters);
  const bool first = buffer == nullptr;
  if (mode.empty() && first) WriteThroughNull();
  if (mode == "SECOND" && !first) WriteThroughNull();
  if (mode == "ILLEGAL" && first) __builtin_trap();
  if (mode == "DIVIDE" && first) return Divide();
  if (mode == "STACK" && first) return Recurse(0);
  test_plugins::Variables store(variables);
  if (mode == "SEHOK") store.Set("SEHOK", RaiseAndHandle() ? "TRUE" : "FALSE");
  return test_plugins::Deliver(store.Text(), buffer);
}
