// Only the parts of windows.h this file uses, so that winsock2.h may follow
// it (the full windows.h brings the older winsock.h, which clashes).
#define WIN32_LEAN_AND_MEAN
#include "engine/win32/win32_media_port.h"

#include <windows.h>
// windows.h first: the others build on its types.
#include <objbase.h>
#include <urlmon.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "engine/win32/environment_switch.h"
#include "engine/win32/win32_file.h"
#include "tvl/win32/tvl_api.h"

namespace tavrel {

namespace {

// ---- The URL download service ----

// urlmon.dll, loaded at the first download and kept for the life of the
// program: it leaves wininet.dll with threads of its own running, which
// unloading would pull the code from under.
HMODULE UrlLibrary() {
  static std::once_flag once;
  static HMODULE library = nullptr;
  std::call_once(once, [] { library = LoadLibraryA("urlmon.dll"); });
  return library;
}

// The function of that name in urlmon.dll, with the type of its declaration;
// null when it is not there.
template <typename Function>
Function Lookup(const char* name) {
  const HMODULE library = UrlLibrary();
  FARPROC address = library == nullptr ? nullptr : GetProcAddress(library, name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

std::string ToAnsi(LPCWSTR text) {
  if (text == nullptr || *text == L'\0') return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string ansi(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), size, nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(size - 1));
  return ansi;
}

// COM initialised on this thread for as long as the object lives.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

// No report from the service for this long ends a download, as the engine's
// own client gives up on a server that sends nothing.
constexpr DWORD kServiceIdleMs = 15000;
// How often the watchdog looks, and how long a binding that was told to stop
// may go on before the watchdog aborts it.
constexpr DWORD kWatchdogMs = 500;

// Status codes of the service's reports.
constexpr ULONG kEndDownloadData = 6;  // BINDSTATUS_ENDDOWNLOADDATA

// The download's callback object: hands the service's progress to the sink,
// remembers the HTTP status, and stops the binding when the sink says stop,
// the server answers with an error, or nothing happens for too long. Its
// reference count is only counted: DownloadToCache owns it.
//
// The service calls it on the downloading thread; the watchdog thread reads
// the atomics and aborts the binding through a reference of its own.
class BindCallback final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  enum class Stop { kNone, kCancelled, kErrorStatus, kSinkThrew, kTimedOut, kDetached };

  explicit BindCallback(ServiceProgressSink& sink) : sink_(sink) { Touch(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IBindStatusCallback))) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(iid, __uuidof(IHttpNegotiate))) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override {
    Touch();
    if (binding != nullptr) {
      binding->AddRef();
      const std::lock_guard lock(mutex_);
      if (binding_ != nullptr) binding_->Release();
      binding_ = binding;
    }
    return Answer();
  }
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG maximum, ULONG code,
                                       LPCWSTR text) override {
    Touch();
    if (Stopped()) return E_ABORT;
    if (code == kEndDownloadData) {
      endSeen_ = true;
      endPosition_ = progress;
      endMaximum_ = maximum;
    }
    // The time the sink takes is not the service's silence.
    inSink_ = true;
    try {
      if (!sink_.OnServiceProgress(progress, maximum, code, ToAnsi(text))) {
        RequestStop(Stop::kCancelled);
      }
    } catch (...) {
      // Nothing may unwind through the service's frames: the caller rethrows.
      error_ = std::current_exception();
      RequestStop(Stop::kSinkThrew);
    }
    Touch();
    inSink_ = false;
    return Answer();
  }
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override {
    ReleaseBinding();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    Touch();
    return Answer();
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                 LPWSTR* additionalHeaders) override {
    if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
    return Answer();
  }
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD status, LPCWSTR, LPCWSTR,
                                       LPWSTR* additionalHeaders) override {
    Touch();
    if (additionalHeaders != nullptr) *additionalHeaders = nullptr;
    responseSeen_ = true;
    status_ = status;
    // An error page is no download, whatever the service makes of it.
    if (status >= 400) RequestStop(Stop::kErrorStatus);
    return Answer();
  }

  // The watchdog's look, every kWatchdogMs: a binding that heard nothing for
  // too long is told to stop; one told to stop that still runs after that
  // is aborted.
  void Watch() {
    const DWORD now = GetTickCount();
    if (!inSink_ && now - lastActivity_ >= kServiceIdleMs) RequestStop(Stop::kTimedOut);
    if (!Stopped() || abortSent_ || now - stopSince_ < kWatchdogMs) return;
    IBinding* binding = nullptr;
    {
      const std::lock_guard lock(mutex_);
      binding = binding_;
      if (binding != nullptr) binding->AddRef();
    }
    if (binding == nullptr) return;
    abortSent_ = true;
    binding->Abort();
    binding->Release();
  }

  // After the service returned: nothing more reaches the sink, even if the
  // service kept a reference and calls again.
  void Detach() {
    RequestStop(Stop::kDetached);
    ReleaseBinding();
  }

  ULONG references() const { return references_; }
  Stop stop() const { return stop_; }
  DWORD status() const { return status_; }
  bool responseSeen() const { return responseSeen_; }
  // The position and maximum of the report that the data has all come, when
  // there was one.
  bool endSeen() const { return endSeen_; }
  ULONG endPosition() const { return endPosition_; }
  ULONG endMaximum() const { return endMaximum_; }
  std::exception_ptr error() const { return error_; }

 private:
  bool Stopped() const { return stop_ != Stop::kNone; }
  HRESULT Answer() const { return Stopped() ? E_ABORT : S_OK; }
  void Touch() { lastActivity_ = GetTickCount(); }
  // The first reason to stop is the one that counts.
  void RequestStop(Stop why) {
    if (Stopped()) return;
    stopSince_ = GetTickCount();
    Stop none = Stop::kNone;
    stop_.compare_exchange_strong(none, why);
  }
  void ReleaseBinding() {
    const std::lock_guard lock(mutex_);
    if (binding_ != nullptr) std::exchange(binding_, nullptr)->Release();
  }

  ServiceProgressSink& sink_;
  std::atomic<ULONG> references_ = 1;
  std::mutex mutex_;
  IBinding* binding_ = nullptr;  // under mutex_
  std::atomic<Stop> stop_ = Stop::kNone;
  std::atomic<DWORD> stopSince_ = 0;
  std::atomic<DWORD> lastActivity_ = 0;
  std::atomic<bool> inSink_ = false;
  std::atomic<bool> abortSent_ = false;
  std::atomic<DWORD> status_ = 0;
  std::atomic<bool> responseSeen_ = false;
  bool endSeen_ = false;
  ULONG endPosition_ = 0;
  ULONG endMaximum_ = 0;
  std::exception_ptr error_;
};

