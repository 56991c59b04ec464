#include "wizard/core/cabinet_writer.h"

#include <algorithm>
#include <random>

namespace ombrwiz {
namespace {

constexpr std::string_view kUserAbortText = "User abort";
constexpr std::string_view kCabinetExistsText = "Cabinet already exists";
constexpr std::size_t kMaxCabinetName = 255;

std::string FolderOf(std::string_view path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view path) {
  const auto slash = path.find_last_of("\\/");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The path without its drive ("C:\") or network share ("\\server\share\"),
// and without any backslashes left at its head: the name must not read as
// an absolute path when it is extracted.
std::string_view WithoutRoot(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') {
    path.remove_prefix(2);
  } else if (path.starts_with("\\\\")) {
    auto end = path.find('\\', 2);
    end = end == std::string_view::npos ? path.size() : path.find('\\', end + 1);
    path.remove_prefix(end == std::string_view::npos ? path.size() : end);
  }
  while (!path.empty() && (path.front() == '\\' || path.front() == '/')) path.remove_prefix(1);
  return path;
}

int Percent(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return 100;
  return static_cast<int>(std::min<std::uint64_t>(part * 100 / whole, 100));
}

}  // namespace

std::string_view FciErrorText(int operation) {
  switch (operation) {
    case 0:
      return "No error";
    case 1:
      return "Failure opening file to be stored in cabinet";
    case 2:
      return "Failure reading file to be stored in cabinet";
    case 3:
      return "Out of memory during compression";
    case 4:
      return "Could not create a temporary file";
    case 5:
      return "Unknown compression type";
    case 6:
      return "Could not create cabinet file";
    case 7:
      return "User abort";
    case 8:
      return "Failure compressing data";
    default:
      return "Unknown error!";
  }
}

std::uint16_t CompressionWord(TCompressionType type, int lzxWindow) {
  const auto method = static_cast<std::uint16_t>(type);
  if (type != TCompressionType::ctLzx) return method;
  return static_cast<std::uint16_t>(((lzxWindow & 0x1F) << 8) | method);
}

int LzxWindow(int compFactor) {
  const long long window = static_cast<long long>(compFactor) + 14;
  return static_cast<int>(std::clamp<long long>(window, 15, 21));
}

CabinetEntry SplitCabinetEntry(std::string_view entry) {
  const auto slash = entry.find_last_of('\\');
  if (slash == std::string_view::npos) return {"", std::string(entry)};
  CabinetEntry result{std::string(entry.substr(0, slash + 1)),
                      std::string(entry.substr(slash + 1))};
  if (result.mask.empty()) result.mask = "*.*";
  return result;
}

tmFwCAB::tmFwCAB(CabinetPlatform& platform) : platform_(platform) {
  std::random_device seed;
  std::mt19937 generator(seed());
  setId_ = static_cast<std::uint16_t>(generator() & 0x7FFFFFFFu);
}

std::string tmFwCAB::NameInCabinet(std::string_view fullPath, std::string_view baseFolder) const {
  if (!StorePath) return FileNameOf(fullPath);
  if (PartialPath && fullPath.starts_with(baseFolder)) {
    return std::string(WithoutRoot(fullPath.substr(baseFolder.size())));
  }
  return std::string(WithoutRoot(fullPath));
}

void tmFwCAB::RaiseMajor(int percent) {
  if (OnMajorStatus) {
    bool abort = false;
    OnMajorStatus(*this, CabFile, percent, abort);
    if (abort) abort_ = true;
  }
}

void tmFwCAB::RaiseMinor(const std::string& name, int percent) {
  if (OnMinorStatus) {
    bool abort = false;
    OnMinorStatus(*this, name, percent, abort);
    if (abort) abort_ = true;
  }
}

int tmFwCAB::RaiseError(int id, int apiCode, const std::string& text, int action) {
  if (OnErrorNotify) OnErrorNotify(*this, id, apiCode, text, action);
  if (action == kActionAbort) abort_ = true;
  return action;
}

void tmFwCAB::Run() {
  abort_ = false;
  flushing_ = false;
  added_ = 0;
  stored_ = 0;
  total_ = 0;
  window_ = LzxWindow(CompFactor);

  // An existing cabinet is never overwritten; the owner may remove it and
  // ask for another look.
  while (platform_.FileExists(CabFile)) {
    int action = kActionAbort;
    if (OnErrorNotify)
      OnErrorNotify(*this, kErrCabinetExists, 0, std::string(kCabinetExistsText), action);
    if (action == kActionAbort) break;
  }
  if (platform_.FileExists(CabFile)) return;

  CabinetParameters parameters;
  parameters.maxCabinetSize = static_cast<std::uint32_t>(std::max(DiskSize, 0));
  parameters.folderThreshold = static_cast<std::uint32_t>(std::max(FolderSize, 0));
  parameters.headerReserve = static_cast<std::uint32_t>(std::max(Reserved, 0));
  parameters.setId = setId_;
  parameters.diskName = DiskName.substr(0, kMaxCabinetName);
  parameters.cabinetName = FileNameOf(CabFile);
  parameters.cabinetPath = FolderOf(CabFile);
  for (;;) {
    if (platform_.CreateContext(parameters, *this)) break;
    const FciError error = platform_.LastError();
    int action = kActionAbort;
    if (OnErrorNotify) {
      OnErrorNotify(*this, kErrCreate, error.code, std::string(FciErrorText(error.operation)),
                    action);
    }
    if (action == kActionAbort) return;
  }

  RaiseMajor(0);
  if (!abort_) RaiseMinor("Scanning...", 0);
  if (abort_) {
    RaiseError(kErrUserAbort, 0, std::string(kUserAbortText), kActionAbort);
    platform_.DestroyContext();
    return;
  }

  for (const auto& entry : AddFiles) {
    const auto [folder, mask] = SplitCabinetEntry(entry);
    total_ += CountFiles(folder, mask, false);
  }
  for (const auto& entry : RecurseFiles) {
    const auto [folder, mask] = SplitCabinetEntry(entry);
    total_ += CountFiles(folder, mask, true);
  }

  for (const auto& entry : AddFiles) {
    if (abort_) break;
    const auto [folder, mask] = SplitCabinetEntry(entry);
    AddEntry(folder, mask, false, folder);
  }
  for (const auto& entry : RecurseFiles) {
    if (abort_) break;
    const auto [folder, mask] = SplitCabinetEntry(entry);
    AddEntry(folder, mask, true, folder);
  }

  if (!abort_) {
    RaiseMajor(100);
    if (!abort_) RaiseMinor("", 100);
  }
  if (!abort_) {
    flushing_ = true;
    for (;;) {
      if (platform_.FlushCabinet()) break;
      const FciError error = platform_.LastError();
      const int action = RaiseError(kErrAddOrFlush, error.code,
                                    std::string(FciErrorText(error.operation)), kActionAbort);
      if (action != kActionRetry) break;
    }
    flushing_ = false;
  }
  platform_.DestroyContext();
}

int tmFwCAB::CountFiles(const std::string& folder, const std::string& mask, bool recursive) {
  int count = static_cast<int>(platform_.Files(folder, mask).size());
  if (recursive) {
    for (const auto& sub : platform_.Subfolders(folder)) {
      count += CountFiles(folder + sub + "\\", mask, true);
    }
  }
  return count;
}

void tmFwCAB::AddEntry(const std::string& folder, const std::string& mask, bool recursive,
                       const std::string& baseFolder) {
  if (recursive) {
    for (const auto& sub : platform_.Subfolders(folder)) {
      if (abort_) return;
      AddEntry(folder + sub + "\\", mask, true, baseFolder);
    }
  }
  for (const auto& name : platform_.Files(folder, mask)) {
    if (abort_) return;
    AddOneFile(folder + name, baseFolder);
  }
}

void tmFwCAB::AddOneFile(const std::string& path, const std::string& baseFolder) {
  const std::string stored = NameInCabinet(path, baseFolder);
  const std::uint16_t compression = CompressionWord(CompType, window_);
  for (;;) {
    if (platform_.AddFile(path, stored, compression)) {
      ++stored_;
      // The library compresses whole blocks, which may hold data of several
      // files: the tail of this file (all of a small one) is only reported
      // with a later block. Its data is all taken now, so it is complete.
      if (!abort_ && currentSize_ > 0 && lastPercent_ < 100) {
        lastPercent_ = 100;
        RaiseMinor(currentName_, 100);
        if (abort_) RaiseError(kErrUserAbort, 0, std::string(kUserAbortText), kActionAbort);
      }
      break;
    }
    const FciError error = platform_.LastError();
    int action = kActionSkip;
    if (error.operation == 7) {
      RaiseError(kErrUserAbort, 0, std::string(kUserAbortText), action);
      action = kActionAbort;
      abort_ = true;
    } else {
      action = RaiseError(kErrAddOrFlush, error.code, std::string(FciErrorText(error.operation)),
                          action);
    }
    if (action != kActionRetry) break;
  }
  if (abort_) return;
  ++added_;
  RaiseMajor(total_ > 0 ? static_cast<int>(static_cast<long long>(added_) * 100 / total_) : 100);
}

void tmFwCAB::FileOpened(std::string_view name, std::uint64_t size) {
  currentName_ = std::string(name);
  currentSize_ = size;
  processed_ = 0;
  lastPercent_ = -1;
}

bool tmFwCAB::BlockCompressed(std::uint64_t uncompressedBytes) {
  processed_ += uncompressedBytes;
  if (!flushing_) {
    lastPercent_ = Percent(processed_, currentSize_);
    RaiseMinor(currentName_, lastPercent_);
  }
  return !abort_;
}

bool tmFwCAB::NextCabinet(CabinetParameters& parameters) {
  std::string newCabName = parameters.cabinetName;
  std::string newDiskName = parameters.diskName;
  bool abort = false;
  if (OnMessageNotify) {
    OnMessageNotify(*this, newCabName, newDiskName, parameters.cabinetNumber, parameters.diskNumber,
                    abort);
  }
  parameters.cabinetName = newCabName.substr(0, kMaxCabinetName);
  parameters.diskName = newDiskName.substr(0, kMaxCabinetName);
  CabFile = FolderOf(CabFile) + parameters.cabinetName;
  if (abort) abort_ = true;
  return !abort;
}

}  // namespace ombrwiz
