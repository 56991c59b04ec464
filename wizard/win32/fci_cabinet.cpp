#include "wizard/win32/fci_cabinet.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>

#include "common/win32/handle_owner.h"

namespace ombrwiz {
namespace {

// The cabinet library reports into one error record per process; only one
// cabinet is built at a time.
ERF g_error{};
// The file whose data the library is reading, until it closes it.
INT_PTR g_source = -1;

constexpr DWORD kStoredAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

CabinetRunContext* RunOf(void* pv) {
  return static_cast<CabinetRunContext*>(pv);
}

void CopyName(char* target, std::size_t capacity, const std::string& name) {
  const std::size_t length = std::min(name.size(), capacity - 1);
  std::memcpy(target, name.data(), length);
  target[length] = '\0';
}

CabinetParameters ParametersOf(const CCAB& cabinet) {
  CabinetParameters parameters;
  parameters.maxCabinetSize = cabinet.cb;
  parameters.folderThreshold = cabinet.cbFolderThresh;
  parameters.headerReserve = cabinet.cbReserveCFHeader;
  parameters.setId = cabinet.setID;
  parameters.cabinetNumber = cabinet.iCab;
  parameters.diskNumber = cabinet.iDisk;
  parameters.diskName = cabinet.szDisk;
  parameters.cabinetName = cabinet.szCab;
  parameters.cabinetPath = cabinet.szCabPath;
  return parameters;
}

// The library starts and ends its compressor for every 32 KB block and asks
// for the same few large buffers each time. Handed back to the heap, such
// buffers go back to the system, and every block would pay again for fresh
// pages (about 2 ms a block under Wine, most of a build's time beyond the
// compression itself). Freed buffers are therefore kept for the next block
// while a cabinet is built.
class BlockCache {
 public:
  void* Take(std::size_t size) {
    {
      const std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < count_; ++i) {
        Header* block = kept_[i];
        if (block->size == size) {
          kept_[i] = kept_[--count_];
          return block + 1;
        }
      }
    }
    auto* block = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (block == nullptr) return nullptr;
    block->size = size;
    return block + 1;
  }

  void Give(void* memory) {
    if (memory == nullptr) return;
    Header* block = static_cast<Header*>(memory) - 1;
    {
      const std::lock_guard lock(mutex_);
      if (count_ < kept_.size()) {
        kept_[count_++] = block;
        return;
      }
    }
    std::free(block);
  }

  void Clear() {
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < count_; ++i) std::free(kept_[i]);
    count_ = 0;
  }

 private:
  // Keeps the memory after it aligned as the heap aligns its blocks.
  struct alignas(16) Header {
    std::size_t size;
  };
  std::mutex mutex_;
  std::array<Header*, 16> kept_{};
  std::size_t count_ = 0;
};

BlockCache g_blocks;

FNFCIALLOC(Allocate) {
  return g_blocks.Take(cb);
}
FNFCIFREE(Release) {
  g_blocks.Give(memory);
}

