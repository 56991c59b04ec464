// Reader for the 7z directory. It trusts nothing: every count is weighed against the header bytes
// that are left before anything is allocated for it, and every offset against the file size.
#include "tvl/core/sevenzip_archive.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>

#include "tvl/core/crc32.h"
#include "tvl/core/sevenzip_decoder.h"

namespace tvl::sevenzip {
namespace {

namespace id {
constexpr std::uint64_t kEnd = 0x00;
constexpr std::uint64_t kHeader = 0x01;
constexpr std::uint64_t kArchiveProperties = 0x02;
constexpr std::uint64_t kAdditionalStreamsInfo = 0x03;
constexpr std::uint64_t kMainStreamsInfo = 0x04;
constexpr std::uint64_t kFilesInfo = 0x05;
constexpr std::uint64_t kPackInfo = 0x06;
constexpr std::uint64_t kUnpackInfo = 0x07;
constexpr std::uint64_t kSubStreamsInfo = 0x08;
constexpr std::uint64_t kSize = 0x09;
constexpr std::uint64_t kCrc = 0x0A;
constexpr std::uint64_t kFolder = 0x0B;
constexpr std::uint64_t kCodersUnpackSize = 0x0C;
constexpr std::uint64_t kNumUnpackStream = 0x0D;
constexpr std::uint64_t kEmptyStream = 0x0E;
constexpr std::uint64_t kEmptyFile = 0x0F;
constexpr std::uint64_t kAnti = 0x10;
constexpr std::uint64_t kName = 0x11;
constexpr std::uint64_t kCTime = 0x12;
constexpr std::uint64_t kATime = 0x13;
constexpr std::uint64_t kMTime = 0x14;
constexpr std::uint64_t kWinAttributes = 0x15;
constexpr std::uint64_t kEncodedHeader = 0x17;
}  // namespace id

// How many times a header may be packed inside another.
constexpr int kMaxHeaderPacking = 4;

constexpr std::array<std::uint8_t, 6> kSignature = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

[[noreturn]] void Corrupt(std::string what) {
  Fail(ErrorCode::kCorrupt, std::move(what));
}
[[noreturn]] void Unsupported(std::string what) {
  Fail(ErrorCode::kUnsupported, std::move(what));
}

std::uint32_t LoadLe32(std::span<const std::uint8_t> b) {
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

std::uint64_t LoadLe64(std::span<const std::uint8_t> b) {
  return std::uint64_t{LoadLe32(b)} | std::uint64_t{LoadLe32(b.subspan(4))} << 32;
}

// Cursor over an in-memory header; every read is bounds-checked.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  std::size_t Remaining() const { return data_.size() - pos_; }

  std::uint8_t Byte() {
    Need(1);
    return data_[pos_++];
  }

  std::span<const std::uint8_t> Bytes(std::uint64_t n) {
    Need(n);
    const auto out = data_.subspan(pos_, static_cast<std::size_t>(n));
    pos_ += static_cast<std::size_t>(n);
    return out;
  }

  std::uint32_t UInt32() { return LoadLe32(Bytes(4)); }
  std::uint64_t UInt64() { return LoadLe64(Bytes(8)); }

  // 7z's variable-length number: the leading one bits of the first byte say how many more
  // little-endian bytes follow; the rest of the first byte holds the top bits.
  std::uint64_t Number() {
    const unsigned first = Byte();
    unsigned mask = 0x80;
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
      if ((first & mask) == 0) {
        const std::uint64_t high = first & (mask - 1);
        return value | (high << (8 * i));
      }
      value |= std::uint64_t{Byte()} << (8 * i);
      mask >>= 1;
    }
    return value;
  }

  // A count of items that each take at least one more byte of this header, so it can never
  // exceed what is left; this is what keeps a forged count from driving an allocation.
  std::size_t Count(const char* what) {
    const std::uint64_t n = Number();
    if (n > Remaining()) Corrupt(std::string("implausible count of ") + what);
    return static_cast<std::size_t>(n);
  }

  std::vector<bool> BitField(std::size_t bits) {
    const auto bytes = Bytes((std::uint64_t{bits} + 7) / 8);
    std::vector<bool> out(bits);
    for (std::size_t i = 0; i < bits; ++i) out[i] = (bytes[i / 8] >> (7 - i % 8)) & 1u;
    return out;
  }