// Watches a binding from a thread of its own while the service blocks the
// caller's: the service does not turn the caller's message loop while it
// waits (under Wine at least), so a timer there would never fire.
class Watchdog {
 public:
  explicit Watchdog(BindCallback& callback)
      : thread_([this, &callback] {
          std::unique_lock lock(mutex_);
          while (!wake_.wait_for(lock, std::chrono::milliseconds(kWatchdogMs),
                                 [this] { return over_; })) {
            lock.unlock();
            callback.Watch();
            lock.lock();
          }
        }) {}
  ~Watchdog() {
    {
      const std::lock_guard lock(mutex_);
      over_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool over_ = false;
  std::thread thread_;  // last: starts when the rest is ready
};

// Takes the service's cache entry for the URL away after a download that
// the service called a success and that is not one, so that the next
// attempt fetches the file again instead of being handed the broken copy.
void ForgetCacheEntry(const std::string& url) {
  const HMODULE wininet = GetModuleHandleA("wininet.dll");
  if (wininet == nullptr) return;
  using DeleteEntry = BOOL(WINAPI*)(LPCSTR);
  const auto remove = reinterpret_cast<DeleteEntry>(
      reinterpret_cast<void*>(GetProcAddress(wininet, "DeleteUrlCacheEntryA")));
  if (remove != nullptr) remove(url.c_str());
}

// ---- Connections ----

bool WinsockReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    WSADATA data;
    ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return ready;
}

struct SocketKind {
  static SOCKET None() { return INVALID_SOCKET; }
  static bool IsOpen(SOCKET socket) { return socket != INVALID_SOCKET; }
  static bool Close(SOCKET socket) { return closesocket(socket) == 0; }
};
using Socket = common::HandleOwner<SOCKET, SocketKind>;

// Waits at most timeoutMs for the socket to become readable or writable;
// 1 when it did, 0 on timeout, -1 on an error or a failed connect.
int WaitFor(SOCKET socket, bool write, int timeoutMs) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int result = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &wait);
  if (result == SOCKET_ERROR || FD_ISSET(socket, &failed)) return -1;
  return result == 0 ? 0 : 1;
}