FNFCIOPEN(OpenFile) {
  (void)pmode;
  (void)pv;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE handle;
  if (oflag & _O_CREAT) {
    handle = CreateFileA(pszFile, GENERIC_READ | GENERIC_WRITE, 0, &inherit, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  } else {
    handle = CreateFileA(pszFile, GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  return reinterpret_cast<INT_PTR>(handle);
}

FNFCIREAD(ReadFileBlock) {
  (void)pv;
  DWORD done = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(hf), memory, cb, &done, nullptr)) {
    *err = static_cast<int>(GetLastError());
    return static_cast<UINT>(-1);
  }
  return done;
}

FNFCIWRITE(WriteFileBlock) {
  (void)pv;
  DWORD done = 0;
  if (!WriteFile(reinterpret_cast<HANDLE>(hf), memory, cb, &done, nullptr) || done != cb) {
    *err = static_cast<int>(GetLastError());
    return static_cast<UINT>(-1);
  }
  return done;
}

FNFCICLOSE(CloseFile) {
  (void)pv;
  if (hf == g_source) g_source = -1;
  if (!common::KernelHandle(reinterpret_cast<HANDLE>(hf)).Close()) {
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  return 0;
}

FNFCISEEK(SeekFile) {
  (void)pv;
  const DWORD position =
      SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, static_cast<DWORD>(seektype));
  if (position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  return static_cast<long>(position);
}

FNFCIDELETE(DeleteNamedFile) {
  (void)pv;
  if (!DeleteFileA(pszFile)) {
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  return 0;
}

FNFCIGETTEMPFILE(TemporaryName) {
  (void)pv;
  char folder[MAX_PATH];
  char name[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return FALSE;
  if (GetTempFileNameA(folder, "mFw", 0, name) == 0) return FALSE;
  // Only the name is wanted; the library creates the file itself.
  DeleteFileA(name);
  if (std::strlen(name) >= static_cast<std::size_t>(cbTempName)) return FALSE;
  std::strcpy(pszTempName, name);
  return TRUE;
}

FNFCIFILEPLACED(FilePlaced) {
  (void)pccab;
  (void)pszFile;
  (void)cbFile;
  (void)fContinuation;
  (void)pv;
  return 0;
}

// A file to be stored, opened for reading its data once from start to end.
HANDLE OpenSource(const char* path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

FNFCIGETOPENINFO(OpenInfo) {
  common::KernelHandle file(OpenSource(pszName));
  if (!file) {
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  FILETIME local{};
  if (!GetFileInformationByHandle(file.Get(), &information) ||
      !FileTimeToLocalFileTime(&information.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, pdate, ptime)) {
    *err = static_cast<int>(GetLastError());
    return -1;
  }
  const DWORD attributes = GetFileAttributesA(pszName);
  *pattribs = attributes == INVALID_FILE_ATTRIBUTES
                  ? 0
                  : static_cast<USHORT>(attributes & kStoredAttributes);
  const std::uint64_t size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  try {
    RunOf(pv)->FileOpened(pszName, size);
  } catch (const std::exception&) {
    return -1;
  }
  // From here the library owns the handle and gives it back to CloseFile.
  g_source = reinterpret_cast<INT_PTR>(file.Release());
  return g_source;
}

FNFCISTATUS(Status) {
  if (typeStatus == statusFile) {
    try {
      return RunOf(pv)->BlockCompressed(cb2) ? 0 : -1;
    } catch (const std::exception&) {
      return -1;
    }
  }
  // The size the library proposes for a finished cabinet is taken as it is.
  if (typeStatus == statusCabinet) return static_cast<__LONG32>(cb2);
  return 0;
}

FNFCIGETNEXTCABINET(NextCabinet) {
  (void)cbPrevCab;
  try {
    CabinetParameters parameters = ParametersOf(*pccab);
    const bool go_on = RunOf(pv)->NextCabinet(parameters);
    CopyName(pccab->szCab, sizeof(pccab->szCab), parameters.cabinetName);
    CopyName(pccab->szDisk, sizeof(pccab->szDisk), parameters.diskName);
    pccab->iDisk = parameters.diskNumber;
    return go_on ? TRUE : FALSE;
  } catch (const std::exception&) {
    return FALSE;
  }
}

// Wine's cabinet library writes only MSZIP: it stores data it was asked to
// compress otherwise, and it gives every such file a folder of its own, which
// it then cannot write for an empty file. There MSZIP is asked for instead.
bool CabinetLibraryCompressesOnlyMsZip() {
  static const bool wine =
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

template <typename Visit>
void ForEachFound(const std::string& pattern, Visit visit) {
  WIN32_FIND_DATAA found{};
  const common::FindHandle search(FindFirstFileA(pattern.c_str(), &found));
  if (!search) return;
  do {
    visit(found);
  } while (FindNextFileA(search.Get(), &found));
}

}  // namespace

FciCabinetPlatform::~FciCabinetPlatform() {
  DestroyContext();
}

bool FciCabinetPlatform::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> FciCabinetPlatform::Files(const std::string& folder,
                                                   const std::string& mask) {
  std::vector<std::string> names;
  ForEachFound(folder + mask, [&](const WIN32_FIND_DATAA& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  });
  return names;
}

std::vector<std::string> FciCabinetPlatform::Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  ForEachFound(folder + "*.*", [&](const WIN32_FIND_DATAA& found) {
    const std::string_view name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
      names.emplace_back(name);
    }
  });
  return names;
}

bool FciCabinetPlatform::CreateContext(const CabinetParameters& parameters,
                                       CabinetRunContext& context) {
  DestroyContext();
  g_error = ERF{};
  cabinet_ = CCAB{};
  cabinet_.cb = parameters.maxCabinetSize;
  cabinet_.cbFolderThresh = parameters.folderThreshold;
  cabinet_.cbReserveCFHeader = parameters.headerReserve;
  cabinet_.cbReserveCFFolder = 0;
  cabinet_.cbReserveCFData = 0;
  cabinet_.iCab = parameters.cabinetNumber;
  cabinet_.iDisk = parameters.diskNumber;
  cabinet_.fFailOnIncompressible = FALSE;
  cabinet_.setID = parameters.setId;
  CopyName(cabinet_.szDisk, sizeof(cabinet_.szDisk), parameters.diskName);
  CopyName(cabinet_.szCab, sizeof(cabinet_.szCab), parameters.cabinetName);
  CopyName(cabinet_.szCabPath, sizeof(cabinet_.szCabPath), parameters.cabinetPath);
  if (parameters.cabinetPath.size() >= sizeof(cabinet_.szCabPath) ||
      parameters.cabinetName.size() >= sizeof(cabinet_.szCab)) {
    g_error = ERF{FCIERR_CAB_FILE, ERROR_FILENAME_EXCED_RANGE, TRUE};
    return false;
  }
  run_ = &context;
  context_ =
      FCICreate(&g_error, FilePlaced, Allocate, Release, OpenFile, ReadFileBlock, WriteFileBlock,
                CloseFile, SeekFile, DeleteNamedFile, TemporaryName, &cabinet_, run_);
  return context_ != nullptr;
}

bool FciCabinetPlatform::AddFile(const std::string& sourcePath, const std::string& nameInCabinet,
                                 std::uint16_t compression) {
  if (!context_) return false;
  // A file that cannot be opened is refused before the library sees it: Wine's
  // library keeps counting such a file's directory entry, and the cabinet's
  // flush then fails although the file was skipped.
  if (!common::KernelHandle(OpenSource(sourcePath.c_str()))) {
    g_error = ERF{FCIERR_OPEN_SRC, static_cast<int>(GetLastError()), TRUE};
    return false;
  }
  std::string source = sourcePath;
  std::string name = nameInCabinet;
  if (CabinetLibraryCompressesOnlyMsZip() && (compression & 0x0F) > tcompTYPE_MSZIP) {
    compression = tcompTYPE_MSZIP;
  }
  g_source = -1;
  const bool added = FCIAddFile(context_, source.data(), name.data(), FALSE, NextCabinet, Status,
                                OpenInfo, compression) != FALSE;
  // Wine's library leaves the file open when it stops in the middle of it (a
  // user abort or a read error); it would stay locked until the program ends.
  if (g_source != -1) {
    common::KernelHandle(reinterpret_cast<HANDLE>(g_source)).Close();
    g_source = -1;
  }
  return added;
}

bool FciCabinetPlatform::FlushCabinet() {
  if (!context_) return false;
  return FCIFlushCabinet(context_, FALSE, NextCabinet, Status) != FALSE;
}

void FciCabinetPlatform::DestroyContext() {
  if (context_) FCIDestroy(context_);
  g_blocks.Clear();
  context_ = nullptr;
  run_ = nullptr;
}

FciError FciCabinetPlatform::LastError() {
  return FciError{g_error.erfOper, g_error.erfType, g_error.fError != FALSE};
}

}  // namespace ombrwiz
