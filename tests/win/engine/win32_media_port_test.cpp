// Web media's downloads on a real system, against a server of the test's own
// on the loopback address: the engine's HTTP client over Winsock (a new
// file, a resumed one, a body cut short) and the URL download service (a
// file with its progress reports, an error page, a body cut short).
#define WIN32_LEAN_AND_MEAN
#include "engine/win32/win32_media_port.h"

#include <windows.h>
// windows.h first: the socket headers build on its types.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/http_download.h"

namespace tavrel {
namespace {

std::string FileData() {
  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  return data;
}

const std::string kData = FileData();

// Answers one connection at a time until it is destroyed: /data.7z with
// byte ranges, /missing.7z with an error page, /cut.7z with half of the
// body its length announces. Every wait is bounded, so a test that goes
// wrong still ends.
class LoopbackServer {
 public:
  LoopbackServer() {
    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(listen(listener_, 8), 0);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    over_ = true;
    thread_.join();
    closesocket(listener_);
    WSACleanup();
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // The request lines so far, with the Range value behind when there was one.
  std::vector<std::string> Requests() {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  static bool Readable(SOCKET socket, int timeoutMs) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket, &ready);
    timeval wait{0, timeoutMs * 1000};
    return select(0, &ready, nullptr, nullptr, &wait) == 1;
  }

  void Serve() {
    while (!over_) {
      if (!Readable(listener_, 200)) continue;
      const SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      std::string request;
      char buffer[4096];
      for (int waits = 0; request.find("\r\n\r\n") == std::string::npos && waits < 25;) {
        if (!Readable(client, 200)) {
          ++waits;
          continue;
        }
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, static_cast<std::size_t>(got));
      }
      const std::string answer = Answer(request);
      for (std::size_t sent = 0; sent < answer.size();) {
        const int done =
            send(client, answer.data() + sent,
                 static_cast<int>(std::min<std::size_t>(answer.size() - sent, 65536)), 0);
        if (done <= 0) break;
        sent += static_cast<std::size_t>(done);
      }
      shutdown(client, SD_SEND);
      closesocket(client);
    }
  }

  std::string Answer(const std::string& request) {
    const std::string line = request.substr(0, request.find("\r\n"));
    const std::size_t rangeAt = request.find("\r\nRange: bytes=");
    std::size_t start = 0;
    std::string summary = line;
    if (rangeAt != std::string::npos) {
      start = std::stoul(request.substr(rangeAt + 15));
      summary += " bytes=" + std::to_string(start) + "-";
    }
    {
      const std::lock_guard lock(mutex_);
      requests_.push_back(summary);
    }
    const bool head = line.starts_with("HEAD ");
    std::string status = "200 OK";
    std::string fields;
    std::string body = kData;
    std::size_t length = body.size();
    if (line.find(" /missing.7z ") != std::string::npos) {
      status = "404 Not Found";
      body = "<html>not here</html>";
      length = body.size();
    } else if (line.find(" /cut.7z ") != std::string::npos) {
      body = kData.substr(0, kData.size() / 2);
    } else if (start != 0 && start < kData.size()) {
      status = "206 Partial Content";
      fields = "Content-Range: bytes " + std::to_string(start) + "-" +
               std::to_string(kData.size() - 1) + "/" + std::to_string(kData.size()) + "\r\n";
      body = kData.substr(start);
      length = body.size();
    }
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/x-7z-compressed\r\n" + fields +
           "Content-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n" +
           (head ? "" : body);
  }

  SOCKET listener_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  std::atomic<bool> over_ = false;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class ReportCodes final : public ServiceProgressSink {
 public:
  bool OnServiceProgress(std::uint64_t, std::uint64_t, std::uint32_t code,
                         const std::string&) override {
    codes.insert(code);
    return true;
  }
  std::set<std::uint32_t> codes;
};

TEST(Win32MediaPortTest, DownloadsOverLoopbackWithBothClients) {
  LoopbackServer server;
  Win32MediaPort media;
  char temp[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string target = std::string(temp) + "tavrel-media-test.7z";
  DeleteFileA(target.c_str());
  const StillWanted wanted = [] { return true; };
  std::uint64_t lastReceived = 0;
  const HttpProgress progress = [&](std::uint64_t received, std::uint64_t) {
    lastReceived = received;
    return true;
  };

  // The engine's client: a new file, then a partial one continued with a
  // range (its last 2 KiB fetched again), then a body cut short, which
  // fails and leaves what came.
  HttpDownloadResult result =
      HttpDownload(media, {server.Url("/data.7z"), target, {}, true}, progress, wanted);
  EXPECT_TRUE(result.succeeded) << result.failure;
  EXPECT_EQ(ReadAll(target), kData);
  {
    std::ofstream partial(target, std::ios::binary | std::ios::trunc);
    partial << kData.substr(0, 150000);
  }
  result = HttpDownload(media, {server.Url("/data.7z"), target, {}, true}, progress, wanted);
  EXPECT_TRUE(result.succeeded) << result.failure;
  EXPECT_EQ(result.status, 206);
  EXPECT_EQ(lastReceived, kData.size());
  EXPECT_EQ(ReadAll(target), kData);
  result = HttpDownload(media, {server.Url("/cut.7z"), target, {}, false}, progress, wanted);
  EXPECT_FALSE(result.succeeded);
  EXPECT_NE(result.failure.find("150000 of 300000"), std::string::npos) << result.failure;
  EXPECT_EQ(ReadAll(target), kData.substr(0, 150000));
  EXPECT_EQ(server.Requests(), (std::vector<std::string>{
                                   "HEAD /data.7z HTTP/1.1", "GET /data.7z HTTP/1.1",
                                   "HEAD /data.7z HTTP/1.1", "GET /data.7z HTTP/1.1 bytes=147952-",
                                   "HEAD /cut.7z HTTP/1.1", "GET /cut.7z HTTP/1.1"}));
  EXPECT_TRUE(DeleteFileA(target.c_str()));

  // The URL download service: the file with the report that the cache file
  // is named (14) and that the data has all come (6); an error page and a
  // body cut short are failures, though the service calls them successes.
  ReportCodes reports;
  const ServiceDownload downloaded = media.DownloadToCache(server.Url("/data.7z"), reports);
  EXPECT_EQ(downloaded.outcome, ServiceDownload::Outcome::kSucceeded) << downloaded.failure;
  EXPECT_EQ(ReadAll(downloaded.cacheFile), kData);
  EXPECT_TRUE(reports.codes.contains(14) && reports.codes.contains(6));
  ReportCodes ignored;
  const ServiceDownload missing = media.DownloadToCache(server.Url("/missing.7z"), ignored);
  EXPECT_EQ(missing.outcome, ServiceDownload::Outcome::kFailed);
  EXPECT_EQ(missing.failure, "the server answered 404");
  const ServiceDownload cut = media.DownloadToCache(server.Url("/cut.7z"), ignored);
  EXPECT_EQ(cut.outcome, ServiceDownload::Outcome::kFailed);
  EXPECT_EQ(cut.failure, "the download ended after 150000 of 300000 bytes");
}

}  // namespace
}  // namespace tavrel
