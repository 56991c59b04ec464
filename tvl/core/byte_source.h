// Where archive bytes come from: a random-access source (a file on Windows, a buffer in tests and
// the fuzzer), and the pull-style stream that decoders are chained from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tvl {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills all of `out` from `offset`; false on an I/O error or when the range passes the end.
  // Two threads may call it at once: extraction decodes a folder's main stream in a thread of
  // its own while the caller's thread reads the folder's other packed streams.
  [[nodiscard]] virtual bool ReadAt(std::uint64_t offset, std::span<std::byte> out) = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const std::byte> data) : data_(data) {}
  explicit MemoryByteSource(std::span<const std::uint8_t> data) : data_(std::as_bytes(data)) {}

  std::uint64_t Size() const override { return data_.size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
    if (offset > data_.size() || out.size() > data_.size() - offset) return false;
    if (!out.empty()) std::memcpy(out.data(), data_.data() + offset, out.size());
    return true;
  }

 private:
  std::span<const std::byte> data_;
};

// A forward-only stream of decoded (or still packed) bytes.
class InStream {
 public:
  virtual ~InStream() = default;
  // Returns how many bytes were placed at the start of `out`; 0 only at the end of the stream
  // (or when `out` is empty). Errors are thrown as ArchiveError.
  virtual std::size_t Read(std::span<std::byte> out) = 0;
};

}  // namespace tvl