  // "All defined" byte, else a bit field.
  std::vector<bool> DefinedBits(std::size_t bits) {
    if (Byte() != 0) return std::vector<bool>(bits, true);
    return BitField(bits);
  }

  std::vector<std::optional<std::uint32_t>> Digests(std::size_t count) {
    const auto defined = DefinedBits(count);
    std::vector<std::optional<std::uint32_t>> out(count);
    for (std::size_t i = 0; i < count; ++i) {
      if (defined[i]) out[i] = UInt32();
    }
    return out;
  }

  void Expect(std::uint64_t want, const char* where) {
    if (Number() != want) Corrupt(std::string("unexpected property in ") + where);
  }

 private:
  void Need(std::uint64_t n) const {
    if (n > Remaining()) Corrupt("header ends early");
  }

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

struct SubStream {
  std::uint64_t size = 0;
  std::optional<std::uint32_t> crc;
};

struct StreamsInfo {
  std::vector<PackStream> pack_streams;
  std::vector<std::optional<std::uint32_t>> pack_crcs;
  std::vector<Folder> folders;
  std::vector<SubStream> substreams;  // all folders' files, in folder order
};

std::uint64_t CheckedAdd(std::uint64_t a, std::uint64_t b, const char* what) {
  if (b > UINT64_MAX - a) Corrupt(std::string("overflowing ") + what);
  return a + b;
}

void ReadPackInfo(Reader& r, std::uint64_t file_size, StreamsInfo& info) {
  const std::uint64_t pack_pos = r.Number();
  const std::size_t count = r.Count("packed streams");
  std::uint64_t id = r.Number();
  if (id == id::kSize) {
    std::uint64_t offset = CheckedAdd(kSignatureHeaderSize, pack_pos, "pack position");
    if (offset > file_size) Corrupt("packed data starts past the end of the archive");
    info.pack_streams.resize(count);
    for (auto& stream : info.pack_streams) {
      stream.offset = offset;
      stream.size = r.Number();
      if (stream.size > file_size - offset) Corrupt("packed data runs past the end of the archive");
      offset += stream.size;
    }
    id = r.Number();
  } else if (count != 0) {
    Corrupt("packed streams without sizes");
  }
  if (id == id::kCrc) {
    info.pack_crcs = r.Digests(count);
    id = r.Number();
  }
  if (id != id::kEnd) Corrupt("unexpected property in pack info");
}

void ReadFolder(Reader& r, Folder& folder) {
  const std::uint64_t num_coders = r.Number();
  if (num_coders == 0) Corrupt("folder without coders");
  if (num_coders > kMaxCodersPerFolder) Unsupported("too many coders in one folder");
  folder.coders.resize(static_cast<std::size_t>(num_coders));

  std::uint64_t total_in = 0;
  for (auto& coder : folder.coders) {
    const std::uint8_t flags = r.Byte();
    // 0x80 announced "alternative methods", never used by any writer; 0x40 is reserved.
    if (flags & 0xC0) Unsupported("coder flags");
    const auto method = r.Bytes(flags & 0x0Fu);
    coder.method_id.assign(method.begin(), method.end());
    if (flags & 0x10) {
      const std::uint64_t num_in = r.Number();
      const std::uint64_t num_out = r.Number();
      if (num_in > kMaxStreamsPerFolder) Unsupported("too many coder inputs");
      if (num_out != 1) Unsupported("coder with several outputs");
      coder.num_in_streams = static_cast<std::uint32_t>(num_in);
    }
    if (flags & 0x20) {
      const auto props = r.Bytes(r.Count("coder property bytes"));
      coder.properties.assign(props.begin(), props.end());
    }
    total_in += coder.num_in_streams;
    if (total_in > kMaxStreamsPerFolder) Unsupported("too many streams in one folder");
  }

  // Every output but the folder's own feeds exactly one coder input.
  const std::size_t num_bind_pairs = folder.coders.size() - 1;
  if (total_in < num_bind_pairs + 1) Corrupt("folder without packed input");
  std::vector<bool> in_bound(static_cast<std::size_t>(total_in), false);
  std::vector<bool> out_bound(folder.coders.size(), false);
  folder.bind_pairs.resize(num_bind_pairs);
  for (auto& pair : folder.bind_pairs) {
    const std::uint64_t in = r.Number();
    const std::uint64_t out = r.Number();
    if (in >= total_in || out >= folder.coders.size()) Corrupt("bind pair out of range");
    const auto in_at = static_cast<std::size_t>(in);
    const auto out_at = static_cast<std::size_t>(out);
    if (in_bound[in_at] || out_bound[out_at]) Corrupt("stream bound twice");
    in_bound[in_at] = out_bound[out_at] = true;
    pair.in_index = static_cast<std::uint32_t>(in);
    pair.out_index = static_cast<std::uint32_t>(out);
  }
  const auto main = std::find(out_bound.begin(), out_bound.end(), false);
  folder.main_coder = static_cast<std::uint32_t>(main - out_bound.begin());

  const std::size_t num_packed = static_cast<std::size_t>(total_in) - num_bind_pairs;
  if (num_packed == 1) {
    const auto free_in = std::find(in_bound.begin(), in_bound.end(), false);
    folder.packed_streams.push_back(static_cast<std::uint32_t>(free_in - in_bound.begin()));
  } else {
    for (std::size_t i = 0; i < num_packed; ++i) {
      const std::uint64_t in = r.Number();
      if (in >= total_in || in_bound[static_cast<std::size_t>(in)]) {
        Corrupt("packed stream index out of range");
      }
      in_bound[static_cast<std::size_t>(in)] = true;
      folder.packed_streams.push_back(static_cast<std::uint32_t>(in));
    }
  }

  // The coders must form one tree below the main coder; a cycle or a detached coder would
  // leave the decoder chain unbuildable (or endless).
  std::vector<bool> seen(folder.coders.size(), false);
  std::vector<std::uint32_t> todo{folder.main_coder};
  std::size_t visited = 0;
  while (!todo.empty()) {
    const std::uint32_t c = todo.back();
    todo.pop_back();
    if (seen[c]) Corrupt("coder graph has a cycle");
    seen[c] = true;
    ++visited;
    const std::uint32_t first_in = folder.FirstInStream(c);
    for (const auto& pair : folder.bind_pairs) {
      if (pair.in_index >= first_in && pair.in_index < first_in + folder.coders[c].num_in_streams) {
        todo.push_back(pair.out_index);
      }
    }
  }
  if (visited != folder.coders.size()) Corrupt("coder graph is not connected");
}

void ReadUnpackInfo(Reader& r, StreamsInfo& info) {
  r.Expect(id::kFolder, "unpack info");
  const std::size_t num_folders = r.Count("folders");
  if (r.Byte() != 0) Unsupported("folder list stored outside the header");
  info.folders.resize(num_folders);
  std::size_t next_pack = 0;
  for (auto& folder : info.folders) {
    ReadFolder(r, folder);
    folder.first_pack_stream = next_pack;
    next_pack += folder.packed_streams.size();
  }
  if (next_pack != info.pack_streams.size()) Corrupt("folders and packed streams disagree");

  r.Expect(id::kCodersUnpackSize, "unpack info");
  for (auto& folder : info.folders) {
    folder.unpack_sizes.resize(folder.coders.size());
    for (auto& size : folder.unpack_sizes) size = r.Number();
  }
  std::uint64_t id = r.Number();
  if (id == id::kCrc) {
    const auto crcs = r.Digests(info.folders.size());
    for (std::size_t i = 0; i < crcs.size(); ++i) info.folders[i].crc = crcs[i];
    id = r.Number();
  }
  if (id != id::kEnd) Corrupt("unexpected property in unpack info");
}

void ReadSubStreamsInfo(Reader& r, StreamsInfo& info) {
  std::uint64_t id = r.Number();
  if (id == id::kNumUnpackStream) {
    for (auto& folder : info.folders) folder.num_substreams = r.Count("files in a folder");
    id = r.Number();
  }

  // All sizes but each folder's last are stored, one number (at least a byte) apiece.
  std::uint64_t stored_sizes = 0;
  for (const auto& folder : info.folders) {
    if (folder.num_substreams > 1) stored_sizes += folder.num_substreams - 1;
  }
  if (stored_sizes > r.Remaining()) Corrupt("implausible count of files");
  if (stored_sizes != 0 && id != id::kSize) Corrupt("folder with several files lacks sizes");

  std::size_t unknown_crcs = 0;
  for (const auto& folder : info.folders) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i + 1 < folder.num_substreams; ++i) {
      const std::uint64_t size = r.Number();
      sum = CheckedAdd(sum, size, "file sizes");
      info.substreams.push_back({size, std::nullopt});
    }
    if (folder.num_substreams == 0) continue;
    if (sum > folder.UnpackSize()) Corrupt("files larger than their folder");
    info.substreams.push_back({folder.UnpackSize() - sum, std::nullopt});
    if (folder.num_substreams == 1 && folder.crc) {
      info.substreams.back().crc = folder.crc;
    } else {
      unknown_crcs += folder.num_substreams;
    }
  }
  if (id == id::kSize) id = r.Number();

