// The cabinet writer: turns lists of files and folders into a cabinet or a
// set of cabinets. The walk over the folders, the names stored in the
// cabinet, the progress counting and the error handling live here; the
// compression itself is the platform's cabinet library (FCI), reached through
// CabinetPlatform.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrwiz {

// Also the cabinet library's compression type numbers.
enum class TCompressionType { ctNone = 0, ctMsZip = 1, ctQuantum = 2, ctLzx = 3 };

// Error identifiers passed to OnErrorNotify.
inline constexpr int kErrUserAbort = 801;
inline constexpr int kErrAddOrFlush = 802;
inline constexpr int kErrCreate = 803;
inline constexpr int kErrCabinetExists = 804;

// Actions an OnErrorNotify handler may choose.
inline constexpr int kActionAbort = -1;
inline constexpr int kActionSkip = 0;
inline constexpr int kActionRetry = 1;

// The cabinet library's error record: what failed and the underlying code.
struct FciError {
  int operation = 0;  // 0 none, 1 open, 2 read, 3 memory, 4 temp file, 5 type,
                      // 6 cabinet file, 7 user abort, 8 compression
  int code = 0;
  bool failed = false;
};
// The text for an error record's operation code.
std::string_view FciErrorText(int operation);

// What the cabinet library is created with.
struct CabinetParameters {
  std::uint32_t maxCabinetSize = 0;
  std::uint32_t folderThreshold = 0;
  std::uint32_t headerReserve = 0;
  std::uint16_t setId = 0;
  int cabinetNumber = 1;
  int diskNumber = 1;
  std::string diskName;
  std::string cabinetName;  // file name only
  std::string cabinetPath;  // folder, with its trailing backslash
};

// The per-run record through which the library's callbacks reach the
// writer: the file being added and how much of it has been compressed.
class CabinetRunContext {
 public:
  virtual ~CabinetRunContext() = default;
  // The library opened a file to read its data.
  virtual void FileOpened(std::string_view name, std::uint64_t size) = 0;
  // A block of the file's data was compressed; false stops the run.
  virtual bool BlockCompressed(std::uint64_t uncompressedBytes) = 0;
  // The library starts cabinet number `cabinetNumber`: `parameters` hold the
  // previous names and are updated for the new cabinet; false stops the run.
  virtual bool NextCabinet(CabinetParameters& parameters) = 0;
};

// The operating system as the writer sees it: folders to list and the
// cabinet library's compression interface. At most one library context is
// alive at a time.
class CabinetPlatform {
 public:
  virtual ~CabinetPlatform() = default;
  virtual bool FileExists(const std::string& path) = 0;
  // Names (not paths) in `folder` (with trailing backslash) matching `mask`:
  // files only, or subfolders only (without "." and ".."), in the order the
  // file system lists them.
  virtual std::vector<std::string> Files(const std::string& folder, const std::string& mask) = 0;
  virtual std::vector<std::string> Subfolders(const std::string& folder) = 0;

  virtual bool CreateContext(const CabinetParameters& parameters, CabinetRunContext& context) = 0;
  virtual bool AddFile(const std::string& sourcePath, const std::string& nameInCabinet,
                       std::uint16_t compression) = 0;
  virtual bool FlushCabinet() = 0;
  virtual void DestroyContext() = 0;
  virtual FciError LastError() = 0;
};

// The cabinet library's compression word: the method, and for LZX the window
// in bits 8-12.
std::uint16_t CompressionWord(TCompressionType type, int lzxWindow);
// CompFactor + 14, clamped to 15 ... 21.
int LzxWindow(int compFactor);

// The cabinet writer component.
class tmFwCAB : private CabinetRunContext {
 public:
  using TEncodeMajorUpdate =
      std::function<void(tmFwCAB& sender, const std::string& cabName, int percent, bool& abort)>;
  using TEncodeMinorUpdate =
      std::function<void(tmFwCAB& sender, const std::string& fileName, int percent, bool& abort)>;
  using TMessageNotify =
      std::function<void(tmFwCAB& sender, std::string& newCabName, std::string& newDiskName,
                         int cabNo, int& diskNo, bool& abort)>;
  using TErrorNotify = std::function<void(tmFwCAB& sender, int errId, int apiCode,
                                          const std::string& errText, int& action)>;

  explicit tmFwCAB(CabinetPlatform& platform);

  std::string CabFile;
  std::string DiskName;
  std::int32_t FolderSize = 831'415;
  std::int32_t DiskSize = 2'147'483'647;
  std::int32_t Reserved = 0;
  TCompressionType CompType = TCompressionType::ctMsZip;
  int CompFactor = 3;
  std::vector<std::string> AddFiles;
  std::vector<std::string> RecurseFiles;
  bool StorePath = false;
  bool PartialPath = false;

  TEncodeMajorUpdate OnMajorStatus;
  TEncodeMinorUpdate OnMinorStatus;
  TMessageNotify OnMessageNotify;
  TErrorNotify OnErrorNotify;

  // Builds the whole set on the calling thread, raising the events there.
  void Run();

  // The name a file gets in the cabinet: `fullPath` lies below `baseFolder`
  // (both with the same spelling, the folder ending in a backslash).
  std::string NameInCabinet(std::string_view fullPath, std::string_view baseFolder) const;

  int FilesAdded() const { return added_; }  // counted for progress, skipped ones too
  int FilesStored() const { return stored_; }
  int FilesToAdd() const { return total_; }

 private:
  void FileOpened(std::string_view name, std::uint64_t size) override;
  bool BlockCompressed(std::uint64_t uncompressedBytes) override;
  bool NextCabinet(CabinetParameters& parameters) override;

  int CountFiles(const std::string& folder, const std::string& mask, bool recursive);
  void AddEntry(const std::string& folder, const std::string& mask, bool recursive,
                const std::string& baseFolder);
  void AddOneFile(const std::string& path, const std::string& baseFolder);
  void RaiseMajor(int percent);
  void RaiseMinor(const std::string& name, int percent);
  int RaiseError(int id, int apiCode, const std::string& text, int action);

  CabinetPlatform& platform_;
  bool abort_ = false;
  bool flushing_ = false;
  int added_ = 0;
  int stored_ = 0;
  int total_ = 0;
  int window_ = 15;
  std::uint16_t setId_ = 0;
  // The file the library is reading.
  std::string currentName_;
  std::uint64_t currentSize_ = 0;
  std::uint64_t processed_ = 0;
  int lastPercent_ = -1;  // the file's latest percentage reported, -1 none yet
};

// An AddFiles or RecurseFiles entry split into its folder (with trailing
// backslash, empty for the current folder) and its mask ("*.*" when the
// entry ends in a backslash).
struct CabinetEntry {
  std::string folder;
  std::string mask;
};
CabinetEntry SplitCabinetEntry(std::string_view entry);

}  // namespace ombrwiz
