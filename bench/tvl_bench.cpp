// Extracting one large 7z archive with tvl's reader (optimised host build)
// into a fresh folder, against `7z x` on the same archive: one warm-up pair,
// then PAIRS pairs (default 5) alternating ours and theirs. Prints the median
// time of each, the median of the per-pair time ratios (ours / 7z) with its
// minimum and maximum, and the peak memory of both (each measured in a child
// process of its own). Ends with the RESULT line that scripts/bench collects, under the name
// FIGURE and with the goal GOAL when they are given.
//
//   bench/tvl_bench ARCHIVE [PAIRS [FIGURE GOAL]]   (see bench/tvl_bench.sh for the data)
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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--extract") return ExtractOnce(argv[2], argv[3]);
  if (argc != 2 && argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: tvl_bench ARCHIVE [PAIRS [FIGURE GOAL]]\n");
    return 2;
  }
  const std::string archive = argv[1];
  const int pairs = argc >= 3 ? std::max(1, std::atoi(argv[2])) : 5;
  const fs::path work = fs::path(archive).parent_path() / "out";
  const double size_mb = static_cast<double>(fs::file_size(archive)) / 1e6;
  std::vector<double> ours, theirs, ratios;
  long ours_peak = 0, theirs_peak = 0;
  std::uint64_t unpacked = 0;
  for (int round = 0; round <= pairs; ++round) {
    fs::remove_all(work);
    const Run a = Measure({argv[0], "--extract", archive, (work / "tvl").string()});
    const Run b = Measure({"7z", "x", "-y", "-o" + (work / "7z").string(), archive});
    ours_peak = std::max(ours_peak, a.peak_kib);
    theirs_peak = std::max(theirs_peak, b.peak_kib);
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
      continue;  // the warm-up pair is not counted
    }
    ours.push_back(a.seconds);
    theirs.push_back(b.seconds);
    ratios.push_back(a.seconds / b.seconds);
  }
  fs::remove_all(work);
  const double out_mb = static_cast<double>(unpacked) / 1e6;
  const double our_time = Median(ours), their_time = Median(theirs);
  std::printf("%s: archive %.1f MB, unpacked %.1f MB, %d pairs after a warm-up\n",
              fs::path(archive).filename().c_str(), size_mb, out_mb, pairs);
  std::printf("tvl:   %.2f s median (%.1f MB/s out), peak %ld KiB\n", our_time, out_mb / our_time,
              ours_peak);
  std::printf("7z x:  %.2f s median (%.1f MB/s out), peak %ld KiB\n", their_time,
              out_mb / their_time, theirs_peak);
  const double ratio = Median(ratios);
  const double low = *std::min_element(ratios.begin(), ratios.end());
  const double high = *std::max_element(ratios.begin(), ratios.end());
  std::printf("time ratio (tvl / 7z x): median %.2f, min %.2f, max %.2f\n", ratio, low, high);
  const std::string figure =
      argc == 5 ? argv[3] : "7z extraction, " + fs::path(archive).filename().string();
  std::printf("RESULT|%s %.1f MB|%.2f s|%.2f s (7z x)|%.2f|%.2f|%.2f|%ld MiB|%ld MiB|%s\n",
              figure.c_str(), size_mb, our_time, their_time, ratio, low, high,
              (ours_peak + 512) / 1024, (theirs_peak + 512) / 1024, argc == 5 ? argv[4] : "-");
  return 0;
}