  if (id == id::kCrc) {
    const auto crcs = r.Digests(unknown_crcs);
    std::size_t next = 0;
    std::size_t stream = 0;
    for (const auto& folder : info.folders) {
      if (folder.num_substreams == 1 && folder.crc) {
        ++stream;
        continue;
      }
      for (std::size_t i = 0; i < folder.num_substreams; ++i)
        info.substreams[stream++].crc = crcs[next++];
    }
    id = r.Number();
  }
  if (id != id::kEnd) Corrupt("unexpected property in substreams info");
}

void ReadStreamsInfo(Reader& r, std::uint64_t file_size, StreamsInfo& info) {
  std::uint64_t id = r.Number();
  if (id == id::kPackInfo) {
    ReadPackInfo(r, file_size, info);
    id = r.Number();
  }
  if (id == id::kUnpackInfo) {
    ReadUnpackInfo(r, info);
    id = r.Number();
  } else if (!info.pack_streams.empty()) {
    Corrupt("packed streams without folders");
  }
  const bool has_substreams_info = id == id::kSubStreamsInfo;
  if (has_substreams_info) {
    ReadSubStreamsInfo(r, info);
    id = r.Number();
  }
  if (id != id::kEnd) Corrupt("unexpected property in streams info");
  if (!has_substreams_info) {
    for (const auto& folder : info.folders)
      info.substreams.push_back({folder.UnpackSize(), folder.crc});
  }
}

