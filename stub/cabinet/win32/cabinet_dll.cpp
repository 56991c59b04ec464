// The decompression functions of the compact cabinet library: FDICreate,
// FDIIsCabinet, FDICopy and FDIDestroy, with the caller's memory and file
// callbacks, notifications and error record. The decoding itself is the
// portable cabinet core; this file only adapts it to the calling interface.
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <fdi.h>
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "stub/cabinet/core/cabinet_format.h"
#include "stub/cabinet/core/folder_decoder.h"

namespace {

struct Context {
  PFNALLOC alloc;
  PFNFREE free;
  PFNOPEN open;
  PFNREAD read;
  PFNWRITE write;
  PFNCLOSE close;
  PFNSEEK seek;
  PERF error;
};

// A cabinet file read through the caller's callbacks.
class CallbackSource final : public cab::ByteSource {
 public:
  CallbackSource(const Context& context, INT_PTR handle) : context_(context), handle_(handle) {}
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    // Blocks are read one after the other: the file is only moved when a read does not start
    // where the last one ended (each call is a system call, dear under Wine).
    if (offset != position_) {
      position_ = kUnknown;
      if (offset > 0x7FFFFFFF || context_.seek(handle_, static_cast<LONG>(offset), SEEK_SET) !=
                                     static_cast<LONG>(offset)) {
        return 0;
      }
    }
    std::size_t done = 0;
    while (done < out.size()) {
      const UINT got =
          context_.read(handle_, out.data() + done, static_cast<UINT>(out.size() - done));
      if (got == 0 || got == static_cast<UINT>(-1)) break;
      done += got;
    }
    position_ = done == out.size() ? offset + done : kUnknown;
    return done;
  }

 private:
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  const Context& context_;
  INT_PTR handle_;
  std::uint64_t position_ = kUnknown;  // where the file stands, when known
};

BOOL Fail(PERF error, cab::Error code) {
  if (error != nullptr) {
    error->erfOper = static_cast<int>(code);
    error->erfType = 0;
    error->fError = TRUE;
  }
  return FALSE;
}

// One cabinet of the set, open for the rest of an FDICopy call.
struct OpenCabinet {
  INT_PTR handle = -1;
  std::unique_ptr<CallbackSource> source;
  std::unique_ptr<cab::Cabinet> cabinet;
};

class Copy {
 public:
  Copy(Context& context, PFNFDINOTIFY notify, void* user)
      : context_(context), notify_(notify), user_(user) {}
  ~Copy() {
    for (OpenCabinet& open : cabinets_) {
      if (open.handle != -1) context_.close(open.handle);
    }
  }
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  cab::Error Run(const char* name, const char* path) {
    path_ = path != nullptr ? path : "";
    if (const cab::Error error = Open(path_ + (name != nullptr ? name : ""));
        error != cab::Error::kNone) {
      return error;
    }
    const cab::Cabinet& first = *cabinets_.front().cabinet;
    FDINOTIFICATION info{};
    info.psz1 = const_cast<char*>(first.header.nextCabinet.c_str());
    info.psz2 = const_cast<char*>(first.header.nextDisk.c_str());
    info.psz3 = const_cast<char*>(path_.c_str());
    info.setID = first.header.setId;
    info.iCabinet = first.header.cabinetIndex;
    info.pv = user_;
    if (notify_(fdintCABINET_INFO, &info) == -1) return cab::Error::kUserAbort;

    for (const cab::File& file : first.files) {
      if (const cab::Error error = CopyFile(first, file); error != cab::Error::kNone) return error;
    }
    return cab::Error::kNone;
  }

 private:
  cab::Error Open(const std::string& full) {
    OpenCabinet open;
    std::string name = full;
    open.handle = context_.open(name.data(), _O_BINARY | _O_RDONLY, _S_IREAD | _S_IWRITE);
    if (open.handle == -1) return cab::Error::kCabinetNotFound;
    open.source = std::make_unique<CallbackSource>(context_, open.handle);
    open.cabinet = std::make_unique<cab::Cabinet>();
    cabinets_.push_back(std::move(open));
    return cab::ReadCabinet(*cabinets_.back().source, 0, *cabinets_.back().cabinet);
  }

  cab::Error CopyFile(const cab::Cabinet& cabinet, const cab::File& file) {
    FDINOTIFICATION notice{};
    notice.psz1 = const_cast<char*>(file.name.c_str());
    notice.cb = static_cast<LONG>(file.size);
    notice.date = file.date;
    notice.time = file.time;
    notice.attribs = file.attributes;
    notice.pv = user_;
    if (file.ContinuedFromPrev()) {
      notice.psz2 = const_cast<char*>(cabinet.header.prevCabinet.c_str());
      notice.psz3 = const_cast<char*>(cabinet.header.prevDisk.c_str());
      return notify_(fdintPARTIAL_FILE, &notice) == -1 ? cab::Error::kUserAbort : cab::Error::kNone;
    }
    const INT_PTR out = notify_(fdintCOPY_FILE, &notice);
    if (out == -1) return cab::Error::kUserAbort;
    if (out == 0) return cab::Error::kNone;

    const std::size_t folder = cabinet.FolderOf(file);
    // Files of one folder usually come in order: the stream goes on (across
    // cabinets if it has to) and only starts the folder again to go back.
    if (folder != openFolder_ || file.folderOffset < stream_.position()) {
      if (const cab::Error error = stream_.Open(*cabinets_.front().source, cabinet, folder);
          error != cab::Error::kNone) {
        return Abandon(out, error);
      }
      openFolder_ = folder;
    }
    std::uint64_t skipped = 0;
    if (const cab::Error error = stream_.Skip(file.folderOffset - stream_.position(), skipped);
        error != cab::Error::kNone ||
        skipped != file.folderOffset - (stream_.position() - skipped)) {
      return Abandon(out, error != cab::Error::kNone ? error : cab::Error::kCorruptCabinet);
    }
    std::uint64_t left = file.size;
    while (left > 0) {
      // Written straight from where the decoder left the bytes.
      std::span<const std::uint8_t> view;
      if (const cab::Error error = stream_.View(left, view); error != cab::Error::kNone) {
        return Abandon(out, error);
      }
      const auto got = static_cast<UINT>(view.size());
      if (got > 0 && context_.write(out, const_cast<std::uint8_t*>(view.data()), got) != got) {
        return Abandon(out, cab::Error::kTargetFile);
      }
      left -= got;
      if (got == 0) {
        // This cabinet's part of the folder is used up: the file goes on in the next one.
        if (const cab::Error error = NextCabinet(); error != cab::Error::kNone) {
          return Abandon(out, error);
        }
      }
    }
    notice.hf = out;
    if (notify_(fdintCLOSE_FILE_INFO, &notice) == FALSE) return cab::Error::kTargetFile;
    return cab::Error::kNone;
  }

