// Reading an HTTP/1.x response as its bytes arrive: the status line and the
// header fields, then the body as its framing gives it (a length, chunks, or
// the rest of the connection). Everything from the network is untrusted: a
// response that breaks the rules or the limits below fails, nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

struct HttpHead {
  int status = 0;
  std::vector<std::pair<std::string, std::string>> fields;  // name, value without edge blanks

  // The value of the first field of that name (case-blind); nullopt when the
  // response has none.
  std::optional<std::string_view> Field(std::string_view name) const;
};

// The text without the blanks (spaces, tabs) at its ends.
std::string_view TrimHttpBlanks(std::string_view text);

// A decimal number of ASCII digits only, at most `limit`; nullopt for
// anything else (empty, a sign, blanks, too large).
std::optional<std::uint64_t> ParseHttpDecimal(std::string_view text, std::uint64_t limit);

class HttpResponseReader {
 public:
  // The head of a response may not grow past this (status line, fields and
  // those of interim responses together); the trailer fields of a chunked
  // body have the same limit of their own.
  static constexpr std::size_t kMaxHeadSize = 64 * 1024;
  // A body length or chunk size beyond this is taken for garbage.
  static constexpr std::uint64_t kMaxBodySize = std::uint64_t{1} << 40;

  enum class Stage {
    kHead,      // the head has not ended yet
    kBody,      // the head is there, the body is coming
    kComplete,  // the response ended where its framing says
    kFailed,
  };

  // A response to HEAD has no body whatever its fields say.
  explicit HttpResponseReader(bool toHeadRequest) : toHeadRequest_(toHeadRequest) {}

  // Takes the next bytes of the connection. Body bytes decoded from them are
  // appended to `body`; bytes after the end of the response are ignored.
  void Feed(std::string_view data, std::string& body);
  // The peer closed the connection: ends a body that runs to the close, and
  // fails a response cut short.
  void Close();

  Stage stage() const { return stage_; }
  // Valid from kBody on.
  const HttpHead& head() const { return head_; }
  // The body's length as the head gives it; nullopt for chunks or up to the
  // close. Valid from kBody on.
  std::optional<std::uint64_t> bodyLength() const { return bodyLength_; }
  std::uint64_t bodyReceived() const { return bodyReceived_; }
  const std::string& failure() const { return failure_; }

 private:
  enum class Part {
    kHeadLines,
    kFixedBody,
    kOpenBody,
    kChunkSize,
    kChunkData,
    kChunkEnd,
    kTrailers
  };

  void Fail(std::string why);
  // A whole line (without its line end) of the head or the trailers.
  void TakeHeadLine(std::string_view line);
  void TakeStatusLine(std::string_view line);
  void TakeField(std::string_view line);
  void EndHead();
  void TakeChunkSize(std::string_view line);
  // Takes bytes up to a line feed into line_; true when the line is whole.
  bool CollectLine(std::string_view& data, std::size_t limit, std::size_t& counted);
  void TakeBody(std::string_view& data, std::string& body, std::uint64_t available);

  bool toHeadRequest_;
  Stage stage_ = Stage::kHead;
  Part part_ = Part::kHeadLines;
  HttpHead head_;
  bool sawStatusLine_ = false;
  std::string line_;
  std::size_t headBytes_ = 0;
  std::size_t trailerBytes_ = 0;
  std::optional<std::uint64_t> bodyLength_;
  std::uint64_t bodyReceived_ = 0;
  std::uint64_t chunkLeft_ = 0;
  std::string failure_;
};

}  // namespace tavrel
