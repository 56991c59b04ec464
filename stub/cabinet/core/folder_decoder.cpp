#include "stub/cabinet/core/folder_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace cab {

Error FolderStream::Open(ByteSource& source, const Cabinet& cabinet, std::size_t index) {
  source_ = nullptr;
  if (index >= cabinet.folders.size()) return Error::kCorruptCabinet;
  const Folder& folder = cabinet.folders[index];
  if (Error e = CheckCompression(folder.compression); e != Error::kNone) return e;
  if (folder.method() == Method::kLzx) {
    if (!lzx_) lzx_.reset(new (std::nothrow) LzxDecoder);
    if (!lzx_) return Error::kOutOfMemory;
    if (Error e = lzx_->Reset((folder.compression >> 8) & 0x1F); e != Error::kNone) return e;
  }
  if (folder.method() == Method::kMszip) {
    if (!mszip_) mszip_.reset(new (std::nothrow) MszipDecoder);
    if (!mszip_) return Error::kOutOfMemory;
    mszip_->Reset();
  }
  source_ = &source;
  cabinet_ = &cabinet;
  compression_ = folder.compression;
  nextBlock_ = folder.dataOffset;
  blocksLeft_ = folder.blockCount;
  position_ = 0;
  ahead_ = {};
  deferred_ = Error::kNone;
  pending_.clear();
  chunk_ = {};
  return Error::kNone;
}

Error FolderStream::Continue(ByteSource& source, const Cabinet& next) {
  if (source_ == nullptr || blocksLeft_ != 0 || !chunk_.empty() || next.folders.empty()) {
    return Error::kCorruptCabinet;
  }
  const Folder& folder = next.folders.front();
  if (folder.compression != compression_) return Error::kWrongCabinet;
  source_ = &source;
  cabinet_ = &next;
  ahead_ = {};
  nextBlock_ = folder.dataOffset;
  blocksLeft_ = folder.blockCount;
  return Error::kNone;
}

Error FolderStream::NextBlock() {
  --blocksLeft_;
  if (Error e = ReadDataBlock(*source_, *cabinet_, nextBlock_, block_, &ahead_);
      e != Error::kNone) {
    return e;
  }
  if (block_.uncompressedSize == 0) {
    // Cut at the cabinet's end: only the last block here may be, and the rest comes next.
    if (blocksLeft_ != 0 || pending_.size() + block_.data.size() > kMaxBlockCompressed) {
      return Error::kCorruptCabinet;
    }
    pending_.insert(pending_.end(), block_.data.begin(), block_.data.end());
    return Error::kNone;
  }
  if (!pending_.empty()) {
    if (pending_.size() + block_.data.size() > kMaxBlockCompressed) return Error::kCorruptCabinet;
    block_.data.insert(block_.data.begin(), pending_.begin(), pending_.end());
    pending_.clear();
  }
  if (position_ + block_.uncompressedSize > kMaxFolderUncompressed) return Error::kCorruptCabinet;
  if (static_cast<Method>(compression_ & 0x000F) == Method::kMszip) {
    return mszip_->DecodeBlock(block_.data, block_.uncompressedSize, chunk_);
  }
  if (static_cast<Method>(compression_ & 0x000F) == Method::kLzx) {
    return lzx_->DecodeBlock(block_.data, block_.uncompressedSize, chunk_);
  }
  if (block_.data.size() != block_.uncompressedSize) return Error::kCorruptCabinet;
  chunk_ = block_.data;
  return Error::kNone;
}

Error FolderStream::Pull(std::uint8_t* out, std::uint64_t count, std::uint64_t& got) {
  got = 0;
  if (source_ == nullptr) return Error::kCorruptCabinet;
  while (got < count) {
    std::span<const std::uint8_t> view;
    if (Error e = View(count - got, view); e != Error::kNone) return e;
    if (view.empty()) break;
    if (out != nullptr) std::memcpy(out + got, view.data(), view.size());
    got += view.size();
  }
  return Error::kNone;
}

Error FolderStream::View(std::uint64_t max, std::span<const std::uint8_t>& view) {
  view = {};
  if (source_ == nullptr) return Error::kCorruptCabinet;
  while (chunk_.empty()) {
    if (deferred_ != Error::kNone || blocksLeft_ == 0) {
      if (deferred_ != Error::kNone) source_ = nullptr;
      return deferred_;
    }
    if (Error e = NextBlock(); e != Error::kNone) {
      source_ = nullptr;  // no reading on after a fault
      return e;
    }
  }
  // Join the MSZIP blocks that the decoder writes one behind the other, as far as asked.
  while (chunk_.size() < max && blocksLeft_ != 0 && deferred_ == Error::kNone &&
         static_cast<Method>(compression_ & 0x000F) == Method::kMszip && mszip_->FollowsOn()) {
    const std::span<const std::uint8_t> before = chunk_;
    deferred_ = NextBlock();
    if (deferred_ != Error::kNone || chunk_.data() != before.data() + before.size()) {
      chunk_ = before;  // a fault (reported after these bytes), or a block cut at the end
      break;
    }
    chunk_ = std::span(before.data(), before.size() + chunk_.size());
  }
  view = chunk_.first(static_cast<std::size_t>(std::min<std::uint64_t>(max, chunk_.size())));
  chunk_ = chunk_.subspan(view.size());
  position_ += view.size();
  return Error::kNone;
}

