// One extraction of a cabinet with the cabinet core, writing the files below
// FOLDER as an extractor would. bench/cabinet_bench.sh times it against
// cabextract on the same cabinet (bench/pair_bench.py).
//
//   cabinet_bench CABINET FOLDER
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "stub/cabinet/core/cabinet_format.h"
#include "stub/cabinet/core/folder_decoder.h"

namespace {

class FileSource final : public cab::ByteSource {
 public:
  explicit FileSource(const char* path) : fd_(::open(path, O_RDONLY)) {}
  ~FileSource() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool ok() const { return fd_ >= 0; }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    const ssize_t got = ::pread(fd_, out.data(), out.size(), static_cast<off_t>(offset));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

 private:
  int fd_;
};

// Writes each file below a folder, as an extractor would.
class FolderSink final : public cab::FileSink {
 public:
  FolderSink(const cab::Cabinet& cabinet, std::filesystem::path folder)
      : cabinet_(cabinet), folder_(std::move(folder)) {}
  ~FolderSink() {
    for (std::FILE* file : files_) {
      if (file != nullptr) std::fclose(file);
    }
  }
  FolderSink(const FolderSink&) = delete;
  FolderSink& operator=(const FolderSink&) = delete;

  bool Write(std::size_t, std::size_t file, std::span<const std::uint8_t> data) override {
    std::FILE* out = Open(file);
    return out != nullptr && std::fwrite(data.data(), 1, data.size(), out) == data.size();
  }
  void Finish(std::size_t, std::size_t file, cab::Error result) override {
    std::FILE* out = Open(file);
    if (out != nullptr) std::fclose(out);
    files_[file] = nullptr;
    if (result != cab::Error::kNone) failed_ = true;
  }
  bool failed() const { return failed_; }

 private:
  std::FILE* Open(std::size_t file) {
    if (files_.size() <= file) files_.resize(file + 1, nullptr);
    if (files_[file] == nullptr) {
      std::string name = cabinet_.files[file].name;
      std::replace(name.begin(), name.end(), '\\', '/');
      const auto path = folder_ / name;
      std::filesystem::create_directories(path.parent_path());
      files_[file] = std::fopen(path.c_str(), "wb");
    }
    return files_[file];
  }

  const cab::Cabinet& cabinet_;
  std::filesystem::path folder_;
  std::vector<std::FILE*> files_;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: cabinet_bench CABINET FOLDER\n");
    return 2;
  }
  FileSource source(argv[1]);
  if (!source.ok()) return 1;
  cab::Cabinet cabinet;
  if (cab::ReadCabinet(source, 0, cabinet) != cab::Error::kNone) {
    std::fprintf(stderr, "not a cabinet the core reads\n");
    return 1;
  }
  FolderSink sink(cabinet, argv[2]);
  const cab::SetMember member{&source, &cabinet};
  if (cab::ExtractSet({&member, 1}, sink) != cab::Error::kNone || sink.failed()) {
    std::fprintf(stderr, "the extraction failed\n");
    return 1;
  }
  return 0;
}
