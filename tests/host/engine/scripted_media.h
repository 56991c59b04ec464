// A media port for the HTTP client's tests and fuzz harness: each connection
// gets the next scripted answer and records the request sent on it; files
// are strings in memory. Everything else does nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/media_port.h"

namespace tavrel {

// What a scripted server does on one connection.
struct Answer {
  std::string bytes{};  // sent in reply to the request, then the connection closes
  bool refuse = false;  // no connection at all
  bool silent = false;  // after the bytes, nothing ever comes and nothing closes
};

class ScriptedConnection final : public NetConnection {
 public:
  ScriptedConnection(Answer answer, std::string& request)
      : answer_(std::move(answer)), request_(request) {}

  bool SendAll(std::string_view data, int) override {
    request_ += data;
    return true;
  }
  int Receive(std::span<char> buffer, int) override {
    if (!request_.ends_with("\r\n\r\n")) return kReceiveFailed;  // asked before the request
    if (sent_ == answer_.bytes.size()) return answer_.silent ? kReceiveTimedOut : 0;
    // Uneven pieces, so that line ends and bodies fall across reads.
    const std::size_t piece =
        std::min<std::size_t>({buffer.size(), kPiece, answer_.bytes.size() - sent_});
    std::copy_n(answer_.bytes.data() + sent_, piece, buffer.data());
    sent_ += piece;
    return static_cast<int>(piece);
  }

  static constexpr std::size_t kPiece = 977;

 private:
  Answer answer_;
  std::string& request_;
  std::size_t sent_ = 0;
};

class StringFile final : public DownloadFile {
 public:
  explicit StringFile(std::string& data) : data_(data) {}
  bool Write(std::span<const char> data) override {
    data_.append(data.data(), data.size());
    return true;
  }

 private:
  std::string& data_;
};

class ScriptedMedia final : public MediaPort {
 public:
  ServiceDownload DownloadToCache(const std::string&, ServiceProgressSink&) override { return {}; }
  std::unique_ptr<NetConnection> Connect(const std::string& host, std::uint16_t port, int,
                                         const StillWanted&) override {
    connects.push_back(host + ":" + std::to_string(port));
    if (answers.empty()) return nullptr;
    Answer answer = std::move(answers.front());
    answers.pop_front();
    if (answer.refuse) return nullptr;
    return std::make_unique<ScriptedConnection>(std::move(answer), requests.emplace_back());
  }
  std::int64_t FileSize(const std::string& path) override {
    const auto found = files.find(path);
    return found == files.end() ? -1 : static_cast<std::int64_t>(found->second.size());
  }
  std::unique_ptr<DownloadFile> OpenForWritingAt(const std::string& path,
                                                 std::uint64_t offset) override {
    std::string& data = files[path];
    opens.emplace_back(offset, data.size());
    data.resize(offset);
    return std::make_unique<StringFile>(data);
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

  std::deque<Answer> answers;
  std::vector<std::string> connects;  // "host:port" of each attempt
  std::deque<std::string> requests;   // a deque keeps each connection's string in place
  // Each opening of a file for writing: the offset, and the file's size before.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> opens;
  std::map<std::string, std::string> files;
};

}  // namespace tavrel