Error FolderStream::Read(std::span<std::uint8_t> out, std::size_t& got) {
  std::uint64_t n = 0;
  const Error e = Pull(out.data(), out.size(), n);
  got = static_cast<std::size_t>(n);
  return e;
}

Error FolderStream::Skip(std::uint64_t count, std::uint64_t& skipped) {
  return Pull(nullptr, count, skipped);
}

namespace {

bool SpansToNext(const Cabinet& cabinet) {
  if (!(cabinet.header.flags & kFlagNextCabinet)) return false;
  return std::any_of(cabinet.files.begin(), cabinet.files.end(),
                     [](const File& f) { return f.ContinuedToNext(); });
}

struct Entry {
  std::size_t cabinet;
  std::size_t file;
  std::uint64_t begin, end;
  bool done;
};

// Extracts the files of the folder that starts at folder `folder` of member `first` and goes on
// through the members after it as long as files span them.
Error ExtractFolder(std::span<const SetMember> set, std::size_t first, std::size_t folder,
                    FolderStream& stream, FileSink& sink) {
  std::vector<Entry> entries;
  std::size_t lastMember = first;
  for (std::size_t m = first, f = folder; m < set.size(); ++m, f = 0) {
    const Cabinet& cabinet = *set[m].cabinet;
    for (std::size_t i = 0; i < cabinet.files.size(); ++i) {
      const File& file = cabinet.files[i];
      if (cabinet.FolderOf(file) != f || file.ContinuedFromPrev()) continue;
      entries.push_back(
          {m, i, file.folderOffset, std::uint64_t{file.folderOffset} + file.size, false});
    }
    lastMember = m;
    if (f + 1 != cabinet.folders.size() || !SpansToNext(cabinet)) break;
  }
  if (entries.empty()) return Error::kNone;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.begin < b.begin; });

  Error result = Error::kNone;
  auto finishRest = [&](Error e) {
    for (Entry& entry : entries) {
      if (!entry.done) sink.Finish(entry.cabinet, entry.file, e);
      entry.done = true;
    }
    return e;
  };
  // Empty files need no data.
  for (Entry& entry : entries) {
    if (entry.begin == entry.end) {
      sink.Finish(entry.cabinet, entry.file, Error::kNone);
      entry.done = true;
    }
  }
  std::uint64_t end = 0;
  for (const Entry& entry : entries) end = std::max(end, entry.done ? 0 : entry.end);
  if (end == 0) return Error::kNone;

  if (Error e = stream.Open(*set[first].source, *set[first].cabinet, folder); e != Error::kNone) {
    return finishRest(e);
  }
  std::size_t member = first;
  std::size_t firstOpen = 0;
  while (stream.position() < end) {
    const std::uint64_t at = stream.position();
    std::span<const std::uint8_t> view;
    if (Error e = stream.View(end - at, view); e != Error::kNone) return finishRest(e);
    const std::size_t got = view.size();
    for (std::size_t k = firstOpen; k < entries.size() && entries[k].begin < at + got; ++k) {
      Entry& entry = entries[k];
      if (entry.done || entry.end <= at) continue;
      const std::uint64_t from = std::max(entry.begin, at);
      const std::uint64_t to = std::min(entry.end, at + got);
      const auto piece =
          view.subspan(static_cast<std::size_t>(from - at), static_cast<std::size_t>(to - from));
      if (!sink.Write(entry.cabinet, entry.file, piece)) return finishRest(Error::kUserAbort);
      if (to == entry.end) {
        sink.Finish(entry.cabinet, entry.file, Error::kNone);
        entry.done = true;
      }
    }
    while (firstOpen < entries.size() && entries[firstOpen].done) ++firstOpen;
    if (got == 0) {
      // This member's part of the folder is used up.
      if (member == lastMember) {
        const bool missing = SpansToNext(*set[member].cabinet) && member + 1 == set.size();
        result = missing ? Error::kCabinetNotFound : Error::kCorruptCabinet;
        break;
      }
      ++member;
      if (Error e = stream.Continue(*set[member].source, *set[member].cabinet); e != Error::kNone) {
        return finishRest(e);
      }
    }
  }
  finishRest(result);
  return result;
}

}  // namespace

Error ExtractSet(std::span<const SetMember> set, FileSink& sink) {
  for (const SetMember& member : set) {
    // Only cabinets that ReadCabinet accepted have folders and files.
    if (member.cabinet->folders.empty() || member.cabinet->files.empty()) {
      return Error::kCorruptCabinet;
    }
  }
  for (std::size_t m = 1; m < set.size(); ++m) {
    if (Error e = CheckSequence(*set[m - 1].cabinet, *set[m].cabinet); e != Error::kNone) return e;
  }
  std::unique_ptr<FolderStream> stream(new (std::nothrow) FolderStream);
  if (!stream) return Error::kOutOfMemory;
  Error result = Error::kNone;
  for (std::size_t m = 0; m < set.size(); ++m) {
    const Cabinet& cabinet = *set[m].cabinet;
    // Folder 0 went with the previous member's last folder when files span the two.
    const bool joined = m > 0 && SpansToNext(*set[m - 1].cabinet);
    for (std::size_t f = joined ? 1 : 0; f < cabinet.folders.size(); ++f) {
      const Error e = ExtractFolder(set, m, f, *stream, sink);
      if (e == Error::kUserAbort) return e;
      if (result == Error::kNone) result = e;
    }
  }
  return result;
}

}  // namespace cab