class Win32Connection final : public NetConnection {
 public:
  explicit Win32Connection(Socket socket) : socket_(std::move(socket)) {}

  bool SendAll(std::string_view data, int timeoutMs) override {
    while (!data.empty()) {
      const int size = static_cast<int>(std::min<std::size_t>(data.size(), 1u << 20));
      const int sent = send(socket_.Get(), data.data(), size, 0);
      if (sent > 0) {
        data.remove_prefix(static_cast<std::size_t>(sent));
      } else if (sent == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
                 WaitFor(socket_.Get(), true, timeoutMs) != 1) {
        return false;
      }
    }
    return true;
  }

  int Receive(std::span<char> buffer, int timeoutMs) override {
    const int waited = WaitFor(socket_.Get(), false, timeoutMs);
    if (waited < 0) return kReceiveFailed;
    if (waited == 0) return kReceiveTimedOut;
    const int size = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
    const int got = recv(socket_.Get(), buffer.data(), size, 0);
    if (got >= 0) return got;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kReceiveTimedOut : kReceiveFailed;
  }

 private:
  Socket socket_;
};

// The longest wait of a connect before asking whether it is still wanted.
constexpr DWORD kConnectSliceMs = 500;

// ---- Files ----

class Win32DownloadFile final : public DownloadFile {
 public:
  explicit Win32DownloadFile(Win32File file) : file_(std::move(file)) {}

  bool Write(std::span<const char> data) override {
    while (!data.empty()) {
      const DWORD size = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
      DWORD written = 0;
      if (!WriteFile(file_.Handle(), data.data(), size, &written, nullptr) || written == 0) {
        return false;
      }
      data = data.subspan(written);
    }
    return true;
  }

 private:
  Win32File file_;
};

std::string SearchPattern(const std::string& folder) {
  return common::JoinPath(common::WithoutTrailingBackslash(folder), "*");
}

bool IsDots(const char* name) {
  return std::string_view(name) == "." || std::string_view(name) == "..";
}

// Adds the files below root\relative to found: each subfolder's first,
// then the folder's own. Folders that are reparse points (junctions, links)
// are not entered, so a link to a folder above cannot make the walk endless.
void WalkFolder(const std::string& root, const std::string& relative,
                std::vector<std::string>& found) {
  WIN32_FIND_DATAA entry;
  const common::FindHandle search(FindFirstFileA(SearchPattern(root + relative).c_str(), &entry));
  if (!search) return;
  std::vector<std::string> folders;
  std::vector<std::string> files;
  do {
    if (IsDots(entry.cFileName)) continue;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      files.push_back(relative + entry.cFileName);
    } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      folders.push_back(relative + entry.cFileName + "\\");
    }
  } while (FindNextFileA(search.Get(), &entry));
  for (const std::string& folder : folders) WalkFolder(root, folder, found);
  found.insert(found.end(), files.begin(), files.end());
}