// A per-file property holding an optional value for each file: "all defined" byte or bit field,
// the (unsupported) external flag, then the values of the defined ones.
template <typename T, typename Load>
void ReadDefinedValues(std::span<const std::uint8_t> data, std::vector<Entry>& entries,
                       std::optional<T> Entry::*field, Load load) {
  Reader r(data);
  const auto defined = r.DefinedBits(entries.size());
  if (r.Byte() != 0) Unsupported("file property stored outside the header");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (defined[i]) entries[i].*field = load(r);
  }
  if (r.Remaining() != 0) Corrupt("file property has trailing bytes");
}

std::vector<bool> ReadExactBitField(std::span<const std::uint8_t> data, std::size_t bits) {
  Reader r(data);
  auto out = r.BitField(bits);
  if (r.Remaining() != 0) Corrupt("bit field has trailing bytes");
  return out;
}

struct FileProperty {
  std::uint64_t id;
  std::optional<std::span<const std::uint8_t>> data;
};

void ReadFilesInfo(Reader& r, std::vector<Entry>& entries) {
  const std::uint64_t num_files = r.Number();

  // The properties are gathered first and decoded afterwards: the name list proves how many
  // files there really are before anything is sized by the count, and decoding no longer
  // depends on the order the properties were written in.
  std::array<FileProperty, 8> props = {{{id::kEmptyStream, {}},
                                        {id::kEmptyFile, {}},
                                        {id::kAnti, {}},
                                        {id::kName, {}},
                                        {id::kCTime, {}},
                                        {id::kATime, {}},
                                        {id::kMTime, {}},
                                        {id::kWinAttributes, {}}}};
  for (;;) {
    const std::uint64_t type = r.Number();
    if (type == id::kEnd) break;
    const auto data = r.Bytes(r.Count("file property bytes"));
    // Anything else (kDummy padding, start positions, newer additions) carries nothing an
    // extraction needs; its size field lets it be stepped over.
    for (auto& prop : props) {
      if (prop.id != type) continue;
      if (prop.data) Corrupt("file property given twice");
      prop.data = data;
    }
  }
  const auto get = [&](std::uint64_t which) {
    return std::find_if(props.begin(), props.end(), [&](const auto& p) { return p.id == which; })
        ->data;
  };

  const auto names = get(id::kName);
  if (!names) {
    if (num_files == 0) return;
    Unsupported("entries without names");
  }
  Reader name_reader(*names);
  if (name_reader.Byte() != 0) Unsupported("names stored outside the header");
  // Each name is at least its two-byte terminator.
  if (num_files > name_reader.Remaining() / 2) Corrupt("more files than names");
  entries.resize(static_cast<std::size_t>(num_files));
  for (auto& entry : entries) {
    for (;;) {
      const auto unit = name_reader.Bytes(2);
      const char16_t c = static_cast<char16_t>(unit[0] | unit[1] << 8);
      if (c == 0) break;
      entry.name.push_back(c);
    }
  }
  if (name_reader.Remaining() != 0) Corrupt("more names than files");

  std::size_t num_empty = 0;
  if (const auto data = get(id::kEmptyStream)) {
    const auto empty_stream = ReadExactBitField(*data, entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i].has_stream = !empty_stream[i];
      num_empty += empty_stream[i] ? 1 : 0;
    }
  } else {
    for (auto& entry : entries) entry.has_stream = true;
  }
  std::vector<bool> empty_file(num_empty, false);
  std::vector<bool> anti(num_empty, false);
  if (const auto data = get(id::kEmptyFile)) empty_file = ReadExactBitField(*data, num_empty);
  if (const auto data = get(id::kAnti)) anti = ReadExactBitField(*data, num_empty);
  std::size_t empty_index = 0;
  for (auto& entry : entries) {
    if (entry.has_stream) continue;
    entry.is_dir = !empty_file[empty_index];
    entry.is_anti = anti[empty_index];
    ++empty_index;
  }

  const auto load64 = [](Reader& rd) { return rd.UInt64(); };
  if (const auto data = get(id::kMTime)) ReadDefinedValues(*data, entries, &Entry::mtime, load64);
  if (const auto data = get(id::kCTime)) ReadDefinedValues(*data, entries, &Entry::ctime, load64);
  if (const auto data = get(id::kATime)) ReadDefinedValues(*data, entries, &Entry::atime, load64);
  if (const auto data = get(id::kWinAttributes)) {
    ReadDefinedValues(*data, entries, &Entry::attributes, [](Reader& rd) { return rd.UInt32(); });
  }
}

