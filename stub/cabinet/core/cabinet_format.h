// The cabinet (MSCF) file structure: header, folder and file entries, data blocks and the block
// checksum. Everything is read through ByteSource, so the DLL shell can route the reads through
// the caller's FDI read/seek callbacks and the tests can read from memory.
//
// Built without exceptions for cabinet.dll: nothing here throws; errors come back as Error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cab {

// The values match FDI's error codes, so the shell can hand them on unchanged.
enum class Error : int {
  kNone = 0,
  kCabinetNotFound = 1,
  kNotACabinet = 2,
  kUnknownVersion = 3,
  kCorruptCabinet = 4,
  kOutOfMemory = 5,
  kBadCompressionType = 6,
  kDecompressFailure = 7,
  kTargetFile = 8,
  kReserveMismatch = 9,
  kWrongCabinet = 10,
  kUserAbort = 11,
};

// Random-access input. ReadAt returns the number of bytes placed in `out`; fewer than asked
// means the input ends there (or could not be read).
class ByteSource {
 public:
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;

 protected:
  ~ByteSource() = default;
};

// A cabinet held in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

inline constexpr std::uint16_t kFlagPrevCabinet = 0x0001;
inline constexpr std::uint16_t kFlagNextCabinet = 0x0002;
inline constexpr std::uint16_t kFlagReservePresent = 0x0004;

// Folder indexes of files that do not lie wholly in this cabinet.
inline constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
inline constexpr std::uint16_t kContinuedToNext = 0xFFFE;
inline constexpr std::uint16_t kContinuedPrevAndNext = 0xFFFF;

enum class Method : std::uint8_t { kStored = 0, kMszip = 1, kQuantum = 2, kLzx = 3 };

inline constexpr std::size_t kMaxBlockUncompressed = 32768;
// Largest compressed payload of one block (the uncompressed size plus the coders' worst growth).
inline constexpr std::size_t kMaxBlockCompressed = 32768 + 6144;
// A folder never expands to more than this.
inline constexpr std::uint64_t kMaxFolderUncompressed = 0x7FFF8000;
// Longest name or disk string, without its terminating NUL.
inline constexpr std::size_t kMaxStringLength = 255;

struct Header {
  std::uint32_t cabinetSize = 0;
  std::uint32_t filesOffset = 0;
  std::uint8_t versionMinor = 0;
  std::uint8_t versionMajor = 0;
  std::uint16_t folderCount = 0;
  std::uint16_t fileCount = 0;
  std::uint16_t flags = 0;
  std::uint16_t setId = 0;
  std::uint16_t cabinetIndex = 0;
  std::uint16_t headerReserve = 0;  // bytes
  std::uint8_t folderReserve = 0;   // bytes after each folder entry
  std::uint8_t dataReserve = 0;     // bytes after each data block header
  std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
};

struct Folder {
  std::uint32_t dataOffset = 0;  // first data block, from the start of the cabinet
  std::uint16_t blockCount = 0;
  std::uint16_t compression = 0;  // method in bits 0..3, method parameters above

  Method method() const { return static_cast<Method>(compression & 0x000F); }
};

struct File {
  std::uint32_t size = 0;
  std::uint32_t folderOffset = 0;  // in the folder's uncompressed data
  std::uint16_t folderIndex = 0;   // as stored: may be one of the continuation values
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  std::uint16_t attributes = 0;
  std::string name;

  bool ContinuedFromPrev() const {
    return folderIndex == kContinuedFromPrev || folderIndex == kContinuedPrevAndNext;
  }
  bool ContinuedToNext() const {
    return folderIndex == kContinuedToNext || folderIndex == kContinuedPrevAndNext;
  }
};

struct Cabinet {
  std::uint64_t base = 0;  // where the cabinet starts in its source
  Header header;
  std::vector<Folder> folders;
  std::vector<File> files;

  // The folder a file's data lies in (continuation values resolved), always < folders.size().
  std::size_t FolderOf(const File& file) const;
};

// Reads the header, folder and file entries of the cabinet starting at `base`. On success every
// file's folder index is either a real folder or one of the continuation values.
Error ReadCabinet(ByteSource& source, std::uint64_t base, Cabinet& cabinet);

// Only the header (as FDIIsCabinet needs): no folder or file entries are read.
Error ReadHeader(ByteSource& source, std::uint64_t base, Header& header);

// Whether `next` may follow `prev` in a set: same set ID, next index, and the reserve sizes.
Error CheckSequence(const Cabinet& prev, const Cabinet& next);

// Whether the compression type is one this decoder handles (stored, MSZIP, LZX with a window
// of 2^15..2^21); kBadCompressionType otherwise (Quantum among them).
Error CheckCompression(std::uint16_t compression);

// The 32-bit checksum of data blocks, continued from `seed`.
std::uint32_t Checksum(std::span<const std::uint8_t> bytes, std::uint32_t seed);

struct DataBlock {
  std::uint32_t checksum = 0;
  std::uint16_t compressedSize = 0;
  std::uint16_t uncompressedSize = 0;  // 0: the block goes on in the next cabinet
  std::vector<std::uint8_t> data;      // compressedSize bytes
};

// The header of the block that follows the last one read, read along with it.
struct HeaderAhead {
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};
  std::uint64_t at = kNone;  // where it lies in the source; kNone: nothing read ahead
  std::array<std::uint8_t, 8> bytes{};
};

// Reads the data block at `offset` (from the cabinet's start), verifies its checksum (when
// non-zero) and moves `offset` past it. `data` keeps its capacity between calls. With `ahead`
// (kept by the caller for one source), the next block's header is read in the same call and
// not read again, which halves the reads of a folder.
Error ReadDataBlock(ByteSource& source, const Cabinet& cabinet, std::uint64_t& offset,
                    DataBlock& block, HeaderAhead* ahead = nullptr);

}  // namespace cab