// ---- The archive library ----

// The extraction running on this thread: tvl.dll's callback has no pointer
// of its own, and runs on the thread that called ExtractArchive.
struct ExtractRoute {
  const MediaPort::ExtractProgress* progress = nullptr;
  std::exception_ptr error;
};
thread_local ExtractRoute* currentExtraction = nullptr;

unsigned char __stdcall OnExtractProgress(const char* file, std::uint64_t done,
                                          std::uint64_t total) {
  ExtractRoute* route = currentExtraction;
  if (route == nullptr || route->progress == nullptr || !*route->progress) return 1;
  try {
    return (*route->progress)(file != nullptr ? file : "", done, total) ? 1 : 0;
  } catch (...) {
    // Nothing may unwind through the library: stop it, rethrow after.
    route->error = std::current_exception();
    return 0;
  }
}

}  // namespace

ServiceDownload Win32MediaPort::DownloadToCache(const std::string& url, ServiceProgressSink& sink) {
  using Outcome = ServiceDownload::Outcome;
  const ComScope com;
  const auto toFile = Lookup<decltype(&::URLDownloadToFileA)>("URLDownloadToFileA");
  const auto toCache = Lookup<decltype(&::URLDownloadToCacheFileA)>("URLDownloadToCacheFileA");
  if (EnvironmentSwitchOn("TVL_NO_URL_SERVICE")) {
    return {Outcome::kUnavailable, "", "switched off by TVL_NO_URL_SERVICE"};
  }
  if (UrlLibrary() == nullptr) return {Outcome::kUnavailable, "", "urlmon.dll is not available"};
  if (toFile == nullptr || toCache == nullptr) {
    return {Outcome::kUnavailable, "", "urlmon.dll has no URLDownloadToCacheFileA"};
  }

  // The object stays when the service still holds a reference afterwards:
  // it is left to the service rather than freed under it.
  auto callback = std::make_unique<BindCallback>(sink);
  char file[MAX_PATH] = {};
  HRESULT result = E_FAIL;
  {
    const Watchdog watchdog(*callback);
    result = toCache(nullptr, url.c_str(), file, MAX_PATH, 0,
                     static_cast<IBindStatusCallback*>(callback.get()));
  }
  const BindCallback::Stop stop = callback->stop();
  callback->Detach();
  const BindCallback& done = *callback;
  if (callback->references() != 1) static_cast<void>(callback.release());

  if (done.error()) std::rethrow_exception(done.error());
  if (done.status() >= 400) {
    return {Outcome::kFailed, "", "the server answered " + std::to_string(done.status())};
  }
  if (stop == BindCallback::Stop::kTimedOut) {
    return {
        Outcome::kFailed, "",
        "no word from the download service for " + std::to_string(kServiceIdleMs / 1000) + " s"};
  }
  if (stop == BindCallback::Stop::kCancelled) return {Outcome::kFailed, "", "cancelled"};
  if (FAILED(result) || file[0] == '\0') {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return {Outcome::kFailed, "", std::string("URLDownloadToCacheFileA failed: ") + code};
  }
  // Wine's service calls a connection that closed without any answer, or
  // in the middle of the body, a success; neither is one.
  if (done.responseSeen() && done.status() == 0) {
    ForgetCacheEntry(url);
    return {Outcome::kFailed, "", "the server closed the connection without an answer"};
  }
  if (done.endSeen() && done.endMaximum() != 0 && done.endPosition() != done.endMaximum()) {
    ForgetCacheEntry(url);
    return {Outcome::kFailed, "",
            "the download ended after " + std::to_string(done.endPosition()) + " of " +
                std::to_string(done.endMaximum()) + " bytes"};
  }
  return {Outcome::kSucceeded, file, ""};
}

