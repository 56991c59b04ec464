#include "stub/win32/cabinet_extraction.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/win32/handle_owner.h"
#include "stub/core/stub_rules.h"
#include "stub/win32/file_opening.h"
#include "stub/win32/stub_boxes.h"
#include "stub/win32/stub_dialogs.h"
#include "stub/win32/stub_folders.h"
#include "stub/win32/stub_state.h"

namespace ombrell {

namespace {

constexpr std::string_view kPackageName = "vorta";
constexpr std::string_view kNewCabinet = "$NEWCAB$";
constexpr int kCreateFlag = 0x100;

// A file being written: it is written under a temporary name beside its
// final one and renamed only once it is complete, so that a failed
// extraction never leaves a partial file under the final name.
struct PendingFile {
  HANDLE handle;
  std::string temporary;
  std::string final;
};

struct Extraction {
  const CabinetLibrary* library = nullptr;
  HFDI context = nullptr;
  ERF error{};
  std::vector<HANDLE> packageHandles;  // handles opened for the package file
  std::vector<PendingFile> pending;
  std::string nextCabinet;
  unsigned char overwriteMode = 1;  // 1 ask, 0 overwrite all, 2 overwrite none
  int fileCounter = 0;
};

Extraction& Work() {
  // Made on first use and never destroyed: the process ends while the
  // extraction thread may still hold it.
  static Extraction* const extraction = new Extraction;
  return *extraction;
}

bool IsPackageHandle(INT_PTR handle) {
  for (const HANDLE package : Work().packageHandles) {
    if (reinterpret_cast<INT_PTR>(package) == handle) return true;
  }
  return false;
}

PendingFile* FindPending(INT_PTR handle) {
  for (PendingFile& file : Work().pending) {
    if (reinterpret_cast<INT_PTR>(file.handle) == handle) return &file;
  }
  return nullptr;
}

void ForgetPending(INT_PTR handle) {
  auto& pending = Work().pending;
  for (auto it = pending.begin(); it != pending.end(); ++it) {
    if (reinterpret_cast<INT_PTR>(it->handle) == handle) {
      pending.erase(it);
      return;
    }
  }
}

void* DIAMONDAPI Allocate(ULONG size) {
  return HeapAlloc(GetProcessHeap(), 0, size);
}
void DIAMONDAPI Free(void* memory) {
  HeapFree(GetProcessHeap(), 0, memory);
}

HANDLE OpenPlain(const char* name, int flags) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if ((flags & kCreateFlag) != 0) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, &inheritable, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

INT_PTR DIAMONDAPI Open(char* name, int flags, int) {
  const bool package = name == kPackageName;
  common::KernelHandle file(OpenPlain(package ? Stub().packagePath.c_str() : name, flags));
  if (!file) return -1;
  if (package) {
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(Stub().info.CabinetOffset());
    LARGE_INTEGER reached{};
    if (!SetFilePointerEx(file.Get(), offset, &reached, FILE_BEGIN) ||
        reached.QuadPart != offset.QuadPart) {
      file.Reset();
      FatalError(Stub().info.Message(14), 1);
    }
    Work().packageHandles.push_back(file.Get());
  }
  // From here the library owns the handle and gives it back to Close.
  return reinterpret_cast<INT_PTR>(file.Release());
}

LONG DIAMONDAPI Seek(INT_PTR handle, LONG distance, int origin) {
  const bool package = IsPackageHandle(handle);
  const auto base = static_cast<LONGLONG>(Stub().info.CabinetOffset());
  LARGE_INTEGER move;
  move.QuadPart = distance;
  if (package && origin == FILE_BEGIN) move.QuadPart += base;
  LARGE_INTEGER reached{};
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle), move, &reached,
                        static_cast<DWORD>(origin))) {
    return -1;
  }
  return static_cast<LONG>(package ? reached.QuadPart - base : reached.QuadPart);
}

UINT DIAMONDAPI Read(INT_PTR handle, void* buffer, UINT count) {
  const std::string& key = Stub().key;
  LONG position = 0;
  if (!key.empty()) position = Seek(handle, 0, FILE_CURRENT);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle), buffer, count, &got, nullptr)) {
    return static_cast<UINT>(-1);
  }
  if (!key.empty() && position >= 0) {
    Scramble({static_cast<char*>(buffer), got}, key, static_cast<std::uint64_t>(position));
  }
  return got;
}

UINT DIAMONDAPI Write(INT_PTR handle, void* buffer, UINT count) {
  DWORD written = 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(handle), buffer, count, &written, nullptr)) {
    return static_cast<UINT>(-1);
  }
  return written;
}

