#include "engine/win32/windows_installer.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <mutex>
#include <stdexcept>

#include "common/win32/handle_owner.h"
#include "engine/core/installer_messages.h"
#include "engine/win32/win32_file.h"

namespace tavrel {

namespace {

// Thrown when msi.dll or one of its functions is not there.
class MissingInstaller : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// msi.dll, loaded once for the life of the program.
HMODULE InstallerLibrary() {
  static std::once_flag once;
  static HMODULE library = nullptr;
  std::call_once(once, [] { library = LoadLibraryA("msi.dll"); });
  if (library == nullptr) throw MissingInstaller("Windows Installer (msi.dll) is not available");
  return library;
}

// The function of that name, with the type of its declaration.
template <typename Function>
Function* Lookup(Function*, const char* name) {
  FARPROC address = GetProcAddress(InstallerLibrary(), name);
  if (address == nullptr) {
    throw MissingInstaller(std::string("Windows Installer (msi.dll) has no function ") + name);
  }
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(address));
}

#define TAVREL_MSI(function) (Lookup(&::function, #function))

// Closes an installer handle.
class MsiHandle {
 public:
  MsiHandle() = default;
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  ~MsiHandle() {
    if (handle_ != 0) TAVREL_MSI(MsiCloseHandle)(handle_);
  }
  MSIHANDLE* Receive() { return &handle_; }
  MSIHANDLE Get() const { return handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

// One statement run to its end; its failure is of no interest.
void Execute(MSIHANDLE database, const std::string& statement) {
  MsiHandle view;
  if (TAVREL_MSI(MsiDatabaseOpenViewA)(database, statement.c_str(), view.Receive()) !=
      ERROR_SUCCESS) {
    return;
  }
  TAVREL_MSI(MsiViewExecute)(view.Get(), 0);
  TAVREL_MSI(MsiViewClose)(view.Get());
}

// The handler Windows Installer calls for each message; the context is the
// engine's sink. Nothing may be thrown back through the installer.
INT WINAPI ExternalUi(LPVOID context, UINT type, LPCSTR message) {
  try {
    return static_cast<InstallerMessageSink*>(context)->OnInstallerMessage(
        type, message != nullptr ? message : "");
  } catch (...) {
    return 0;
  }
}

// The log is small; a file that cannot be read counts as empty.
std::string ReadLog(const std::string& path) {
  const Win32File file(path, GENERIC_READ, OPEN_EXISTING);
  std::string text;
  if (!file.IsOpen()) return text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.Handle(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  return text;
}

void WriteLog(const std::string& path, const std::string& text) {
  const Win32File file(path, GENERIC_WRITE, CREATE_ALWAYS);
  DWORD written = 0;
  if (file.IsOpen()) {
    WriteFile(file.Handle(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

// The installer's own log was seen to replace the header written before it,
// although it was asked to append: what the file began with is put back in
// front when it is gone.
class LogHeaderKeeper {
 public:
  explicit LogHeaderKeeper(const std::string& path) : path_(path) {
    if (!path_.empty()) header_ = ReadLog(path_);
  }
  ~LogHeaderKeeper() {
    if (header_.empty()) return;
    const std::string log = ReadLog(path_);
    if (log.compare(0, header_.size(), header_) != 0) WriteLog(path_, header_ + log);
  }
  LogHeaderKeeper(const LogHeaderKeeper&) = delete;
  LogHeaderKeeper& operator=(const LogHeaderKeeper&) = delete;

 private:
  std::string path_;
  std::string header_;
};

constexpr DWORD kLogMode = 0x7FDF;
constexpr DWORD kLogAppendAndFlush = 3;
constexpr INSTALLUILEVEL kNoUiButSourceResolution = static_cast<INSTALLUILEVEL>(0x102);

}  // namespace

bool WriteDatabaseProperties(const std::string& database,
                             const std::vector<std::pair<std::string, std::string>>& properties) {
  try {
    MsiHandle handle;
    if (TAVREL_MSI(MsiOpenDatabaseA)(database.c_str(), MSIDBOPEN_TRANSACT, handle.Receive()) !=
        ERROR_SUCCESS) {
      return false;
    }
    // Insert, and when the property is there already the insert fails and
    // the update sets it. A value with an apostrophe cannot be written this
    // way: both statements fail and the database keeps its own value.
    for (const auto& [name, value] : properties) {
      Execute(handle.Get(), "INSERT INTO `Property` ( `Property` , `Value` ) VALUES ( '" + name +
                                "' , '" + value + "' )");
      Execute(handle.Get(),
              "UPDATE `Property` SET `Value`='" + value + "' WHERE `Property`='" + name + "'");
    }
    return TAVREL_MSI(MsiDatabaseCommit)(handle.Get()) == ERROR_SUCCESS;
  } catch (const MissingInstaller&) {
    return false;
  }
}

int QueryProductState(const std::string& productCode) {
  try {
    return TAVREL_MSI(MsiQueryProductStateA)(productCode.c_str());
  } catch (const MissingInstaller&) {
    return -1;
  }
}

InstallerSessionResult RunInstallerSession(const InstallerSession& session,
                                           InstallerMessageSink& sink) {
  InstallerSessionResult result;
  try {
    // Every function is there before anything is changed.
    auto* enableLog = TAVREL_MSI(MsiEnableLogA);
    auto* setInternalUi = TAVREL_MSI(MsiSetInternalUI);
    auto* setExternalUi = TAVREL_MSI(MsiSetExternalUIA);
    const LogHeaderKeeper keeper(session.logPath);
    if (!session.logPath.empty()) {
      enableLog(kLogMode, session.logPath.c_str(), kLogAppendAndFlush);
    }
    setInternalUi(kNoUiButSourceResolution, nullptr);
    setExternalUi(ExternalUi, installer_message::kFilter, &sink);
    if (session.install) {
      result.code =
          TAVREL_MSI(MsiInstallProductA)(session.database.c_str(), session.commandLine.c_str());
      result.ran = true;
      return result;
    }
    MsiHandle package;
    const UINT opened = TAVREL_MSI(MsiOpenPackageA)(session.database.c_str(), package.Receive());
    if (opened != ERROR_SUCCESS) {
      result.ran = true;
      result.code = opened;
      return result;
    }
    for (const auto& [name, value] : session.removalProperties) {
      TAVREL_MSI(MsiSetPropertyA)(package.Get(), name.c_str(), value.c_str());
    }
    result.code = TAVREL_MSI(MsiDoActionA)(package.Get(), "INSTALL");
    result.ran = true;
    if (result.code == ERROR_SUCCESS) {
      auto* getMode = TAVREL_MSI(MsiGetMode);
      result.rebootPending = getMode(package.Get(), MSIRUNMODE_REBOOTATEND) != FALSE ||
                             getMode(package.Get(), MSIRUNMODE_REBOOTNOW) != FALSE;
    }
  } catch (const MissingInstaller& missing) {
    result.failure = missing.what();
  }
  return result;
}

}  // namespace tavrel
