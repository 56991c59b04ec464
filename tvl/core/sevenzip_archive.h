// The 7z container: the signature header, the (plain) header with its streams and files
// sections, and the mapping of entries onto packed data. Decoding the data is elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tvl/core/byte_source.h"
#include "tvl/core/status.h"

namespace tvl::sevenzip {

inline constexpr std::size_t kSignatureHeaderSize = 32;
// Far above what any installer's file list needs; keeps a lying size field from turning into a
// giant allocation before its CRC can be checked.
inline constexpr std::uint64_t kMaxHeaderSize = 64u << 20;
// Limits on the coder graph of one folder; 7-Zip itself never writes more than a handful.
inline constexpr std::uint32_t kMaxCodersPerFolder = 64;
inline constexpr std::uint32_t kMaxStreamsPerFolder = 64;

struct Coder {
  std::vector<std::uint8_t> method_id;
  std::uint32_t num_in_streams = 1;  // packed side
  std::vector<std::uint8_t> properties;
};

// Feeds coder input stream `in_index` (numbered across the folder) from the output of coder
// `out_index` (every coder has exactly one output, so output and coder numbers coincide).
struct BindPair {
  std::uint32_t in_index = 0;
  std::uint32_t out_index = 0;
};

struct Folder {
  std::vector<Coder> coders;
  std::vector<BindPair> bind_pairs;
  // Folder-wide in-stream index fed by each of this folder's packed streams, in pack order.
  std::vector<std::uint32_t> packed_streams;
  std::vector<std::uint64_t> unpack_sizes;  // one per coder output
  std::uint32_t main_coder = 0;             // the coder whose output is the folder's output
  std::optional<std::uint32_t> crc;
  std::size_t first_pack_stream = 0;  // index into Archive::pack_streams
  std::size_t num_substreams = 1;     // files stored back to back in the folder's output

  std::uint64_t UnpackSize() const { return unpack_sizes[main_coder]; }
  // First in-stream index of coder `c`.
  std::uint32_t FirstInStream(std::size_t c) const;
};

struct PackStream {
  std::uint64_t offset = 0;  // absolute, in the archive file
  std::uint64_t size = 0;
};

struct Entry {
  std::u16string name;  // as stored: UTF-16, separators unchecked
  bool has_stream = false;
  bool is_dir = false;
  bool is_anti = false;  // "delete this path" marker of update archives
  std::optional<std::uint32_t> attributes;
  std::optional<std::uint64_t> mtime;  // FILETIMEs
  std::optional<std::uint64_t> ctime;
  std::optional<std::uint64_t> atime;
  // Meaningful when has_stream:
  std::size_t folder = 0;
  std::uint64_t size = 0;
  std::optional<std::uint32_t> crc;
};

struct Archive {
  std::vector<PackStream> pack_streams;
  std::vector<Folder> folders;
  std::vector<Entry> entries;
};

// Reads and checks the whole directory of the archive (never the file data). Every count and
// size is checked against the bytes the source really holds.
Status ReadArchive(ByteSource& source, Archive& archive);

}  // namespace tvl::sevenzip
