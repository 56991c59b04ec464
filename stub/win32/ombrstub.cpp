// Program entry of the package stub: reads the session information from
// its own file, makes sure the cabinet library is there, asks what the
// package asks, resolves the target folder and extracts the package.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "common/paths.h"
#include "common/win32/handle_owner.h"
#include "stub/core/package_format.h"
#include "stub/core/stub_rules.h"
#include "stub/win32/cabinet_extraction.h"
#include "stub/win32/cabinet_library.h"
#include "stub/win32/stub_boxes.h"
#include "stub/win32/stub_dialogs.h"
#include "stub/win32/stub_folders.h"
#include "stub/win32/stub_state.h"

namespace ombrell {

StubState& Stub() {
  // Never destroyed, for the same reason as the extraction's state; a
  // heap object also keeps its initial image out of the program file.
  static StubState* const state = new StubState;
  return *state;
}

namespace {

// Shown before any message of the package is known.
constexpr const char* kNotAPackage =
    "This is not a workable program, there is no utility in running it apart from seeing this "
    "notice.";

std::string FolderFrom(DWORD (*WINAPI query)(DWORD, LPSTR)) {
  char buffer[1024] = {};
  const DWORD length = query(sizeof buffer, buffer);
  return common::WithTrailingBackslash(std::string(buffer, length < sizeof buffer ? length : 0));
}

std::string FolderFrom(UINT (*WINAPI query)(LPSTR, UINT)) {
  char buffer[1024] = {};
  const UINT length = query(buffer, sizeof buffer);
  return common::WithTrailingBackslash(std::string(buffer, length < sizeof buffer ? length : 0));
}

// Up to `limit` bytes of a file from `offset`.
std::string ReadPart(const std::string& path, std::uint64_t offset, std::size_t limit) {
  std::string bytes;
  const common::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return bytes;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN)) {
    bytes.resize(limit);
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(limit), &got, nullptr)) got = 0;
    bytes.resize(got);
  }
  return bytes;
}

std::vector<std::string> Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) {
    const int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(size > 0 ? static_cast<std::size_t>(size) : 1u, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide[i], -1, argument.data(), size, nullptr, nullptr);
    argument.resize(argument.size() - 1);
    arguments.push_back(argument);
  }
  LocalFree(wide);
  return arguments;
}

void ReadSession() {
  StubState& stub = Stub();
  const std::string head = ReadPart(stub.packagePath, 0, kMarkerScanLength);
  const auto sessionStart = FindMarker(head);
  if (!sessionStart) FatalError(kNotAPackage, 1);
  const std::string block = ReadPart(stub.packagePath, *sessionStart, kSessionReadLimit);
  stub.info = ReadSessionInformation(block);
  stub.silent = stub.info.silent;
  const StubArguments arguments = ParseStubArguments(Arguments());
  if (arguments.silent) stub.silent = true;
  stub.info.parameters += arguments.extraParameters;

  BoxSettings& boxes = Boxes();
  boxes.info = &stub.info;
  boxes.caption = Caption(stub.info);
  boxes.silent = stub.silent;
  boxes.targetFolder = stub.info.targetFolder;
}

std::string ResolveTarget() {
  StubState& stub = Stub();
  const std::string& code = stub.info.targetFolder;
  std::string folder;
  if (code == "$EXE$") {
    folder = stub.packageFolder;
  } else if (code == "$TEMP$") {
    folder = stub.tempFolder;
  } else if (code == "$SYSTEM$") {
    folder = stub.systemFolder;
  } else if (code == "$WINDOWS$") {
    folder = stub.windowsFolder;
  } else if (code == "$INSTALL$") {
    stub.install = true;
    folder = MakeInstallFolder(stub.tempFolder, stub.info.RequiredBytes());
    if (folder.empty()) FatalError(stub.info.Message(10), 1);
  } else {
    folder = code;
  }
  if (folder.empty()) {
    if (stub.silent) {
      folder = stub.packageFolder;
    } else {
      folder = AskFolder(stub.info, stub.packageFolder);
      if (folder.empty()) ExitProcess(1);
    }
  }
  return common::WithTrailingBackslash(folder);
}

}  // namespace

int Run() {
  StubState& stub = Stub();
  char own[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  stub.packagePath.assign(own, length);
  stub.packageFolder = stub.packagePath.substr(0, stub.packagePath.find_last_of('\\') + 1);
  stub.tempFolder = FolderFrom(GetTempPathA);
  stub.systemFolder = FolderFrom(GetSystemDirectoryA);
  stub.windowsFolder = FolderFrom(GetWindowsDirectoryA);

  ReadSession();
  const SessionInfo& info = stub.info;

  CabinetLibrary library;
  if (!LoadCabinetLibrary(stub.packagePath, stub.systemFolder, info.stubLength, info.libraryLength,
                          library)) {
    FatalError(info.Message(56), 1);
  }

  if (!info.startQuestion.empty() && !stub.silent) {
    if (MessageBoxA(nullptr, info.startQuestion.c_str(), Boxes().caption.c_str(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES) {
      EndAfterQuestion(2);
    }
  }
  if (info.password) {
    if (stub.silent) return 1;
    stub.key = PackageKey(AskPassword(info));
  }
  if (!info.licence.empty() && !stub.silent && !ShowLicence(info)) return 2;

  stub.targetFolder = ResolveTarget();
  Boxes().targetFolder = stub.targetFolder;
  if (FreeBytesOf(stub.targetFolder) < info.RequiredBytes()) {
    FatalError(SpaceErrorText(info, info.RequiredBytes()), 1);
  }

  if (stub.silent) ExtractPackage(library);
  RunProgressWindow(info, StartExtractionThread, &library);
  // Cancelled from the progress window: the extraction thread may still be
  // running, so the process ends here without any clean-up of its own.
  ExitProcess(0);
}

}  // namespace ombrell

// The program starts here, without the C runtime's start-up code: the stub
// has no global constructors, no destructors to run at exit and no use for
// a parsed command line, and leaving that code out keeps every package
// smaller. The C runtime library itself (msvcrt.dll) initialises on load.
extern "C" __attribute__((force_align_arg_pointer)) void WINAPI StubEntry() {
  ExitProcess(static_cast<UINT>(ombrell::Run()));
}