int DIAMONDAPI Close(INT_PTR handle) {
  auto& packages = Work().packageHandles;
  for (auto it = packages.begin(); it != packages.end(); ++it) {
    if (reinterpret_cast<INT_PTR>(*it) == handle) {
      packages.erase(it);
      break;
    }
  }
  const bool closed = common::KernelHandle(reinterpret_cast<HANDLE>(handle)).Close();
  // Closed without its completion notice: the extraction of this file
  // failed, and what was written of it goes.
  if (PendingFile* file = FindPending(handle)) {
    DeleteFileA(file->temporary.c_str());
    ForgetPending(handle);
  }
  return closed ? 0 : -1;
}

void UpdateProgress(const std::string& file) {
  const HWND window = Stub().window;
  if (window == nullptr) return;
  SetProgressPosition(window, Work().fileCounter);
  SetProgressStatus(window, file);
}

// A file that is not written counts as done all the same.
INT_PTR SkipFile(const std::string& file) {
  ++Work().fileCounter;
  UpdateProgress(file);
  return 0;
}

std::string ParentOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

INT_PTR CopyFileNotice(const char* storedName) {
  std::string name = storedName;
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  const SessionInfo& info = Stub().info;
  const std::string file = Stub().targetFolder + name;
  if (Work().nextCabinet == kNewCabinet) Work().nextCabinet.clear();

  // A name that would land outside the target folder is never written.
  while (!IsSafeEntryName(name)) {
    if (AskRetry(info.Message(30) + "\r" + file) == RetryAnswer::kIgnore) return SkipFile(file);
  }
  const std::string folder = ParentOf(file);
  while (!CreateFolderTree(folder)) {
    if (AskRetry(info.Message(28) + "\r" + folder) == RetryAnswer::kIgnore) return SkipFile(file);
  }
  if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    bool overwrite = false;
    if (Stub().silent || Work().overwriteMode == 2) {
      overwrite = false;
    } else if (Work().overwriteMode == 0) {
      overwrite = true;
    } else {
      overwrite = AskOverwrite(info, Stub().window, file, Work().overwriteMode);
    }
    if (!overwrite) return SkipFile(file);
    for (;;) {
      SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (DeleteFileA(file.c_str())) break;
      if (AskRetry(info.Message(29) + "\r" + file) == RetryAnswer::kIgnore) return SkipFile(file);
    }
  }
  const std::string temporary = file + ".qorv~";
  for (;;) {
    const HANDLE handle = OpenPlain(temporary.c_str(), kCreateFlag);
    if (handle != INVALID_HANDLE_VALUE) {
      Work().pending.push_back({handle, temporary, file});
      return reinterpret_cast<INT_PTR>(handle);
    }
    if (AskRetry(info.Message(30) + "\r" + file) == RetryAnswer::kIgnore) return SkipFile(file);
  }
}

INT_PTR CloseFileNotice(FDINOTIFICATION* notice) {
  const INT_PTR handle = notice->hf;
  PendingFile* file = FindPending(handle);
  if (file == nullptr) return FALSE;
  const PendingFile done = *file;
  ForgetPending(handle);
  // Cabinets store local times; the file system keeps UTC.
  FILETIME local;
  FILETIME time;
  if (DosDateTimeToFileTime(notice->date, notice->time, &local) &&
      LocalFileTimeToFileTime(&local, &time)) {
    SetFileTime(done.handle, nullptr, nullptr, &time);
  }
  // A failed close may have lost the file's last writes: it must not take
  // the final name then.
  if (!common::KernelHandle(done.handle).Close() ||
      !MoveFileA(done.temporary.c_str(), done.final.c_str())) {
    DeleteFileA(done.temporary.c_str());
    return FALSE;
  }
  constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  const DWORD attributes = notice->attribs & kStoredAttributes;
  SetFileAttributesA(done.final.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
  ++Work().fileCounter;
  UpdateProgress(done.final);
  return TRUE;
}

bool CheckCabinet(const std::string& path, FDICABINETINFO& cabinet) {
  std::string name = path;
  const INT_PTR handle = Open(name.data(), 0, 0);
  if (handle == -1) return false;
  const BOOL ok = Work().library->isCabinet(Work().context, handle, &cabinet);
  Close(handle);
  return ok != FALSE;
}

INT_PTR NextCabinetNotice(FDINOTIFICATION* notice) {
  const std::string cabinetName = notice->psz1 != nullptr ? notice->psz1 : "";
  const std::string disk = notice->psz2 != nullptr ? notice->psz2 : "";
  const std::string path = Stub().packageFolder + cabinetName;
  while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (Stub().silent) ExitProcess(1);
    if (AskQuestion(MissingCabinetText(Stub().info, disk, cabinetName), Stub().window)) {
      EndAfterQuestion(2);
    }
  }
  Work().nextCabinet = path;
  FDICABINETINFO cabinet{};
  if (!CheckCabinet(path, cabinet)) FatalError(DamagedMessage(Stub().info), 1);
  // The library builds the next cabinet's path from this buffer (256 bytes).
  const std::string& folder = Stub().packageFolder;
  if (folder.size() >= 256) FatalError(DamagedMessage(Stub().info), 1);
  std::memcpy(notice->psz3, folder.c_str(), folder.size() + 1);
  return 0;
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, FDINOTIFICATION* notice) {
  switch (type) {
    case fdintCOPY_FILE:
      return CopyFileNotice(notice->psz1 != nullptr ? notice->psz1 : "");
    case fdintCLOSE_FILE_INFO:
      return CloseFileNotice(notice);
    case fdintNEXT_CABINET:
      return NextCabinetNotice(notice);
    default:
      return 0;
  }
}

