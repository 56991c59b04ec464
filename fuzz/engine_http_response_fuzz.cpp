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
#include <string>
#include <string_view>

#include "engine/core/http_download.h"
#include "engine/core/http_response.h"
#include "tests/host/engine/scripted_media.h"

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

void FuzzDownload(std::uint8_t mode, std::string_view script) {
  tavrel::ScriptedMedia media;
  while (true) {
    const std::size_t cut = script.find("\n--\n");
    media.answers.push_back({std::string(script.substr(0, cut))});
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
  for (const auto& [offset, sizeBefore] : media.opens) {
    if (offset > sizeBefore) std::abort();  // never past what is there
  }
  if (result.succeeded &&
      (media.opens.empty() || result.status >= 400 || !result.failure.empty())) {
    std::abort();
  }
  if (!result.succeeded && result.failure.empty()) std::abort();
  if (last != 0 && media.files["t"].size() != last) std::abort();
  // Running out of answers ends the HEAD, then the GET.
  if (media.connects.size() > connections + 2) std::abort();
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
