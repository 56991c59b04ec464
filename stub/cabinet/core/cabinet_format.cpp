#include "stub/cabinet/core/cabinet_format.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace cab {
namespace {

constexpr std::size_t kFixedHeaderSize = 36;
constexpr std::size_t kFolderEntrySize = 8;
constexpr std::size_t kFileEntrySize = 16;
constexpr std::size_t kBlockHeaderSize = 8;
constexpr std::uint16_t kMaxHeaderReserve = 60000;

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Reads exactly out.size() bytes or reports a truncated cabinet.
bool ReadExact(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out) {
  return source.ReadAt(offset, out) == out.size();
}

// Reads a NUL-terminated string of at most kMaxStringLength characters at `offset` and moves
// `offset` past the NUL.
Error ReadString(ByteSource& source, std::uint64_t& offset, std::string& text) {
  std::array<std::uint8_t, kMaxStringLength + 1> buffer;
  const std::size_t got = source.ReadAt(offset, buffer);
  const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(std::min(got, buffer.size()));
  const auto nul = std::find(buffer.begin(), end, std::uint8_t{0});
  if (nul == end) return Error::kCorruptCabinet;
  text.assign(buffer.begin(), nul);
  offset += text.size() + 1;
  return Error::kNone;
}

Error ReadHeaderAt(ByteSource& source, std::uint64_t base, Header& header, std::uint64_t& next) {
  std::array<std::uint8_t, kFixedHeaderSize + 4> h{};
  if (!ReadExact(source, base, std::span(h).first(kFixedHeaderSize)) ||
      std::memcmp(h.data(), "MSCF", 4) != 0) {
    return Error::kNotACabinet;
  }
  header = Header{};
  header.cabinetSize = Get32(&h[8]);
  header.filesOffset = Get32(&h[16]);
  header.versionMinor = h[24];
  header.versionMajor = h[25];
  header.folderCount = Get16(&h[26]);
  header.fileCount = Get16(&h[28]);
  header.flags = Get16(&h[30]);
  header.setId = Get16(&h[32]);
  header.cabinetIndex = Get16(&h[34]);
  if (header.versionMajor != 1 || header.versionMinor != 3) return Error::kUnknownVersion;
  next = base + kFixedHeaderSize;
  if (header.flags & kFlagReservePresent) {
    if (!ReadExact(source, next, std::span(h).subspan(kFixedHeaderSize, 4))) {
      return Error::kCorruptCabinet;
    }
    header.headerReserve = Get16(&h[kFixedHeaderSize]);
    header.folderReserve = h[kFixedHeaderSize + 2];
    header.dataReserve = h[kFixedHeaderSize + 3];
    if (header.headerReserve > kMaxHeaderReserve) return Error::kCorruptCabinet;
    next += 4 + header.headerReserve;
  }
  if (header.flags & kFlagPrevCabinet) {
    if (Error e = ReadString(source, next, header.prevCabinet); e != Error::kNone) return e;
    if (Error e = ReadString(source, next, header.prevDisk); e != Error::kNone) return e;
  }
  if (header.flags & kFlagNextCabinet) {
    if (Error e = ReadString(source, next, header.nextCabinet); e != Error::kNone) return e;
    if (Error e = ReadString(source, next, header.nextDisk); e != Error::kNone) return e;
  }
  return Error::kNone;
}

}  // namespace

std::size_t MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset >= bytes_.size()) return 0;
  const auto count =
      static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), bytes_.size() - offset));
  if (count == 0) return 0;  // `out` may be an empty span without storage
  std::memcpy(out.data(), bytes_.data() + offset, count);
  return count;
}

std::size_t Cabinet::FolderOf(const File& file) const {
  if (file.folderIndex == kContinuedToNext) return folders.size() - 1;
  if (file.ContinuedFromPrev()) return 0;
  return file.folderIndex;
}

Error ReadHeader(ByteSource& source, std::uint64_t base, Header& header) {
  std::uint64_t next = 0;
  return ReadHeaderAt(source, base, header, next);
}

