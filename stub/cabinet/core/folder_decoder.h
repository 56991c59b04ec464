// A folder's uncompressed data, block by block (possibly on through the following cabinets of a
// set), and the carving of that data into the files that lie in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "stub/cabinet/core/cabinet_format.h"
#include "stub/cabinet/core/lzx_decoder.h"
#include "stub/cabinet/core/mszip_decoder.h"

namespace cab {

// The uncompressed data of one folder, in order. The source and cabinet handed to Open and
// Continue must stay alive while the stream reads from them.
class FolderStream {
 public:
  // Starts at the first data block of folder `index`. kBadCompressionType for a method that is
  // not decoded here.
  Error Open(ByteSource& source, const Cabinet& cabinet, std::size_t index);

  // Carries on with the first folder of the next cabinet of the set, once Read has reported this
  // cabinet's part of the folder used up. A block cut at the cabinet's end is joined with its
  // rest at the start of `next`.
  Error Continue(ByteSource& source, const Cabinet& next);

  // Fills `out` with the next bytes. Returns kNone with got < out.size() only when the folder's
  // blocks in the current cabinet are used up (the folder ends, or goes on in the next cabinet).
  Error Read(std::span<std::uint8_t> out, std::size_t& got);

  // As Read, discarding the bytes.
  Error Skip(std::uint64_t count, std::uint64_t& skipped);

  // As Read without a copy: `view` shows the next bytes (at most `max`) where the decoder left
  // them, until the next call; MSZIP blocks that lie one behind the other come in one view, so
  // that the caller writes in large pieces. Empty with kNone only when the folder's blocks in
  // the current cabinet are used up.
  Error View(std::uint64_t max, std::span<const std::uint8_t>& view);

  // Bytes delivered (read or skipped) since Open.
  std::uint64_t position() const { return position_; }

 private:
  Error Pull(std::uint8_t* out, std::uint64_t count, std::uint64_t& got);
  Error NextBlock();

  ByteSource* source_ = nullptr;
  const Cabinet* cabinet_ = nullptr;
  std::uint16_t compression_ = 0;
  std::uint64_t nextBlock_ = 0;
  unsigned blocksLeft_ = 0;
  std::uint64_t position_ = 0;
  DataBlock block_;
  HeaderAhead ahead_;                  // of source_
  std::vector<std::uint8_t> pending_;  // the first part of a block cut at a cabinet's end
  std::span<const std::uint8_t> chunk_;
  Error deferred_ = Error::kNone;  // met while joining blocks: reported once chunk_ is used up
  std::unique_ptr<MszipDecoder> mszip_;
  std::unique_ptr<LzxDecoder> lzx_;
};

// Receives the files of a cabinet set. Write hands on a file's data in order; the data of files
// that overlap in a folder may interleave. Finish ends every file that was started, with kNone
// when all its bytes came.
class FileSink {
 public:
  // Returning false stops the extraction (kUserAbort).
  virtual bool Write(std::size_t cabinet, std::size_t file, std::span<const std::uint8_t> data) = 0;
  virtual void Finish(std::size_t cabinet, std::size_t file, Error result) = 0;

 protected:
  ~FileSink() = default;
};

struct SetMember {
  ByteSource* source = nullptr;
  const Cabinet* cabinet = nullptr;
};

// Extracts every file that starts in one of the cabinets `set` (consecutive members of one
// cabinet set). A folder goes on into the next member when a file spans the two. Each folder
// is decoded once, as far as its last file reaches. Returns the first error of any file, or of
// the set itself.
Error ExtractSet(std::span<const SetMember> set, FileSink& sink);

}  // namespace cab