std::unique_ptr<NetConnection> Win32MediaPort::Connect(const std::string& host, std::uint16_t port,
                                                       int timeoutMs, const StillWanted& wanted) {
  if (!WinsockReady()) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* addresses = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses) != 0) {
    return nullptr;
  }
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(addresses, freeaddrinfo);
  const DWORD start = GetTickCount();
  const DWORD limit = static_cast<DWORD>(std::max(timeoutMs, 0));
  for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
    Socket socket(::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
    if (!socket) continue;
    u_long nonBlocking = 1;
    if (ioctlsocket(socket.Get(), FIONBIO, &nonBlocking) != 0) continue;
    if (connect(socket.Get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) {
      return std::make_unique<Win32Connection>(std::move(socket));
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) continue;
    while (true) {
      if (wanted && !wanted()) return nullptr;
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= limit) return nullptr;
      const int waited =
          WaitFor(socket.Get(), true, static_cast<int>(std::min(kConnectSliceMs, limit - elapsed)));
      if (waited < 0) break;  // refused or unreachable: the next address
      if (waited == 0) continue;
      int error = 0;
      int size = sizeof error;
      if (getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) !=
              0 ||
          error != 0) {
        break;
      }
      return std::make_unique<Win32Connection>(std::move(socket));
    }
  }
  return nullptr;
}

std::int64_t Win32MediaPort::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path.empty() || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return -1;
  }
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                   data.nFileSizeLow);
}

std::unique_ptr<DownloadFile> Win32MediaPort::OpenForWritingAt(const std::string& path,
                                                               std::uint64_t offset) {
  Win32File file(path, GENERIC_WRITE, OPEN_ALWAYS);
  if (!file.IsOpen()) return nullptr;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file.Handle(), position, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(file.Handle())) {
    return nullptr;
  }
  return std::make_unique<Win32DownloadFile>(std::move(file));
}

std::vector<std::string> Win32MediaPort::FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  const common::FindHandle search(FindFirstFileA(SearchPattern(folder).c_str(), &entry));
  if (!search) return names;
  do {
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(entry.cFileName);
  } while (FindNextFileA(search.Get(), &entry));
  return names;
}

std::vector<std::string> Win32MediaPort::FilesBelow(const std::string& folder) {
  std::vector<std::string> found;
  WalkFolder(common::WithTrailingBackslash(folder), "", found);
  return found;
}

bool Win32MediaPort::MoveFileTo(const std::string& from, const std::string& to) {
  if (MoveFileA(from.c_str(), to.c_str())) return true;
  // Without MOVEFILE_REPLACE_EXISTING this still never replaces a file.
  return GetLastError() == ERROR_NOT_SAME_DEVICE &&
         MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED);
}

bool Win32MediaPort::CopyFileTo(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

bool Win32MediaPort::RemoveEmptyFolder(const std::string& folder) {
  return RemoveDirectoryA(common::WithoutTrailingBackslash(folder).c_str()) != 0;
}

bool Win32MediaPort::CreateEmptyFile(const std::string& path) {
  return Win32File(path, GENERIC_WRITE, CREATE_ALWAYS).IsOpen();
}

bool Win32MediaPort::ExtractArchive(const std::string& archive, const std::string& destination,
                                    const ExtractProgress& progress) {
  ExtractRoute route{&progress, nullptr};
  ExtractRoute* const previous = std::exchange(currentExtraction, &route);
  const bool extracted = ::ExtractArchive(archive.c_str(), 0, destination.c_str(), 0, 2, 0, 0, 0,
                                          OnExtractProgress, 0, 0) != 0;
  currentExtraction = previous;
  if (route.error) std::rethrow_exception(route.error);
  return extracted;
}

void Win32MediaPort::Wake(std::intptr_t window) {
  if (window != 0) PostMessageA(reinterpret_cast<HWND>(window), WM_NULL, 0, 0);
}

}  // namespace tavrel
