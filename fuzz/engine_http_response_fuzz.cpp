// Fuzzes what the engine's HTTP client reads from the network. Byte 0 picks
// the mode. Bit 0 clear: the rest is one response for the response reader
// (bit 1: to a HEAD request, bit 2: the connection closes after it, bits
// 3-5: the size of the pieces it arrives in), read whole and in pieces; both
// must agree, the body may not be larger than the input, and a response
// complete by its length has exactly that many body bytes. Bit 0 set: the
// rest, split at each "\n--\n", is what a server answers on one connection
// after another to a whole download (bit 1: a partial target file of 3000
// bytes, bit 2: through a proxy); it must end, and only a download that
// wrote its file may succeed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "engine/core/http_download.h"
#include "engine/core/http_response.h"

namespace {

using tavrel::HttpResponseReader;

struct Read {
  HttpResponseReader::Stage stage;
  int status;
  std::string body;
  std::string failure;
};

Read ReadResponse(std::string_view answer, bool toHead, bool closed, std::size_t piece) {
  HttpResponseReader reader(toHead);
  std::string body;
  for (std::size_t at = 0; at < answer.size(); at += piece) {
    reader.Feed(answer.substr(at, piece), body);
  }
  if (closed) reader.Close();
  if (reader.stage() == HttpResponseReader::Stage::kComplete && reader.bodyLength() && !toHead &&
      reader.head().status >= 200 && reader.head().status != 204 && reader.head().status != 304 &&
      *reader.bodyLength() != body.size()) {
    std::abort();
  }
  if (reader.bodyReceived() != body.size()) std::abort();
  return {reader.stage(), reader.head().status, body, reader.failure()};
}

void FuzzReader(std::uint8_t mode, std::string_view answer) {
  static constexpr std::size_t kPieces[] = {1, 2, 3, 5, 7, 64, 977, 4096};
  const bool toHead = (mode & 2) != 0;
  const bool closed = (mode & 4) != 0;
  const Read whole = ReadResponse(answer, toHead, closed, answer.size() + 1);
  const Read pieces = ReadResponse(answer, toHead, closed, kPieces[(mode >> 3) & 7]);
  if (whole.stage != pieces.stage || whole.status != pieces.status || whole.body != pieces.body ||
      whole.failure != pieces.failure) {
    std::abort();
  }
  if (whole.body.size() > answer.size()) std::abort();
  if ((whole.stage == HttpResponseReader::Stage::kFailed) == whole.failure.empty()) std::abort();
}

class Connection final : public tavrel::NetConnection {
 public:
  explicit Connection(std::string answer) : answer_(std::move(answer)) {}
  bool SendAll(std::string_view, int) override { return true; }
  int Receive(std::span<char> buffer, int) override {
    if (sent_ == answer_.size()) return 0;
    const std::size_t piece = std::min<std::size_t>({buffer.size(), 700, answer_.size() - sent_});
    std::copy_n(answer_.data() + sent_, piece, buffer.data());
    sent_ += piece;
    return static_cast<int>(piece);
  }

 private:
  std::string answer_;
  std::size_t sent_ = 0;
};

class File final : public tavrel::DownloadFile {
 public:
  explicit File(std::string& data) : data_(data) {}
  bool Write(std::span<const char> data) override {
    data_.append(data.data(), data.size());
    return true;
  }

 private:
  std::string& data_;
};

class Media final : public tavrel::MediaPort {
 public:
  tavrel::ServiceDownload DownloadToCache(const std::string&,
                                          tavrel::ServiceProgressSink&) override {
    return {};
  }
  std::unique_ptr<tavrel::NetConnection> Connect(const std::string&, std::uint16_t, int,
                                                 const tavrel::StillWanted&) override {
    if (answers.empty()) return nullptr;
    auto connection = std::make_unique<Connection>(std::move(answers.front()));
    answers.pop_front();
    return connection;
  }
  std::int64_t FileSize(const std::string& path) override {
    const auto found = files.find(path);
    return found == files.end() ? -1 : static_cast<std::int64_t>(found->second.size());
  }
  std::unique_ptr<tavrel::DownloadFile> OpenForWritingAt(const std::string& path,
                                                         std::uint64_t offset) override {
    std::string& data = files[path];
    if (offset > data.size()) std::abort();  // never past what is there
    data.resize(offset);
    opened = true;
    return std::make_unique<File>(data);
  }
  std::vector<std::string> FilesIn(const std::string&) override { return {}; }
  std::vector<std::string> FilesBelow(const std::string&) override { return {}; }
  bool MoveFileTo(const std::string&, const std::string&) override { return false; }
  bool CopyFileTo(const std::string&, const std::string&) override { return false; }
  bool RemoveEmptyFolder(const std::string&) override { return false; }
  bool CreateEmptyFile(const std::string&) override { return false; }
  bool ExtractArchive(const std::string&, const std::string&, const ExtractProgress&) override {
    return false;
  }
  void Wake(std::intptr_t) override {}

  std::deque<std::string> answers;
  std::map<std::string, std::string> files;
  bool opened = false;
};

void FuzzDownload(std::uint8_t mode, std::string_view script) {
  Media media;
  while (true) {
    const std::size_t cut = script.find("\n--\n");
    media.answers.emplace_back(script.substr(0, cut));
    if (cut == std::string_view::npos) break;
    script.remove_prefix(cut + 4);
  }
  const std::size_t connections = media.answers.size();
  if (mode & 2) media.files["t"] = std::string(3000, 'k');
  tavrel::HttpDownloadRequest request{"http://files.example/dir/data.7z", "t", {}, true};
  if (mode & 4) request.proxy = {"proxy.example", "8080", "user", "password"};
  std::uint64_t last = 0;
  const auto result = tavrel::HttpDownload(
      media, request,
      [&](std::uint64_t received, std::uint64_t) {
        if (received == 0) std::abort();  // reported after bytes were written
        last = received;
        return true;
      },
      [] { return true; });
  if (result.succeeded && (!media.opened || result.status >= 400 || !result.failure.empty())) {
    std::abort();
  }
  if (!result.succeeded && result.failure.empty()) std::abort();
  if (last != 0 && media.files["t"].size() != last) std::abort();
  if (media.answers.size() > connections) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (mode & 1) {
    FuzzDownload(mode, rest);
  } else {
    FuzzReader(mode, rest);
  }
  return 0;
}
