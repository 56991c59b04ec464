#include "engine/win32/windows_installer.h"

#include <windows.h>
// The installer's headers need windows.h first.
#include <msi.h>
#include <msiquery.h>

#include <algorithm>
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

// The function of that name, with the type of its declaration. Only the declaration's type is
// used: naming the function itself would tie the program to msi.dll's import library.
template <typename Function>
Function* Lookup(const char* name) {
  FARPROC address = GetProcAddress(InstallerLibrary(), name);
  if (address == nullptr) {
    throw MissingInstaller(std::string("Windows Installer (msi.dll) has no function ") + name);
  }
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(address));
}

#define TAVREL_MSI(function) (Lookup<decltype(::function)>(#function))

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

// The installer's own log goes to a file of its own and is appended to the
// engine's log when the session ends: asked to append to the file that holds
// the engine's header, Wine's installer writes over the header instead.
class InstallerLog {
 public:
  explicit InstallerLog(const std::string& path) : path_(path) {
    if (path_.empty()) return;
    char folder[MAX_PATH + 1] = {};
    char file[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "tvl", 0, file) == 0) {
      side_ = path_;  // then the installer appends as it can
      return;
    }
    side_ = file;
  }
  ~InstallerLog() {
    if (!side_.empty() && side_ != path_) DeleteFileA(side_.c_str());
  }
  InstallerLog(const InstallerLog&) = delete;
  InstallerLog& operator=(const InstallerLog&) = delete;

  const std::string& InstallerPath() const { return side_; }

  // Ends the installer's logging and puts what it wrote behind the header.
  void Finish(decltype(&::MsiEnableLogA) enableLog) {
    if (path_.empty() || side_ == path_) return;
    enableLog(0, nullptr, 0);
    {
      const Win32File from(side_, GENERIC_READ, OPEN_EXISTING);
      const Win32File to(path_, FILE_APPEND_DATA, OPEN_ALWAYS);
      char buffer[65536];
      DWORD got = 0;
      while (from.IsOpen() && to.IsOpen() &&
             ReadFile(from.Handle(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        DWORD written = 0;
        if (!WriteFile(to.Handle(), buffer, got, &written, nullptr)) break;
      }
    }
    DeleteFileA(side_.c_str());
    side_ = path_;
  }

 private:
  std::string path_;
  std::string side_;
};

constexpr DWORD kLogMode = 0x7FDF;
constexpr DWORD kLogAppendAndFlush = 3;
constexpr INSTALLUILEVEL kNoUiButSourceResolution = static_cast<INSTALLUILEVEL>(0x102);

// The product goes through its package: the removal properties, then the
// INSTALL action.
void Remove(const InstallerSession& session, InstallerSessionResult& result) {
  MsiHandle package;
  const UINT opened = TAVREL_MSI(MsiOpenPackageA)(session.database.c_str(), package.Receive());
  result.ran = true;
  if (opened != ERROR_SUCCESS) {
    result.code = opened;
    return;
  }
  for (const auto& [name, value] : session.removalProperties) {
    TAVREL_MSI(MsiSetPropertyA)(package.Get(), name.c_str(), value.c_str());
  }
  result.code = TAVREL_MSI(MsiDoActionA)(package.Get(), "INSTALL");
  if (result.code == ERROR_SUCCESS) {
    auto* getMode = TAVREL_MSI(MsiGetMode);
    result.rebootPending = getMode(package.Get(), MSIRUNMODE_REBOOTATEND) != FALSE ||
                           getMode(package.Get(), MSIRUNMODE_REBOOTNOW) != FALSE;
  }
}

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

std::string QueryProductPackageCode(const std::string& productCode) {
  try {
    char code[260] = {};
    DWORD length = sizeof code;
    if (TAVREL_MSI(MsiGetProductInfoA)(productCode.c_str(), "PackageCode", code, &length) !=
        ERROR_SUCCESS) {
      return "";
    }
    return std::string(code, std::min<std::size_t>(length, sizeof code - 1));
  } catch (const MissingInstaller&) {
    return "";
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
    InstallerLog log(session.logPath);
    if (!session.logPath.empty()) {
      enableLog(kLogMode, log.InstallerPath().c_str(), kLogAppendAndFlush);
    }
    setInternalUi(kNoUiButSourceResolution, nullptr);
    setExternalUi(ExternalUi, installer_message::kFilter, &sink);
    if (session.install) {
      result.code =
          TAVREL_MSI(MsiInstallProductA)(session.database.c_str(), session.commandLine.c_str());
      result.ran = true;
    } else {
      Remove(session, result);
    }
    log.Finish(enableLog);
  } catch (const MissingInstaller& missing) {
    result.failure = missing.what();
  }
  return result;
}

}  // namespace tavrel
