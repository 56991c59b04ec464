#include "tvlc/linux/posix_build_port.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tvlc/core/source_error.h"

extern char** environ;

namespace tavrel::tvlc {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw SourceError("cannot " + what + " '" + path + "': " + std::strerror(errno));
}

[[noreturn]] void Fail(const std::string& what, const std::string& path,
                       const std::error_code& error) {
  throw SourceError("cannot " + what + " '" + path + "': " + error.message());
}

PathKind KindOf(const fs::file_status& status) {
  switch (status.type()) {
    case fs::file_type::not_found:
      return PathKind::kMissing;
    case fs::file_type::regular:
      return PathKind::kFile;
    case fs::file_type::directory:
      return PathKind::kFolder;
    default:
      return PathKind::kOther;
  }
}

void Write(const std::string& path, const std::string& bytes, std::ios::openmode mode) {
  std::ofstream out(path, std::ios::binary | mode);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) Fail("write", path);
}

// Closes a descriptor when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }
  int Get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

PathKind PosixBuildPort::Kind(const std::string& path) {
  std::error_code error;
  return KindOf(fs::status(path, error));
}

std::uint64_t PosixBuildPort::FileSize(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) Fail("read the size of", path, error);
  return size;
}

std::optional<std::string> PosixBuildPort::ReadFile(const std::string& path) {
  if (Kind(path) != PathKind::kFile) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

std::vector<FolderEntry> PosixBuildPort::ListFolder(const std::string& path) {
  std::error_code error;
  std::vector<FolderEntry> entries;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    FolderEntry entry;
    entry.name = it->path().filename().string();
    std::error_code ignored;
    entry.link = it->is_symlink(ignored);
    entry.kind = KindOf(it->status(ignored));
    if (entry.kind == PathKind::kFile) entry.size = it->file_size(ignored);
    entries.push_back(std::move(entry));
  }
  if (error) Fail("list", path, error);
  std::ranges::sort(entries, {}, &FolderEntry::name);
  return entries;
}

void PosixBuildPort::WriteFile(const std::string& path, const std::string& bytes) {
  Write(path, bytes, std::ios::trunc);
}

void PosixBuildPort::AppendFile(const std::string& path, const std::string& bytes) {
  Write(path, bytes, std::ios::app);
}

void PosixBuildPort::CopyFile(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  if (error) Fail("copy", from, error);
}

void PosixBuildPort::LinkFile(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::create_symlink(fs::absolute(from, error), to, error);
  if (error) CopyFile(from, to);
}

void PosixBuildPort::MakeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) Fail("make the folder", path, error);
}

std::string PosixBuildPort::MakeSiblingFolder(const std::string& path, const std::string& tag) {
  const fs::path target(path);
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  if (error) Fail("make the folder", target.parent_path().string(), error);
  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + "." + tag + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) Fail("make a folder beside", path);
  // The folder becomes the output: the rights a new folder gets, not the
  // owner-only ones of a temporary folder.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(pattern.c_str(), 0777 & ~mask);
  return pattern;
}

void PosixBuildPort::ReplaceFolder(const std::string& from, const std::string& target) {
  // An existing output is exchanged with the new one in one step, so that
  // there is no moment without either.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    Remove(from);
    return;
  }
  if (errno != ENOENT) Fail("put the setup folder in place of", target);
  if (::rename(from.c_str(), target.c_str()) != 0) Fail("put the setup folder in place of", target);
}

void PosixBuildPort::Remove(const std::string& path) {
  std::error_code error;
  fs::remove_all(path, error);
  if (error) Fail("remove", path, error);
}

ToolRun PosixBuildPort::Run(const std::vector<std::string>& arguments, const std::string& cwd) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) Fail("run", arguments.front());
  Descriptor outRead(out[0]), outWrite(out[1]);
  if (::pipe2(err, O_CLOEXEC) != 0) Fail("run", arguments.front());
  Descriptor errRead(err[0]), errWrite(err[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), 1);
  posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), 2);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  outWrite.Close();
  errWrite.Close();
  if (spawned != 0) {
    errno = spawned;
    Fail("run", arguments.front());
  }
  ToolRun run;
  pollfd fds[2] = {{outRead.Get(), POLLIN, 0}, {errRead.Get(), POLLIN, 0}};
  std::string* texts[2] = {&run.output, &run.errors};
  for (int open = 2; open > 0;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        texts[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace tavrel::tvlc
