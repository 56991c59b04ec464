// The HTTP response reader over answers a server may send, each fed whole
// and in pieces (where a line end, a chunk size or the status prefix falls
// across two reads): what it takes as the status, fields and body, and what
// it refuses.
#include "engine/core/http_response.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrel {
namespace {

using Stage = HttpResponseReader::Stage;

struct ReaderCase {
  const char* name;
  std::string answer{};
  bool toHead = false;
  bool closed = true;  // the connection closes after the answer
  Stage stage = Stage::kComplete;
  int status = 200;
  std::string body{};
  std::string failure{};  // part of the failure text
};

std::string Head(std::string fields) {
  return "HTTP/1.1 200 OK\r\n" + fields + "\r\n";
}

const ReaderCase kCases[] = {
    {.name = "length, bytes after the end ignored",
     .answer = Head("Content-Length: 5\r\n") + "hello and more",
     .body = "hello"},
    {.name = "complete by its length before the close",
     .answer = Head("content-length:\t5 \r\n") + "hello",
     .closed = false,
     .body = "hello"},
    {.name = "no length: the body runs to the close",
     .answer = "HTTP/1.0 200\r\nServer: x\r\n\r\nto the end",
     .body = "to the end"},
    {.name = "no length and no close yet",
     .answer = "HTTP/1.0 200 OK\r\n\r\nso far",
     .closed = false,
     .stage = Stage::kBody,
     .body = "so far"},
    {.name = "chunked with extensions, trailers and bare line feeds",
     .answer = Head("Transfer-Encoding: chunked\r\n") +
               "5;name=value\r\nhello\r\n1\n \n0A \r\n0123456789\r\n0\r\nExpires: never\r\n\r\n",
     .closed = false,
     .body = "hello 0123456789"},
    {.name = "chunks frame the body, not a length beside them",
     .answer = Head("Content-Length: 2\r\nTransfer-Encoding: identity, Chunked\r\n") +
               "00000003\r\nabc\r\n0\r\n\r\n",
     .body = "abc"},
    {.name = "chunked body cut by the close",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "5\r\nhel",
     .stage = Stage::kFailed,
     .body = "hel",
     .failure = "middle of the chunked body"},
    {.name = "chunked body without its last chunk",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "2\r\nab\r\n",
     .stage = Stage::kFailed,
     .body = "ab",
     .failure = "middle of the chunked body"},
    {.name = "body shorter than its length",
     .answer = Head("Content-Length: 10\r\n") + "abc",
     .stage = Stage::kFailed,
     .body = "abc",
     .failure = "after 3 of 10 body bytes"},
    {.name = "answer to HEAD has no body",
     .answer = Head("Content-Length: 1000\r\n"),
     .toHead = true,
     .closed = false},
    {.name = "204 and 304 have no body",
     .answer = "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n",
     .closed = false,
     .status = 304},
    {.name = "interim answers are skipped",
     .answer = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: x\r\n\r\n" +
               Head("Content-Length: 2\r\n") + "ok",
     .body = "ok"},
    {.name = "switching protocols was not asked for",
     .answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n",
     .stage = Stage::kFailed,
     .status = 101,
     .failure = "switched protocols"},
    {.name = "continuation line",
     .answer = Head("Content-Length:\r\n  3\r\n") + "abc",
     .body = "abc"},
    {.name = "no answer at all",
     .answer = "",
     .stage = Stage::kFailed,
     .status = 0,
     .failure = "without an answer"},
    {.name = "head cut by the close",
     .answer = "HTTP/1.1 200 OK\r\nContent-",
     .stage = Stage::kFailed,
     .failure = "before the answer's head ended"},
    {.name = "garbage fails before any line end",
     .answer = "<html>",
     .closed = false,
     .stage = Stage::kFailed,
     .status = 0,
     .failure = "not HTTP"},
    {.name = "short line instead of a status line",
     .answer = "HTT\r\n",
     .closed = false,
     .stage = Stage::kFailed,
     .status = 0,
     .failure = "not HTTP"},
    {.name = "other HTTP version",
     .answer = "HTTP/2 200\r\n\r\n",
     .stage = Stage::kFailed,
     .status = 0,
     .failure = "not HTTP/1.x"},
    {.name = "status of four digits",
     .answer = "HTTP/1.1 2000 OK\r\n\r\n",
     .stage = Stage::kFailed,
     .status = 0,
     .failure = "not HTTP/1.x"},
    {.name = "status below 100",
     .answer = "HTTP/1.1 099 Odd\r\n\r\n",
     .stage = Stage::kFailed,
     .status = 0,
     .failure = "not one"},
    {.name = "status without reason",
     .answer = "HTTP/1.1 404\r\nContent-Length: 0\r\n\r\n",
     .closed = false,
     .status = 404},
    {.name = "field without colon",
     .answer = Head("Content-Length 5\r\n") + "hello",
     .stage = Stage::kFailed,
     .failure = "not \"name: value\""},
    {.name = "blank before the colon",
     .answer = Head("Content-Length : 5\r\n") + "hello",
     .stage = Stage::kFailed,
     .failure = "not \"name: value\""},
    {.name = "continuation line first",
     .answer = "HTTP/1.1 200 OK\r\n x: y\r\n\r\n",
     .stage = Stage::kFailed,
     .failure = "continuation"},
    {.name = "repeated equal lengths",
     .answer = Head("Content-Length: 2, 2\r\nContent-Length: 2\r\n") + "ab",
     .body = "ab"},
    {.name = "lengths that differ",
     .answer = Head("Content-Length: 2\r\nContent-Length: 3\r\n") + "abc",
     .stage = Stage::kFailed,
     .failure = "Content-Length"},
    {.name = "negative length",
     .answer = Head("Content-Length: -1\r\n") + "abc",
     .stage = Stage::kFailed,
     .failure = "Content-Length"},
    {.name = "empty length",
     .answer = Head("Content-Length:\r\n") + "abc",
     .stage = Stage::kFailed,
     .failure = "Content-Length"},
    {.name = "absurd length",
     .answer = Head("Content-Length: 99999999999999999999999\r\n"),
     .stage = Stage::kFailed,
     .failure = "Content-Length"},
    {.name = "unknown transfer coding",
     .answer = Head("Transfer-Encoding: gzip\r\n"),
     .stage = Stage::kFailed,
     .failure = "transfer coding"},
    {.name = "chunked not last",
     .answer = Head("Transfer-Encoding: chunked, gzip\r\n"),
     .stage = Stage::kFailed,
     .failure = "transfer coding"},
    {.name = "absurd chunk size",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "fffffffffffffffffffffff\r\n",
     .closed = false,
     .stage = Stage::kFailed,
     .failure = "absurd size"},
    {.name = "chunk size just past the limit",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "10000000001\r\n",
     .closed = false,
     .stage = Stage::kFailed,
     .failure = "absurd size"},
    {.name = "chunk size without digits",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "x5\r\nhello\r\n0\r\n\r\n",
     .stage = Stage::kFailed,
     .failure = "not a size"},
    {.name = "chunk longer than its size",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "2\r\nabc\r\n0\r\n\r\n",
     .stage = Stage::kFailed,
     .body = "ab",
     .failure = "longer than its size"},
    {.name = "chunk size line that never ends",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "5" + std::string(5000, ' '),
     .closed = false,
     .stage = Stage::kFailed,
     .failure = "4 KiB"},
    {.name = "trailer without colon",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "0\r\nbad trailer\r\n\r\n",
     .stage = Stage::kFailed,
     .failure = "trailer line"},
    {.name = "trailers past 64 KiB",
     .answer = Head("Transfer-Encoding: chunked\r\n") + "0\r\nX: " + std::string(65536, 'x'),
     .closed = false,
     .stage = Stage::kFailed,
     .failure = "trailer fields are larger than 64 KiB"},
    {.name = "head just within 64 KiB",
     .answer = Head("X: " + std::string(65536 - 24, 'x') + "\r\n") + "body",
     .body = "body"},
    {.name = "head one byte past 64 KiB",
     .answer = Head("X: " + std::string(65536 - 23, 'x') + "\r\n") + "body",
     .stage = Stage::kFailed,
     .failure = "larger than 64 KiB"},
    {.name = "interim answers count towards the head's limit",
     .answer = "HTTP/1.1 100 Continue\r\nX: " + std::string(40000, 'x') +
               "\r\n\r\nHTTP/1.1 200 OK\r\nY: " + std::string(30000, 'y') + "\r\n\r\n",
     .closed = false,
     .stage = Stage::kFailed,
     .failure = "larger than 64 KiB"},
};

struct Outcome {
  Stage stage;
  int status;
  std::string body;
  std::string failure;
};

Outcome Read(const ReaderCase& test, std::size_t piece) {
  HttpResponseReader reader(test.toHead);
  std::string body;
  for (std::size_t at = 0; at < test.answer.size(); at += piece) {
    reader.Feed(std::string_view(test.answer).substr(at, piece), body);
  }
  if (test.closed) reader.Close();
  return {reader.stage(), reader.head().status, body, reader.failure()};
}

TEST(HttpResponseReader, ReadsOrRefusesEachAnswerWholeAndInPieces) {
  for (const ReaderCase& test : kCases) {
    for (const std::size_t piece : {test.answer.size() + 1, std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(test.name) + ", pieces of " + std::to_string(piece));
      const Outcome outcome = Read(test, piece);
      EXPECT_EQ(outcome.stage, test.stage) << outcome.failure;
      EXPECT_EQ(outcome.status, test.status);
      EXPECT_EQ(outcome.body, test.body);
      if (test.failure.empty()) {
        EXPECT_EQ(outcome.failure, "");
      } else {
        EXPECT_NE(outcome.failure.find(test.failure), std::string::npos) << outcome.failure;
      }
    }
  }
}

TEST(HttpResponseReader, DecimalsAreDigitsWithinTheLimit) {
  EXPECT_EQ(ParseHttpDecimal("0", 10), 0u);
  EXPECT_EQ(ParseHttpDecimal("0010", 10), 10u);
  EXPECT_EQ(ParseHttpDecimal("4294967295", 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHttpDecimal("4294967296", 0xFFFFFFFFu), std::nullopt);
  EXPECT_EQ(ParseHttpDecimal("18446744073709551615", UINT64_MAX), UINT64_MAX);
  EXPECT_EQ(ParseHttpDecimal("18446744073709551616", UINT64_MAX), std::nullopt);
  for (const char* bad : {"", " 1", "1 ", "+1", "-1", "1.0", "0x10"}) {
    EXPECT_EQ(ParseHttpDecimal(bad, 100), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace tavrel