Error ReadCabinet(ByteSource& source, std::uint64_t base, Cabinet& cabinet) {
  cabinet = Cabinet{};
  cabinet.base = base;
  std::uint64_t offset = 0;
  if (Error e = ReadHeaderAt(source, base, cabinet.header, offset); e != Error::kNone) return e;
  const Header& header = cabinet.header;
  if (header.folderCount == 0 || header.fileCount == 0) return Error::kCorruptCabinet;

  std::array<std::uint8_t, kFileEntrySize> entry;
  for (unsigned i = 0; i < header.folderCount; ++i) {
    if (!ReadExact(source, offset, std::span(entry).first(kFolderEntrySize))) {
      return Error::kCorruptCabinet;
    }
    Folder& folder = cabinet.folders.emplace_back();
    folder.dataOffset = Get32(&entry[0]);
    folder.blockCount = Get16(&entry[4]);
    folder.compression = Get16(&entry[6]);
    offset += kFolderEntrySize + header.folderReserve;
  }

  offset = base + header.filesOffset;
  for (unsigned i = 0; i < header.fileCount; ++i) {
    if (!ReadExact(source, offset, entry)) return Error::kCorruptCabinet;
    File& file = cabinet.files.emplace_back();
    file.size = Get32(&entry[0]);
    file.folderOffset = Get32(&entry[4]);
    file.folderIndex = Get16(&entry[8]);
    file.date = Get16(&entry[10]);
    file.time = Get16(&entry[12]);
    file.attributes = Get16(&entry[14]);
    if (file.folderIndex < kContinuedFromPrev && file.folderIndex >= header.folderCount) {
      return Error::kCorruptCabinet;
    }
    offset += kFileEntrySize;
    if (Error e = ReadString(source, offset, file.name); e != Error::kNone) return e;
  }
  return Error::kNone;
}

Error CheckSequence(const Cabinet& prev, const Cabinet& next) {
  if (next.header.setId != prev.header.setId ||
      next.header.cabinetIndex != prev.header.cabinetIndex + 1 ||
      !(prev.header.flags & kFlagNextCabinet) || !(next.header.flags & kFlagPrevCabinet)) {
    return Error::kWrongCabinet;
  }
  return Error::kNone;
}

Error CheckCompression(std::uint16_t compression) {
  switch (static_cast<Method>(compression & 0x000F)) {
    case Method::kStored:
    case Method::kMszip:
      return Error::kNone;
    case Method::kLzx: {
      const unsigned windowBits = (compression >> 8) & 0x1F;
      return windowBits >= 15 && windowBits <= 21 ? Error::kNone : Error::kBadCompressionType;
    }
    default:
      return Error::kBadCompressionType;
  }
}

std::uint32_t Checksum(std::span<const std::uint8_t> bytes, std::uint32_t seed) {
  // The XOR of the little-endian 32-bit words, folded from machine words.
  static_assert(std::endian::native == std::endian::little);
  std::size_t wide = 0;
  std::size_t i = 0;
  for (; i + sizeof wide <= bytes.size(); i += sizeof wide) {
    std::size_t word;
    std::memcpy(&word, &bytes[i], sizeof word);
    wide ^= word;
  }
  std::uint32_t sum = seed;
  for (unsigned shift = 0; shift < sizeof wide * 8; shift += 32) {
    sum ^= static_cast<std::uint32_t>(wide >> shift);
  }
  for (; i + 4 <= bytes.size(); i += 4) sum ^= Get32(&bytes[i]);
  // The last one to three bytes go in with the first of them highest.
  std::uint32_t tail = 0;
  for (; i < bytes.size(); ++i) tail = (tail << 8) | bytes[i];
  return sum ^ tail;
}

Error ReadDataBlock(ByteSource& source, const Cabinet& cabinet, std::uint64_t& offset,
                    DataBlock& block, HeaderAhead* ahead) {
  std::array<std::uint8_t, kBlockHeaderSize> h;
  const std::uint64_t at = cabinet.base + offset;
  if (ahead != nullptr && ahead->at == at) {
    h = ahead->bytes;
  } else if (!ReadExact(source, at, h)) {
    return Error::kCorruptCabinet;
  }
  if (ahead != nullptr) ahead->at = HeaderAhead::kNone;
  block.checksum = Get32(&h[0]);
  block.compressedSize = Get16(&h[4]);
  block.uncompressedSize = Get16(&h[6]);
  if (block.compressedSize > kMaxBlockCompressed ||
      block.uncompressedSize > kMaxBlockUncompressed) {
    return Error::kCorruptCabinet;
  }
  const std::size_t size = block.compressedSize;
  const std::uint64_t dataAt = at + kBlockHeaderSize + cabinet.header.dataReserve;
  block.data.resize(size + (ahead != nullptr ? kBlockHeaderSize : 0));
  const std::size_t got = source.ReadAt(dataAt, block.data);
  if (got < size) return Error::kCorruptCabinet;
  if (ahead != nullptr && got == size + kBlockHeaderSize) {
    std::memcpy(ahead->bytes.data(), block.data.data() + size, kBlockHeaderSize);
    ahead->at = dataAt + size;
  }
  block.data.resize(size);
  if (block.checksum != 0 &&
      Checksum(std::span(h).subspan(4), Checksum(block.data, 0)) != block.checksum) {
    return Error::kCorruptCabinet;
  }
  offset += kBlockHeaderSize + cabinet.header.dataReserve + block.compressedSize;
  return Error::kNone;
}

}  // namespace cab