// The body of a plain header, after its kHeader id.
void ReadHeader(Reader& r, std::uint64_t file_size, Archive& archive) {
  std::uint64_t id = r.Number();
  if (id == id::kArchiveProperties) {
    for (;;) {
      if (r.Number() == id::kEnd) break;
      r.Bytes(r.Count("archive property bytes"));
    }
    id = r.Number();
  }
  if (id == id::kAdditionalStreamsInfo) Unsupported("additional streams");
  StreamsInfo streams;
  if (id == id::kMainStreamsInfo) {
    ReadStreamsInfo(r, file_size, streams);
    id = r.Number();
  }
  if (id == id::kFilesInfo) {
    ReadFilesInfo(r, archive.entries);
    id = r.Number();
  }
  if (id != id::kEnd) Corrupt("unexpected property in header");

  // Files with data take the folders' files in order.
  std::size_t stream = 0;
  std::size_t folder = 0;
  std::size_t in_folder = 0;
  for (auto& entry : archive.entries) {
    if (!entry.has_stream) continue;
    if (stream == streams.substreams.size()) Corrupt("more files with data than stored streams");
    while (in_folder == streams.folders[folder].num_substreams) {
      ++folder;
      in_folder = 0;
    }
    entry.folder = folder;
    entry.size = streams.substreams[stream].size;
    entry.crc = streams.substreams[stream].crc;
    ++stream;
    ++in_folder;
  }
  if (stream != streams.substreams.size()) Corrupt("stored streams without files");

  archive.pack_streams = std::move(streams.pack_streams);
  archive.folders = std::move(streams.folders);
}

