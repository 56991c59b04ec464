// The engine's HTTP client against scripted servers: what it asks for (HEAD,
// GET, ranges, proxy form, redirects) and what ends up in the target file
// when the server resumes, ignores or refuses a range, cuts the body short,
// or does not answer.
#include "engine/core/http_download.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/engine/scripted_media.h"

namespace tavrel {
namespace {

// Bytes that differ from position to position and from one version of the
// file to the next.
std::string Bytes(std::size_t size, char version) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(version + i * 7 + i / 251);
  return bytes;
}

Answer Ok(const std::string& body) {
  return {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body};
}
Answer HeadOf(std::size_t size) {
  return {"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n"};
}
Answer Part(const std::string& file, std::size_t first, std::size_t end) {
  return {"HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) + "-" +
          std::to_string(end - 1) + "/" + std::to_string(file.size()) + "\r\nContent-Length: " +
          std::to_string(end - first) + "\r\n\r\n" + file.substr(first, end - first)};
}
Answer Status(int status, std::string fields = "") {
  return {"HTTP/1.1 " + std::to_string(status) + " Whatever\r\n" + fields +
          "Content-Length: 5\r\n\r\nerror"};
}
Answer Redirect(const std::string& location) {
  return {"HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n"};
}
const Answer kRefused{.refuse = true};

const std::string kOld = Bytes(6000, 'a');
const std::string kNew = Bytes(5000, 'n');

constexpr const char* kTarget = "C:\\cache\\data1.7z";

struct DownloadCase {
  const char* name;
  std::string url = "http://files.example/setup/data1.7z";
  std::optional<std::string> before{};  // the target's content before
  ProxySettings proxy{};
  bool resume = true;
  int cancelAfter = -1;  // progress answers false after this many reports
  std::vector<Answer> answers{};
  // Each request's first line, with its Range value behind it when it had one.
  std::vector<std::string> requests{};
  bool succeeded = false;
  int status = 0;
  std::string failure{};               // part of the failure text
  std::optional<std::string> after{};  // the target's content after
  std::pair<std::uint64_t, std::uint64_t> lastProgress{0, 0};
  std::vector<std::string> connects{};  // not checked when empty
};

const std::string kHeadLine = "HEAD /setup/data1.7z HTTP/1.1";
const std::string kGetLine = "GET /setup/data1.7z HTTP/1.1";

const DownloadCase kCases[] = {
    {.name = "new file",
     .answers = {HeadOf(5000), Ok(kNew)},
     .requests = {kHeadLine, kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew,
     .lastProgress = {5000, 5000},
     .connects = {"files.example:80", "files.example:80"}},
    {.name = "resume: the last 2 KiB again, then the rest",
     .before = kNew.substr(0, 3000),
     .answers = {HeadOf(5000), Part(kNew, 952, 5000)},
     .requests = {kHeadLine, kGetLine + " bytes=952-"},
     .succeeded = true,
     .status = 206,
     .after = kNew,
     .lastProgress = {5000, 5000}},
    {.name = "no resume when not asked for",
     .before = kNew.substr(0, 3000),
     .resume = false,
     .answers = {HeadOf(5000), Ok(kNew)},
     .requests = {kHeadLine, kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew},
    {.name = "no range for a partial file of 2 KiB or less",
     .before = kNew.substr(0, 2048),
     .answers = {HeadOf(5000), Ok(kNew)},
     .requests = {kHeadLine, kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew},
    {.name = "server ignores the range: the whole file from the start",
     .before = kOld.substr(0, 3000),
     .answers = {HeadOf(5000), Ok(kNew)},
     .requests = {kHeadLine, kGetLine + " bytes=952-"},
     .succeeded = true,
     .status = 200,
     .after = kNew,
     .lastProgress = {5000, 5000}},
    {.name = "416: again from zero in the same call",
     .before = kOld,
     .answers = {kRefused, Status(416), Ok(kNew)},
     .requests = {kGetLine + " bytes=3952-", kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew},
    {.name = "partial file larger than the server's: from zero without a range",
     .before = kOld,
     .answers = {HeadOf(5000), Ok(kNew)},
     .requests = {kHeadLine, kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew},
    {.name = "part from another place: again from zero",
     .before = kOld.substr(0, 3000),
     .answers = {HeadOf(5000), Part(kNew, 0, 5000), Ok(kNew)},
     .requests = {kHeadLine, kGetLine + " bytes=952-", kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew},
    {.name = "part without a Content-Range",
     .before = kNew.substr(0, 3000),
     .answers = {HeadOf(5000),
                 {"HTTP/1.1 206 Partial\r\nContent-Length: 4048\r\n\r\n" + kNew.substr(952)}},
     .requests = {kHeadLine, kGetLine + " bytes=952-"},
     .status = 206,
     .failure = "without saying which",
     .after = kNew.substr(0, 3000)},
    {.name = "part that stops short of the file's end",
     .before = kNew.substr(0, 3000),
     .answers = {HeadOf(5000), Part(kNew, 952, 4000)},
     .requests = {kHeadLine, kGetLine + " bytes=952-"},
     .status = 206,
     .failure = "only up to byte 4000 of 5000",
     .after = kNew.substr(0, 4000)},
    {.name = "body cut short: a failure, and the partial file stays for a resume",
     .answers = {HeadOf(5000),
                 {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + kNew.substr(0, 3500)}},
     .requests = {kHeadLine, kGetLine},
     .status = 200,
     .failure = "after 3500 of 5000",
     .after = kNew.substr(0, 3500),
     .lastProgress = {3500, 5000}},
    {.name = "chunked answer without any length",
     .answers = {kRefused,
                 {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7d0\r\n" +
                  kNew.substr(0, 2000) + "\r\nbb8\r\n" + kNew.substr(2000) + "\r\n0\r\n\r\n"}},
     .requests = {kGetLine},
     .succeeded = true,
     .status = 200,
     .after = kNew,
     .lastProgress = {5000, 0}},
    {.name = "proxy: absolute URL, Host, Basic credentials",
     .url = "HTTP://files.example:81/a b.7z?x=1#part",
     .proxy = {"proxy.example", " 8080", "user", "pa:ss\xE9"},
     .answers = {HeadOf(5000), Ok(kNew)},
     .requests = {"HEAD http://files.example:81/a%20b.7z?x=1 HTTP/1.1",
                  "GET http://files.example:81/a%20b.7z?x=1 HTTP/1.1"},
     .succeeded = true,
     .status = 200,
     .after = kNew,
     .connects = {"proxy.example:8080", "proxy.example:8080"}},
    {.name = "proxy port empty: 80",
     .proxy = {"proxy.example", "", "", ""},
     .answers = {kRefused, kRefused},
     .failure = "could not connect to the proxy proxy.example:80",
     .connects = {"proxy.example:80", "proxy.example:80"}},
    {.name = "proxy port not a port",
     .proxy = {"proxy.example", "65536", "", ""},
     .failure = "proxy port",
     .connects = {}},
    {.name = "redirects, relative and to another host",
     .answers = {Redirect("other/x.7z"), Redirect("http://mirror.example:8000/y.7z"), HeadOf(5000),
                 Redirect("/setup/z.7z"), Ok(kNew)},
     .requests = {kHeadLine, "HEAD /setup/other/x.7z HTTP/1.1", "HEAD /y.7z HTTP/1.1", kGetLine,
                  "GET /setup/z.7z HTTP/1.1"},
     .succeeded = true,
     .status = 200,
     .after = kNew,
     .connects = {"files.example:80", "files.example:80", "mirror.example:8000", "files.example:80",
                  "files.example:80"}},
    {.name = "more than five redirects",
     .answers = {kRefused, Redirect("/1"), Redirect("/2"), Redirect("/3"), Redirect("/4"),
                 Redirect("/5"), Redirect("/6")},
     .requests = {kGetLine, "GET /1 HTTP/1.1", "GET /2 HTTP/1.1", "GET /3 HTTP/1.1",
                  "GET /4 HTTP/1.1", "GET /5 HTTP/1.1"},
     .status = 302,
     .failure = "more than 5 redirects"},
    {.name = "redirect to https",
     .answers = {kRefused, Redirect("https://files.example/setup/data1.7z")},
     .requests = {kGetLine},
     .status = 302,
     .failure = "https"},
    {.name = "HEAD 404: no GET, the partial file untouched",
     .before = kOld.substr(0, 3000),
     .answers = {Status(404)},
     .requests = {kHeadLine},
     .status = 404,
     .failure = "404",
     .after = kOld.substr(0, 3000)},
    {.name = "GET 404: its error page is not written over the partial file",
     .before = kOld.substr(0, 3000),
     .answers = {HeadOf(5000), Status(404)},
     .requests = {kHeadLine, kGetLine + " bytes=952-"},
     .status = 404,
     .failure = "404",
     .after = kOld.substr(0, 3000)},
    {.name = "no answer but garbage",
     .answers = {{"SSH-2.0-OpenSSH\r\n"}, {"SSH-2.0-OpenSSH\r\n"}},
     .requests = {kHeadLine, kGetLine},
     .failure = "not HTTP"},
    {.name = "connection closed without an answer",
     .answers = {{""}, {""}},
     .requests = {kHeadLine, kGetLine},
     .failure = "without an answer"},
    {.name = "silent server: HEAD and GET each give up",
     .answers = {{.silent = true}, {.silent = true}},
     .requests = {kHeadLine, kGetLine},
     .failure = "no data from the server for 15 s"},
    {.name = "silent after the head: the partial body stays",
     .answers = {kRefused, {.bytes = Ok(kNew).bytes.substr(0, 1000), .silent = true}},
     .requests = {kGetLine},
     .status = 200,
     .failure = "no data from the server",
     .after = kNew.substr(0, 1000 - (Ok(kNew).bytes.size() - kNew.size()))},
    {.name = "nothing listens",
     .answers = {kRefused, kRefused},
     .failure = "could not connect to files.example:80"},
    {.name = "3xx without a file",
     .answers = {kRefused, Status(300)},
     .requests = {kGetLine},
     .status = 300,
     .failure = "gives no file"},
    {.name = "cancelled from the progress callback",
     .before = kNew.substr(0, 3000),
     .cancelAfter = 1,
     .answers = {HeadOf(5000), Part(kNew, 952, 5000)},
     .requests = {kHeadLine, kGetLine + " bytes=952-"},
     .status = 206,
     .failure = "cancelled",
     // The head and the first part of the body come in the first read.
     .after = kNew.substr(
         0, 952 + ScriptedConnection::kPiece - (Part(kNew, 952, 5000).bytes.size() - 4048))},
    {.name = "https is not this client's",
     .url = "https://files.example/setup/data1.7z",
     .failure = "plain HTTP only",
     .connects = {}},
    {.name = "not a URL at all",
     .url = "ftp://files.example/x",
     .failure = "not an http URL",
     .connects = {}},
    {.name = "a line break in the URL cannot add a header",
     .url = "http://files.example/a\r\nX-Evil: 1",
     .answers = {kRefused, Ok(kNew)},
     .requests = {"GET /a%0D%0AX-Evil:%201 HTTP/1.1"},
     .succeeded = true,
     .status = 200,
     .after = kNew},
    {.name = "host with a colon in its port",
     .url = "http://files.example:8o/x",
     .failure = "port",
     .connects = {}},
};

// A request's first line, and its Range value behind it when it has one.
std::string Summary(const std::string& request) {
  std::string summary = request.substr(0, request.find("\r\n"));
  const std::size_t range = request.find("\r\nRange: ");
  if (range != std::string::npos) {
    summary += " " + request.substr(range + 9, request.find("\r\n", range + 2) - range - 9);
  }
  return summary;
}

TEST(HttpDownload, AsksForWhatItNeedsAndWritesOnlyWhatFits) {
  for (const DownloadCase& test : kCases) {
    SCOPED_TRACE(test.name);
    ScriptedMedia media;
    media.answers.assign(test.answers.begin(), test.answers.end());
    if (test.before) media.files[kTarget] = *test.before;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    const HttpDownloadRequest request{test.url, kTarget, test.proxy, test.resume};
    const HttpDownloadResult result = HttpDownload(
        media, request,
        [&](std::uint64_t received, std::uint64_t total) {
          reports.emplace_back(received, total);
          return static_cast<int>(reports.size()) != test.cancelAfter;
        },
        [] { return true; });

    EXPECT_EQ(result.succeeded, test.succeeded) << result.failure;
    EXPECT_EQ(result.status, test.status);
    if (test.failure.empty()) {
      EXPECT_EQ(result.failure, "");
    } else {
      EXPECT_NE(result.failure.find(test.failure), std::string::npos) << result.failure;
    }
    std::vector<std::string> summaries;
    for (const std::string& sent : media.requests) summaries.push_back(Summary(sent));
    EXPECT_EQ(summaries, test.requests);
    if (!test.connects.empty() || test.answers.empty()) {
      EXPECT_EQ(media.connects, test.connects);
    }
    const auto file = media.files.find(kTarget);
    EXPECT_EQ(file == media.files.end() ? std::nullopt : std::optional(file->second), test.after);
    EXPECT_TRUE(media.answers.empty()) << media.answers.size() << " answers left";

    for (const std::string& sent : media.requests) {
      EXPECT_TRUE(sent.ends_with("\r\nConnection: close\r\n\r\n")) << sent;
      EXPECT_NE(sent.find("\r\nHost: "), std::string::npos) << sent;
      EXPECT_NE(sent.find("\r\nUser-Agent: Mozilla/3.0 (compatible)\r\n"), std::string::npos);
      EXPECT_NE(
          sent.find("\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"),
          std::string::npos);
      EXPECT_EQ(
          sent.find("\r\nProxy-Authorization: Basic dXNlcjpwYTpzc+k=\r\n") != std::string::npos,
          !test.proxy.user.empty());
    }
    // The count includes the kept part of the file and only ever grows.
    for (std::size_t i = 1; i < reports.size(); ++i) {
      EXPECT_GT(reports[i].first, reports[i - 1].first);
    }
    if (test.lastProgress != std::pair<std::uint64_t, std::uint64_t>{0, 0}) {
      ASSERT_FALSE(reports.empty());
      EXPECT_EQ(reports.back(), test.lastProgress);
    }
  }
}

TEST(HttpDownload, HostFieldNamesTheServerNotTheProxy) {
  ScriptedMedia media;
  media.answers = {kRefused, Ok(kNew)};
  const HttpDownloadRequest request{
      "http://files.example:81/x", kTarget, {"proxy.example", "3128", "", ""}, true};
  EXPECT_TRUE(HttpDownload(media, request, {}, [] { return true; }).succeeded);
  ASSERT_EQ(media.requests.size(), 1u);
  EXPECT_NE(media.requests[0].find("\r\nHost: files.example:81\r\n"), std::string::npos)
      << media.requests[0];
}

TEST(HttpDownload, StopsWhenNoLongerWanted) {
  ScriptedMedia media;
  media.answers = {{.silent = true}};
  int asked = 0;
  const HttpDownloadResult result = HttpDownload(
      media, {"http://files.example/x", kTarget, {}, true}, {}, [&] { return ++asked < 3; });
  EXPECT_FALSE(result.succeeded);
  EXPECT_EQ(result.failure, "cancelled");
  // Nothing after the HEAD that was cut short.
  EXPECT_EQ(media.connects.size(), 1u);
}

}  // namespace
}  // namespace tavrel