bool CopyCabinet(const std::string& name, const std::string& folder) {
  std::string cabinet = name;
  std::string path = folder;
  return Work().library->copy(Work().context, cabinet.data(), path.data(), 0, Notify, nullptr,
                              nullptr) != FALSE;
}

void SetRange(int files) {
  if (Stub().window != nullptr) SetProgressRange(Stub().window, files);
}

void SetStatus(int message) {
  if (Stub().window != nullptr) SetProgressStatus(Stub().window, Stub().info.Message(message));
}

// The first cabinet, then every cabinet the set still names.
bool CopyCabinetSet() {
  bool ok = CopyCabinet(std::string(kPackageName), "");
  Extraction& work = Work();
  while (ok && !work.nextCabinet.empty()) {
    FDICABINETINFO cabinet{};
    if (!CheckCabinet(work.nextCabinet, cabinet)) FatalError(DamagedMessage(Stub().info), 1);
    SetRange(cabinet.cFiles);
    work.fileCounter = 0;
    const std::string path = work.nextCabinet;
    work.nextCabinet = kNewCabinet;
    const std::size_t cut = path.find_last_of('\\');
    ok = CopyCabinet(path.substr(cut + 1), path.substr(0, cut + 1));
    if (work.nextCabinet == kNewCabinet) work.nextCabinet.clear();
  }
  return ok;
}

DWORD WINAPI ExtractionThread(void* data) {
  ExtractPackage(*static_cast<const CabinetLibrary*>(data));
}

}  // namespace

void ExtractPackage(const CabinetLibrary& library) {
  StubState& stub = Stub();
  const SessionInfo& info = stub.info;
  Extraction& work = Work();
  work.library = &library;
  if (stub.window != nullptr) SetProgressName(stub.window, info.packageName);
  SetStatus(1);

  work.context =
      library.create(Allocate, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &work.error);
  if (work.context == nullptr) FatalError("Unable to prepare for decompression!", 1);

  SetStatus(2);
  FDICABINETINFO cabinet{};
  if (!CheckCabinet(std::string(kPackageName), cabinet)) FatalError(DamagedMessage(info), 2);
  SetRange(cabinet.cFiles);

  SetStatus(3);
  if (!CopyCabinetSet()) FatalError(CabinetErrorText(info, work.error.erfOper), 1);

  if (stub.window != nullptr) SetProgressPosition(stub.window, 100);
  if (stub.install) {
    SetStatus(4);
    if (stub.window != nullptr) ShowWindow(stub.window, SW_HIDE);
  } else {
    SetStatus(5);
  }
  library.destroy(work.context);

  const OpenTarget target =
      ResolveFileToOpen(info.fileToOpen, info.parameters, stub.targetFolder, stub.windowsFolder);
  if (!target.file.empty())
    RunFile(target.file, target.parameters, stub.install, stub.windowsFolder);

  if (stub.install) {
    if (stub.window != nullptr) ShowWindow(stub.window, SW_SHOW);
    SetStatus(6);
    DeleteFolderTree(stub.targetFolder);
  }
  if (!info.endMessage.empty() && !stub.silent) ShowInformation(info.endMessage);
  ExitProcess(0);
}

HANDLE StartExtractionThread(HWND window, void* data) {
  Stub().window = window;
  DWORD id = 0;
  return CreateThread(nullptr, 0, ExtractionThread, data, 0, &id);
}

}  // namespace ombrell