// A packed header is a streams info whose one folder decodes to the real header.
std::vector<std::uint8_t> UnpackHeader(Reader& r, ByteSource& source, std::uint64_t file_size) {
  StreamsInfo info;
  ReadStreamsInfo(r, file_size, info);
  if (info.folders.size() != 1) Corrupt("packed archive header is not one folder");
  const Folder& folder = info.folders[0];
  if (const Status s = CheckFolderSupported(folder); !s.ok()) {
    throw ArchiveError(s.code(), "archive header: " + s.message());
  }
  const std::uint64_t size = folder.UnpackSize();
  if (size == 0) Corrupt("packed archive header is empty");
  if (size > kMaxHeaderSize) Unsupported("archive header too large");

  Archive packed;
  packed.pack_streams = std::move(info.pack_streams);
  packed.folders = std::move(info.folders);
  const auto stream = OpenFolder(source, packed, 0);
  std::vector<std::uint8_t> header(static_cast<std::size_t>(size));
  auto out = std::as_writable_bytes(std::span(header));
  while (!out.empty()) {
    const std::size_t got = stream->Read(out);
    if (got == 0 || got > out.size()) Corrupt("packed archive header ends early");
    out = out.subspan(got);
  }
  if (packed.folders[0].crc && Crc32::Of(header) != *packed.folders[0].crc) {
    Corrupt("packed archive header CRC");
  }
  return header;
}

void ReadArchiveOrThrow(ByteSource& source, Archive& archive) {
  const std::uint64_t file_size = source.Size();
  std::array<std::uint8_t, kSignatureHeaderSize> start{};
  if (file_size < start.size()) Fail(ErrorCode::kNotArchive, "too short for a 7z archive");
  if (!source.ReadAt(0, std::as_writable_bytes(std::span(start)))) {
    Fail(ErrorCode::kIoError, "cannot read the archive");
  }
  if (!std::equal(kSignature.begin(), kSignature.end(), start.begin())) {
    Fail(ErrorCode::kNotArchive, "no 7z signature");
  }
  if (start[6] != 0) Unsupported("7z format version");
  const auto fields = std::span<const std::uint8_t>(start).subspan(12);
  if (Crc32::Of(fields) != LoadLe32(std::span(start).subspan(8))) Corrupt("start header CRC");
  const std::uint64_t next_offset = LoadLe64(fields);
  const std::uint64_t next_size = LoadLe64(fields.subspan(8));
  const std::uint32_t next_crc = LoadLe32(fields.subspan(16));

  if (next_size == 0) {
    if (next_offset != 0) Corrupt("empty header at an offset");
    return;  // an archive with nothing in it
  }
  const std::uint64_t room = file_size - kSignatureHeaderSize;
  if (next_offset > room || next_size > room - next_offset) Corrupt("archive is truncated");
  if (next_size > kMaxHeaderSize) Unsupported("archive header too large");

  std::vector<std::uint8_t> header(static_cast<std::size_t>(next_size));
  if (!source.ReadAt(kSignatureHeaderSize + next_offset,
                     std::as_writable_bytes(std::span(header)))) {
    Fail(ErrorCode::kIoError, "cannot read the archive header");
  }
  if (Crc32::Of(header) != next_crc) Corrupt("header CRC");
  // 7-Zip writes one level of packing; a few more are tolerated, endless ones are not.
  for (int level = 0;; ++level) {
    Reader r(header);
    const std::uint64_t first = r.Number();
    if (first == id::kHeader) {
      ReadHeader(r, file_size, archive);
      return;
    }
    if (first != id::kEncodedHeader) Corrupt("not a 7z header");
    if (level == kMaxHeaderPacking) Corrupt("archive header packed too many times");
    header = UnpackHeader(r, source, file_size);
  }
}

}  // namespace

std::uint32_t Folder::FirstInStream(std::size_t c) const {
  std::uint32_t first = 0;
  for (std::size_t i = 0; i < c; ++i) first += coders[i].num_in_streams;
  return first;
}

Status ReadArchive(ByteSource& source, Archive& archive) {
  archive = Archive{};
  try {
    ReadArchiveOrThrow(source, archive);
    return {};
  } catch (const ArchiveError& e) {
    archive = Archive{};
    return e.status();
  } catch (const std::bad_alloc&) {
    archive = Archive{};
    return {ErrorCode::kOutOfMemory, "out of memory reading the archive header"};
  } catch (const std::exception& e) {
    archive = Archive{};
    return {ErrorCode::kInternal, e.what()};
  }
}

}  // namespace tvl::sevenzip