  cab::Error NextCabinet() {
    const cab::Cabinet& current = *cabinets_.back().cabinet;
    if ((current.header.flags & cab::kFlagNextCabinet) == 0) return cab::Error::kCorruptCabinet;
    std::array<char, 256> path{};
    std::memcpy(path.data(), path_.c_str(), std::min(path_.size(), path.size() - 1));
    FDINOTIFICATION notice{};
    notice.psz1 = const_cast<char*>(current.header.nextCabinet.c_str());
    notice.psz2 = const_cast<char*>(current.header.nextDisk.c_str());
    notice.psz3 = path.data();
    notice.pv = user_;
    notice.fdie = FDIERROR_NONE;
    if (notify_(fdintNEXT_CABINET, &notice) == -1) return cab::Error::kUserAbort;
    path.back() = '\0';
    path_ = path.data();
    if (const cab::Error error = Open(path_ + current.header.nextCabinet);
        error != cab::Error::kNone) {
      return error;
    }
    const OpenCabinet& next = cabinets_.back();
    if (const cab::Error error = cab::CheckSequence(current, *next.cabinet);
        error != cab::Error::kNone) {
      return error;
    }
    return stream_.Continue(*next.source, *next.cabinet);
  }

  // A file that cannot be completed: its handle goes back closed.
  cab::Error Abandon(INT_PTR out, cab::Error error) {
    context_.close(out);
    return error;
  }

  Context& context_;
  PFNFDINOTIFY notify_;
  void* user_;
  std::string path_;
  std::vector<OpenCabinet> cabinets_;
  cab::FolderStream stream_;
  std::size_t openFolder_ = static_cast<std::size_t>(-1);
};

}  // namespace

extern "C" {

HFDI DIAMONDAPI FDICreate(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write,
                          PFNCLOSE close, PFNSEEK seek, int, PERF error) {
  if (alloc == nullptr || free == nullptr || open == nullptr || read == nullptr ||
      write == nullptr || close == nullptr || seek == nullptr) {
    Fail(error, cab::Error::kOutOfMemory);
    return nullptr;
  }
  void* memory = alloc(sizeof(Context));
  if (memory == nullptr) {
    Fail(error, cab::Error::kOutOfMemory);
    return nullptr;
  }
  return new (memory) Context{alloc, free, open, read, write, close, seek, error};
}

BOOL DIAMONDAPI FDIIsCabinet(HFDI fdi, INT_PTR file, PFDICABINETINFO info) {
  if (fdi == nullptr || info == nullptr) return FALSE;
  auto& context = *static_cast<Context*>(fdi);
  CallbackSource source(context, file);
  cab::Header header;
  if (const cab::Error error = cab::ReadHeader(source, 0, header); error != cab::Error::kNone) {
    return Fail(context.error, error);
  }
  info->cbCabinet = static_cast<LONG>(header.cabinetSize);
  info->cFolders = header.folderCount;
  info->cFiles = header.fileCount;
  info->setID = header.setId;
  info->iCabinet = header.cabinetIndex;
  info->fReserve = (header.flags & cab::kFlagReservePresent) != 0;
  info->hasprev = (header.flags & cab::kFlagPrevCabinet) != 0;
  info->hasnext = (header.flags & cab::kFlagNextCabinet) != 0;
  return TRUE;
}

BOOL DIAMONDAPI FDICopy(HFDI fdi, char* cabinet, char* path, int, PFNFDINOTIFY notify,
                        PFNFDIDECRYPT, void* user) {
  if (fdi == nullptr || notify == nullptr) return FALSE;
  auto& context = *static_cast<Context*>(fdi);
  const auto copy = std::make_unique<Copy>(context, notify, user);
  if (const cab::Error error = copy->Run(cabinet, path); error != cab::Error::kNone) {
    return Fail(context.error, error);
  }
  return TRUE;
}

BOOL DIAMONDAPI FDIDestroy(HFDI fdi) {
  if (fdi == nullptr) return FALSE;
  auto* context = static_cast<Context*>(fdi);
  const PFNFREE free = context->free;
  context->~Context();
  free(context);
  return TRUE;
}

// The library starts here, without the C runtime's start-up code: it has no
// global constructors and nothing to do when loaded or unloaded.
__attribute__((force_align_arg_pointer)) BOOL WINAPI CabinetEntry(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

}  // extern "C"
