// Shared helpers of the cabinet tests: files and scratch folders, running cabextract and gcab,
// a sink that collects extracted files, and a small builder of hand-made cabinets.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "stub/cabinet/core/cabinet_format.h"
#include "stub/cabinet/core/folder_decoder.h"

namespace cab::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

inline std::filesystem::path DataDir() {
  return std::filesystem::path(TAVREL_SOURCE_DIR) / "tests" / "data" / "cab";
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A scratch folder, removed with its contents at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cabtestXXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline int Run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

// Every regular file under `root`, by its path relative to root.
inline std::map<std::string, Bytes> FilesUnder(const std::filesystem::path& root) {
  std::map<std::string, Bytes> files;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    if (item.is_regular_file()) {
      files[std::filesystem::relative(item.path(), root).generic_string()] = ReadBytes(item.path());
    }
  }
  return files;
}

// What cabextract makes of the cabinet (set) starting with `cabinet`.
inline std::map<std::string, Bytes> Cabextract(const std::filesystem::path& cabinet) {
  TempDir out;
  Run("cabextract -q -d '" + out.path().string() + "' '" + cabinet.string() + "'");
  return FilesUnder(out.path());
}

struct Extracted {
  Bytes data;
  bool finished = false;
  Error result = Error::kNone;
};

// Collects files by (member, file index).
class CollectingSink final : public FileSink {
 public:
  bool Write(std::size_t cabinet, std::size_t file, std::span<const std::uint8_t> data) override {
    auto& item = files[{cabinet, file}];
    EXPECT_FALSE(item.finished);
    item.data.insert(item.data.end(), data.begin(), data.end());
    return item.data.size() <= writeLimit;
  }
  void Finish(std::size_t cabinet, std::size_t file, Error result) override {
    auto& item = files[{cabinet, file}];
    EXPECT_FALSE(item.finished);
    item.finished = true;
    item.result = result;
  }

  std::map<std::pair<std::size_t, std::size_t>, Extracted> files;
  std::size_t writeLimit = SIZE_MAX;
};

// A set of cabinets held in memory, read and ready for ExtractSet.
struct LoadedSet {
  std::vector<Bytes> images;
  std::vector<MemorySource> sources;
  std::vector<Cabinet> cabinets;
  std::vector<SetMember> members;
  Error readResult = Error::kNone;

  explicit LoadedSet(std::vector<Bytes> cabinetImages, std::uint64_t base = 0)
      : images(std::move(cabinetImages)) {
    sources.reserve(images.size());
    cabinets.resize(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
      sources.emplace_back(images[i]);
      const Error e = ReadCabinet(sources[i], base, cabinets[i]);
      if (e != Error::kNone && readResult == Error::kNone) readResult = e;
      members.push_back({&sources[i], &cabinets[i]});
    }
  }
  LoadedSet(const LoadedSet&) = delete;

  // Extracted files by name; every file must have finished with kNone.
  Error Extract(std::map<std::string, Bytes>& byName, CollectingSink& sink) {
    const Error e = ExtractSet(members, sink);
    for (const auto& [key, item] : sink.files) {
      EXPECT_TRUE(item.finished);
      if (item.result == Error::kNone) {
        std::string name = cabinets[key.first].files[key.second].name;
        for (char& c : name) c = c == '\\' ? '/' : c;
        byName[name] = item.data;
      }
    }
    return e;
  }
};

// Little-endian writer for hand-made cabinets.
struct Writer {
  Bytes bytes;
  void U8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
  void U16(unsigned v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void U32(std::uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Str(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    U8(0);
  }
  void Raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  void Put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
};

struct TestBlock {
  Bytes data;
  std::uint16_t uncompressed;
  bool checksum = true;
};

struct TestFile {
  std::string name;
  std::uint32_t size, offset;
  std::uint16_t folder;
};

// One cabinet with one folder of the given compression and blocks, and the files listed.
// With the previous/next flags set, the set links read "prev.cab"/"next.cab" on disk "d".
inline Bytes MakeCabinet(std::uint16_t compression, const std::vector<TestBlock>& blocks,
                         const std::vector<TestFile>& files, unsigned flags = 0,
                         unsigned index = 0) {
  Writer w;
  w.Raw({'M', 'S', 'C', 'F'});
  w.U32(0);
  w.U32(0);  // size, patched below
  w.U32(0);
  w.U32(0);  // files offset, patched below
  w.U32(0);
  w.U8(3);
  w.U8(1);
  w.U16(1);
  w.U16(static_cast<unsigned>(files.size()));
  w.U16(flags);
  w.U16(0x1234);
  w.U16(index);
  if (flags & kFlagPrevCabinet) {
    w.Str("prev.cab");
    w.Str("d");
  }
  if (flags & kFlagNextCabinet) {
    w.Str("next.cab");
    w.Str("d");
  }
  const std::size_t folderAt = w.bytes.size();
  w.U32(0);
  w.U16(static_cast<unsigned>(blocks.size()));
  w.U16(compression);
  w.Put32(16, static_cast<std::uint32_t>(w.bytes.size()));
  for (const TestFile& f : files) {
    w.U32(f.size);
    w.U32(f.offset);
    w.U16(f.folder);
    w.U16(0x226C);
    w.U16(0x59BA);
    w.U16(0x20);
    w.Str(f.name);
  }
  w.Put32(folderAt, static_cast<std::uint32_t>(w.bytes.size()));
  for (const TestBlock& b : blocks) {
    Bytes head = {
        static_cast<std::uint8_t>(b.data.size()), static_cast<std::uint8_t>(b.data.size() >> 8),
        static_cast<std::uint8_t>(b.uncompressed), static_cast<std::uint8_t>(b.uncompressed >> 8)};
    w.U32(b.checksum ? Checksum(head, Checksum(b.data, 0)) : 0);
    w.Raw(head);
    w.Raw(b.data);
  }
  w.Put32(8, static_cast<std::uint32_t>(w.bytes.size()));
  return w.bytes;
}

}  // namespace cab::test
