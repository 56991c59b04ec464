// Calling a plug-in's run-time library.
//
// A plug-in is foreign code: it may fault anywhere inside its two calls, and
// the engine must go on (report the fault and run its clean-up). The library
// is therefore loaded, called and freed on a raw thread of its own whose
// entry function holds no C++ object. A top-level exception filter, put in
// place for the duration of the call, sees the faults nobody on that thread
// handled (the library's own handlers, vectored or frame-based, get every
// exception first, so what the library catches itself never counts). For the
// call thread the filter notes the exception and lets the thread continue in
// a landing function, on a fresh part of the same stack, that ends the
// thread. No frame of ours is skipped that holds anything to clean up, and
// the waiting worker reads the outcome from the call's frame. Faults on other
// threads go to the filter that was there before.
#include "engine/win32/plugin_library.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>

#include "common/paths.h"
#include "common/win32/handle_owner.h"

namespace tavrel {
namespace {

using common::HandleOwner;
using KernelHandle = HandleOwner<HANDLE, common::handle_kinds::Kernel>;

using ProgressCallback = unsigned char(__stdcall*)(std::int32_t position, const char* text);
using RunTimeExecute = std::int32_t(__stdcall*)(HWND owner, const char* variables,
                                                const char* parameters, ProgressCallback progress,
                                                std::int32_t* reserved, char* buffer);

// ---- Progress reports from the library's threads ----

// The route to the current call's progress function. A report takes the lock
// for as long as the function runs, so the end of a call (which clears the
// route under the same lock) waits for a report in flight, and a report that
// comes later finds no route and is answered 0.
std::mutex progressLock;
const PluginProgress* progressRoute = nullptr;

unsigned char __stdcall ReportProgress(std::int32_t position, const char* text) {
  try {
    const std::string_view said = text == nullptr ? std::string_view() : std::string_view(text);
    const std::lock_guard lock(progressLock);
    if (progressRoute == nullptr) return 0;
    return (*progressRoute)(position, std::string(said)) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

class ProgressRoute {
 public:
  explicit ProgressRoute(const PluginProgress& progress) {
    const std::lock_guard lock(progressLock);
    progressRoute = progress ? &progress : nullptr;
  }
  ~ProgressRoute() {
    const std::lock_guard lock(progressLock);
    progressRoute = nullptr;
  }
  ProgressRoute(const ProgressRoute&) = delete;
  ProgressRoute& operator=(const ProgressRoute&) = delete;
};

// ---- The call thread and its fault landing ----

// What the call thread and the worker share. Plain data only: the thread
// works with raw pointers, the worker owns everything they point to.
struct CallFrame {
  const char* library = nullptr;
  HWND owner = nullptr;
  const char* variables = nullptr;
  const char* parameters = nullptr;
  HANDLE lengthKnown = nullptr;  // set by the thread after the first call
  HANDLE bufferReady = nullptr;  // set by the worker when buffer is there (or stays null)
  HMODULE module = nullptr;
  DWORD loadError = 0;  // the load's system error, when module stays null
  bool hasEntry = false;
  std::int32_t reserved = 0;
  std::int32_t length = -1;
  char* buffer = nullptr;
  bool freed = false;  // the library was freed after a clean second call
};

// The one call in progress (calls are serialised). The filter reads these on
// the faulting thread; the entry and the worker write them before the
// library runs, the filter before the thread ends.
std::atomic<DWORD> callThreadId{0};
std::atomic<std::uintptr_t> landingStack{0};
std::atomic<bool> faulted{false};
std::atomic<DWORD> faultCode{0};
std::atomic<std::uintptr_t> faultAddress{0};
#if defined(_M_IX86) || defined(__i386__)
// The thread's chain of exception registrations when the entry began: the
// landing puts it back, because the registrations the library and the
// dispatcher made lie in the part of the stack the landing reuses.
std::atomic<void*> entryRegistrations{nullptr};

// The head of that chain sits at the start of the thread's information block.
void* RegistrationChain() {
  void* head = nullptr;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void SetRegistrationChain(void* head) {
  asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}
#endif
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

constexpr DWORD kEndedByFault = 0xDEAD0001;

// Where a faulting call thread continues: it ends, and so does everything the
// library had on its stack. DLL_THREAD_DETACH still runs in every library.
[[noreturn]] void LandAfterFault() {
#if defined(_M_IX86) || defined(__i386__)
  SetRegistrationChain(entryRegistrations.load());
#endif
  ExitThread(kEndedByFault);
}

LONG WINAPI FilterCallFaults(EXCEPTION_POINTERS* info) {
  if (callThreadId.load() != GetCurrentThreadId() || landingStack.load() == 0 ||
      (info->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0) {
    return previousFilter != nullptr ? previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
  }
  faultCode.store(info->ExceptionRecord->ExceptionCode);
  faultAddress.store(reinterpret_cast<std::uintptr_t>(info->ExceptionRecord->ExceptionAddress));
  faulted.store(true);
  // The landing is entered as if called: the stack aligned as the calling
  // convention wants it at a function's first instruction (x86-64: 16 bytes
  // minus the return address, with the 32-byte home area above it).
  const std::uintptr_t top = landingStack.load() & ~std::uintptr_t{15};
#if defined(_M_X64) || defined(__x86_64__)
  info->ContextRecord->Rsp = top - 32 - 8;
  info->ContextRecord->Rip = reinterpret_cast<DWORD64>(&LandAfterFault);
#elif defined(_M_IX86) || defined(__i386__)
  info->ContextRecord->Esp = static_cast<DWORD>(top - 4);
  info->ContextRecord->Eip = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&LandAfterFault));
#else
#error "the fault landing knows x86 and x86-64 only"
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// Room for the filter's own work when the fault is a stack overflow; the
// function is there from Windows Server 2003 SP1 on, and looked up.
void ReserveStackForFaults() {
  using Guarantee = BOOL(WINAPI*)(PULONG);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto guarantee = reinterpret_cast<Guarantee>(reinterpret_cast<void*>(
      kernel == nullptr ? nullptr : GetProcAddress(kernel, "SetThreadStackGuarantee")));
  ULONG size = 64 * 1024;
  if (guarantee != nullptr) guarantee(&size);
}

// The call thread: no C++ object lives in this frame, so ending the thread
// from the landing leaves nothing behind.
DWORD WINAPI RunCallThread(void* parameter) {
  CallFrame& frame = *static_cast<CallFrame*>(parameter);
  volatile char marker = 0;
  // Below this frame's own data, with room for the landing and ExitThread.
  landingStack.store(reinterpret_cast<std::uintptr_t>(&marker) - 256);
#if defined(_M_IX86) || defined(__i386__)
  entryRegistrations.store(RegistrationChain());
#endif
  ReserveStackForFaults();

  frame.module = LoadLibraryA(frame.library);
  if (frame.module == nullptr) {
    frame.loadError = GetLastError();
    SetEvent(frame.lengthKnown);
    return 0;
  }
  const auto entry = reinterpret_cast<RunTimeExecute>(
      reinterpret_cast<void*>(GetProcAddress(frame.module, "RunTimeExecute")));
  frame.hasEntry = entry != nullptr;
  if (entry != nullptr) {
    frame.length = entry(frame.owner, frame.variables, frame.parameters, &ReportProgress,
                         &frame.reserved, nullptr);
  }
  SetEvent(frame.lengthKnown);
  if (entry != nullptr) {
    WaitForSingleObject(frame.bufferReady, INFINITE);
    if (frame.buffer != nullptr) {
      entry(frame.owner, frame.variables, frame.parameters, &ReportProgress, &frame.reserved,
            frame.buffer);
    }
  }
  FreeLibrary(frame.module);
  frame.freed = true;
  return 0;
}

// Installs the filter for the call and puts the previous one back after it
// (also when the library replaced it: the library is gone by then).
class FaultGuard {
 public:
  FaultGuard() {
    faulted.store(false);
    faultCode.store(0);
    faultAddress.store(0);
    landingStack.store(0);
    previousFilter = SetUnhandledExceptionFilter(&FilterCallFaults);
  }
  ~FaultGuard() {
    SetUnhandledExceptionFilter(previousFilter);
    callThreadId.store(0);
  }
  FaultGuard(const FaultGuard&) = delete;
  FaultGuard& operator=(const FaultGuard&) = delete;
};

// The result buffer: fresh pages from the system, zeroed and committed only
// where they are touched, so a claimed length that is large but never
// written costs little, and one that cannot be had is an answer, not a crash.
class ResultBuffer {
 public:
  explicit ResultBuffer(std::size_t size)
      : data_(static_cast<char*>(
            VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
  ~ResultBuffer() {
    if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
  }
  ResultBuffer(const ResultBuffer&) = delete;
  ResultBuffer& operator=(const ResultBuffer&) = delete;
  char* Data() const { return data_; }
  // Left to the library after a fault: one of its threads may still write.
  void Abandon() { data_ = nullptr; }

 private:
  char* data_;
};

std::string Hex(std::uintptr_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

// The image's extent in memory, from its own headers.
bool ModuleHolds(HMODULE module, std::uintptr_t address) {
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return address >= base && address - base < nt->OptionalHeader.SizeOfImage;
}

std::string FaultText(const std::string& name, HMODULE module) {
  const std::uintptr_t address = faultAddress.load();
  std::string text = name + " stopped with exception " + Hex(faultCode.load(), 8) + " at " +
                     Hex(address, static_cast<int>(sizeof(void*) * 2));
  if (module != nullptr && ModuleHolds(module, address)) {
    text += " (" + name + "+" + Hex(address - reinterpret_cast<std::uintptr_t>(module), 1) + ")";
  }
  return text;
}

PluginResult Outcome(PluginResult::Outcome outcome, std::string failure) {
  PluginResult result;
  result.outcome = outcome;
  result.failure = std::move(failure);
  return result;
}

std::mutex callLock;

}  // namespace

PluginResult CallPluginLibrary(const PluginCall& call, const PluginProgress& progress,
                               const std::function<std::string(std::uint32_t)>& errorText) {
  using Result = PluginResult::Outcome;
  const std::lock_guard serial(callLock);
  const std::string name(common::NamePart(call.library));

  const KernelHandle lengthKnown(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const KernelHandle bufferReady(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!lengthKnown || !bufferReady) return Outcome(Result::kFailed, name + ": no event objects");

  CallFrame frame;
  frame.library = call.library.c_str();
  frame.owner = reinterpret_cast<HWND>(call.owner);
  frame.variables = call.variables.c_str();
  frame.parameters = call.parameters.c_str();
  frame.lengthKnown = lengthKnown.Get();
  frame.bufferReady = bufferReady.Get();

  const ProgressRoute route(progress);
  const FaultGuard guard;
  DWORD threadId = 0;
  const KernelHandle thread(
      CreateThread(nullptr, 0, &RunCallThread, &frame, CREATE_SUSPENDED, &threadId));
  if (!thread) return Outcome(Result::kFailed, name + ": no thread for the call");
  callThreadId.store(threadId);
  ResumeThread(thread.Get());

  // The first call ends with the length, or the thread ends by a fault.
  const HANDLE first[] = {lengthKnown.Get(), thread.Get()};
  WaitForMultipleObjects(2, first, FALSE, INFINITE);
  std::unique_ptr<ResultBuffer> buffer;
  std::string failure;
  if (!faulted.load() && frame.hasEntry) {
    if (frame.length == -1) {
      failure = name + " reported a failure";
    } else if (frame.length < 0) {
      failure = name + " answered the invalid result length " + std::to_string(frame.length);
    } else {
      const std::size_t size = static_cast<std::size_t>(frame.length) + 1;
      buffer = std::make_unique<ResultBuffer>(size);
      if (buffer->Data() == nullptr) {
        failure = name + " asked for a result of " + std::to_string(frame.length) +
                  " bytes, which could not be allocated";
      } else {
        frame.buffer = buffer->Data();
      }
    }
  }
  SetEvent(bufferReady.Get());
  WaitForSingleObject(thread.Get(), INFINITE);

  if (faulted.load()) {
    // The library's state is unknown after a fault: it stays loaded (its
    // other threads may still run in it), and so does the buffer it got.
    if (buffer) buffer->Abandon();
    return Outcome(Result::kCrashed, FaultText(name, frame.freed ? nullptr : frame.module));
  }
  if (frame.module == nullptr) {
    std::string reason = errorText(frame.loadError);
    if (reason.empty()) reason = "system error " + std::to_string(frame.loadError);
    return Outcome(Result::kNotLoaded, name + " could not be loaded: " + reason);
  }
  if (!frame.hasEntry) return Outcome(Result::kNotLoaded, name + " has no RunTimeExecute");
  if (!frame.freed) return Outcome(Result::kFailed, name + " ended its calling thread");
  if (frame.buffer == nullptr) return Outcome(Result::kFailed, failure);

  // The text ends at its first zero, and never later than the length asked for.
  char* text = frame.buffer;
  text[frame.length] = '\0';
  PluginResult result;
  try {
    result.text.assign(text, std::strlen(text));
  } catch (const std::bad_alloc&) {
    return Outcome(Result::kFailed, name + "'s result text does not fit in memory");
  }
  result.outcome = Result::kReturned;
  return result;
}

}  // namespace tavrel
