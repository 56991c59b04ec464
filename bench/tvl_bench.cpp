// Extracting one large 7z archive with tvl's reader (optimised host build)
// into a fresh folder, against `7z x` on the same archive in the same run;
// best of 3 each. Prints both times, the throughput ratio, and the peak
// memory of both (each measured in a child process of its own).
//
//   bench/tvl_bench ARCHIVE              (see bench/tvl_bench.sh for the data)
//   bench/tvl_bench --extract ARCHIVE DIR  (one extraction, for the memory probe)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tvl/core/archive_extractor.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class FileSource final : public tvl::ByteSource {
 public:
  explicit FileSource(const char* path) : fd_(::open(path, O_RDONLY)) {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0) size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::byte> out) override {
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t got =
          ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

class Writer final : public tvl::FileWriter {
 public:
  explicit Writer(const fs::path& path) : out_(std::fopen(path.c_str(), "wb")) {}
  ~Writer() override {
    if (out_) std::fclose(out_);
  }
  bool ok() const { return out_ != nullptr; }
  bool Write(std::span<const std::byte> data) override {
    return std::fwrite(data.data(), 1, data.size(), out_) == data.size();
  }
  bool Commit() override {
    const bool closed = std::fclose(out_) == 0;
    out_ = nullptr;
    return closed;
  }

 private:
  std::FILE* out_;
};

class Sink final : public tvl::ExtractSink {
 public:
  explicit Sink(fs::path root) : root_(std::move(root)) {}
  bool PrepareRoot() override { return fs::create_directories(root_) || fs::exists(root_); }
  bool CreateFolder(std::string_view path) override {
    std::error_code error;
    fs::create_directories(Native(path), error);
    return !error;
  }
  std::unique_ptr<tvl::FileWriter> BeginFile(std::string_view path) override {
    auto writer = std::make_unique<Writer>(Native(path));
    return writer->ok() ? std::move(writer) : nullptr;
  }

 private:
  fs::path Native(std::string_view path) const {
    std::string relative(path);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    return root_ / relative;
  }
  fs::path root_;
};

int ExtractOnce(const char* archive, const char* folder) {
  FileSource source(archive);
  Sink sink(folder);
  const tvl::Status status = tvl::ExtractArchive(source, sink);
  if (!status.ok()) {
    std::fprintf(stderr, "extraction failed: %s\n", status.message().c_str());
    return 1;
  }
  return 0;
}

// Runs a command in a child; its wall time, and its peak resident memory in KiB.
struct Run {
  double seconds;
  long peak_kib;
};
Run Measure(const std::vector<std::string>& command) {
  const auto start = Clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    std::vector<char*> argv;
    for (const auto& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::_Exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", command[0].c_str());
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--extract") return ExtractOnce(argv[2], argv[3]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tvl_bench ARCHIVE\n");
    return 2;
  }
  const std::string archive = argv[1];
  const fs::path work = fs::path(archive).parent_path() / "out";
  const double size_mb = static_cast<double>(fs::file_size(archive)) / 1e6;
  Run ours{1e9, 0}, theirs{1e9, 0};
  std::uint64_t unpacked = 0;
  for (int round = 0; round < 3; ++round) {
    fs::remove_all(work);
    const Run a = Measure({argv[0], "--extract", archive, (work / "tvl").string()});
    ours = {std::min(ours.seconds, a.seconds), std::max(ours.peak_kib, a.peak_kib)};
    const Run b = Measure({"7z", "x", "-y", "-o" + (work / "7z").string(), archive});
    theirs = {std::min(theirs.seconds, b.seconds), std::max(theirs.peak_kib, b.peak_kib)};
    if (round == 0) {
      for (const auto& entry : fs::recursive_directory_iterator(work / "7z")) {
        if (entry.is_regular_file()) unpacked += entry.file_size();
      }
      // The two trees must be the same before their times mean anything.
      const std::string diff =
          "diff -r '" + (work / "7z").string() + "' '" + (work / "tvl").string() + "' >/dev/null";
      if (std::system(diff.c_str()) != 0) {
        std::fprintf(stderr, "the extracted trees differ\n");
        return 1;
      }
    }
  }
  fs::remove_all(work);
  const double out_mb = static_cast<double>(unpacked) / 1e6;
  std::printf("archive %.1f MB, unpacked %.1f MB\n", size_mb, out_mb);
  std::printf("tvl:   %.2f s (%.1f MB/s out), peak %ld KiB\n", ours.seconds, out_mb / ours.seconds,
              ours.peak_kib);
  std::printf("7z x:  %.2f s (%.1f MB/s out), peak %ld KiB\n", theirs.seconds,
              out_mb / theirs.seconds, theirs.peak_kib);
  std::printf("throughput ratio (tvl / 7z): %.2f\n", theirs.seconds / ours.seconds);
  return 0;
}
