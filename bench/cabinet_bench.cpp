// Decoding a large MSZIP cabinet with the cabinet core against cabextract on
// the same cabinet, in the same run: both write the files into a fresh
// folder; best of 3 each. Prints both times and their ratio.
//
//   bench/cabinet_bench CABINET      (see bench/cabinet_bench.sh for the data)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "stub/cabinet/core/cabinet_format.h"
#include "stub/cabinet/core/folder_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

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

template <typename Work>
double BestSeconds(Work work) {
  double best = 1e300;
  for (int r = 0; r < 3; ++r) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: cabinet_bench CABINET\n");
    return 2;
  }
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "cabinet_bench";
  FileSource source(argv[1]);
  if (!source.ok()) return 1;
  cab::Cabinet cabinet;
  if (cab::ReadCabinet(source, 0, cabinet) != cab::Error::kNone) {
    std::fprintf(stderr, "not a cabinet the core reads\n");
    return 1;
  }
  bool failed = false;
  const double core = BestSeconds([&] {
    std::filesystem::remove_all(out);
    FolderSink sink(cabinet, out / "core");
    const cab::SetMember member{&source, &cabinet};
    if (cab::ExtractSet({&member, 1}, sink) != cab::Error::kNone || sink.failed()) failed = true;
  });
  const std::string command =
      "cabextract -q -d '" + (out / "cabextract").string() + "' '" + argv[1] + "'";
  const double reference = BestSeconds([&] {
    std::filesystem::remove_all(out / "cabextract");
    if (std::system(command.c_str()) != 0) failed = true;
  });
  std::filesystem::remove_all(out);
  if (failed) {
    std::fprintf(stderr, "an extraction failed\n");
    return 1;
  }
  std::printf("cabinet core: %.2f s, cabextract: %.2f s, ratio %.2f\n", core, reference,
              core / reference);
  return 0;
}
