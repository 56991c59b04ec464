#include "engine/core/http_response.h"

#include <algorithm>

#include "common/ascii_case.h"

namespace tavrel {

namespace {

// A chunk-size line or the line end after a chunk's data; extensions make
// the first longer than its digits, but never by this much.
constexpr std::size_t kMaxChunkLine = 4096;

constexpr std::string_view kStatusPrefix = "HTTP/";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The characters of a field name (a token).
bool IsTokenChar(char c) {
  if (c >= '0' && c <= '9') return true;
  if (common::IsAsciiLetter(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The comma-separated elements of a field value, blanks trimmed, empty ones
// dropped.
std::vector<std::string_view> ListElements(std::string_view value) {
  std::vector<std::string_view> elements;
  while (true) {
    const std::size_t comma = value.find(',');
    const std::string_view element = TrimHttpBlanks(value.substr(0, comma));
    if (!element.empty()) elements.push_back(element);
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return elements;
}

}  // namespace

std::optional<std::string_view> HttpHead::Field(std::string_view name) const {
  for (const auto& [fieldName, value] : fields) {
    if (common::EqualsIgnoringAsciiCase(fieldName, name)) return std::string_view(value);
  }
  return std::nullopt;
}

std::string_view TrimHttpBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::uint64_t> ParseHttpDecimal(std::string_view text, std::uint64_t limit) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

void HttpResponseReader::Fail(std::string why) {
  stage_ = Stage::kFailed;
  failure_ = std::move(why);
}

bool HttpResponseReader::CollectLine(std::string_view& data, std::size_t limit,
                                     std::size_t& counted) {
  const std::size_t feed = data.find('\n');
  const std::size_t take = feed == std::string_view::npos ? data.size() : feed + 1;
  if (take > limit - counted) {
    Fail(part_ == Part::kHeadLines ? "the response head is larger than 64 KiB"
         : part_ == Part::kTrailers
             ? "the trailer fields are larger than 64 KiB"
             : "the chunked body has more than 4 KiB without a line end where one belongs");
    return false;
  }
  counted += take;
  line_.append(data.substr(0, feed == std::string_view::npos ? take : feed));
  data.remove_prefix(take);
  if (feed == std::string_view::npos) return false;
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  return true;
}

void HttpResponseReader::TakeStatusLine(std::string_view line) {
  // "HTTP/1.x 200 reason"; the reason may be empty or missing.
  if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || line[7] < '0' || line[7] > '9' ||
      line[8] != ' ' || (line.size() > 12 && line[12] != ' ')) {
    Fail("the answer's status line is not HTTP/1.x: \"" + std::string(line.substr(0, 80)) + "\"");
    return;
  }
  const auto status = ParseHttpDecimal(line.substr(9, 3), 599);
  if (!status || *status < 100) {
    Fail("the answer's status code is not one: \"" + std::string(line.substr(9, 3)) + "\"");
    return;
  }
  head_.status = static_cast<int>(*status);
  sawStatusLine_ = true;
}

void HttpResponseReader::TakeField(std::string_view line) {
  if (IsBlank(line.front())) {
    // An old-style continuation line: part of the previous field's value.
    if (head_.fields.empty()) {
      Fail("the response head starts with a continuation line");
      return;
    }
    std::string& value = head_.fields.back().second;
    const std::string_view more = TrimHttpBlanks(line);
    if (!more.empty()) {
      if (!value.empty()) value += ' ';
      value += more;
    }
    return;
  }
  const std::size_t colon = line.find(':');
  const std::string_view name = line.substr(0, colon);
  if (colon == std::string_view::npos || name.empty() ||
      !std::all_of(name.begin(), name.end(), IsTokenChar)) {
    Fail("a header line is not \"name: value\": \"" + std::string(line.substr(0, 80)) + "\"");
    return;
  }
  head_.fields.emplace_back(std::string(name), std::string(TrimHttpBlanks(line.substr(colon + 1))));
}

void HttpResponseReader::EndHead() {
  const int status = head_.status;
  if (status < 200) {
    if (status == 101) {
      Fail("the server switched protocols, which nobody asked for");
      return;
    }
    // An interim answer; the real one follows on the same connection.
    head_ = {};
    sawStatusLine_ = false;
    return;
  }
  stage_ = Stage::kBody;
  if (toHeadRequest_ || status == 204 || status == 304) {
    bodyLength_ = 0;
    stage_ = Stage::kComplete;
    return;
  }

  std::vector<std::string_view> codings;
  std::vector<std::string_view> lengths;
  for (const auto& [name, value] : head_.fields) {
    if (common::EqualsIgnoringAsciiCase(name, "Transfer-Encoding")) {
      for (const auto element : ListElements(value)) codings.push_back(element);
    } else if (common::EqualsIgnoringAsciiCase(name, "Content-Length")) {
      if (TrimHttpBlanks(value).empty()) lengths.push_back(value);  // fails below
      for (const auto element : ListElements(value)) lengths.push_back(element);
    }
  }
  bool chunked = false;
  for (std::size_t i = 0; i < codings.size(); ++i) {
    if (common::EqualsIgnoringAsciiCase(codings[i], "identity")) continue;
    if (common::EqualsIgnoringAsciiCase(codings[i], "chunked") && !chunked &&
        i + 1 == codings.size()) {
      chunked = true;
      continue;
    }
    Fail("the body comes in a transfer coding this client does not decode: \"" +
         std::string(codings[i].substr(0, 40)) + "\"");
    return;
  }
  if (chunked) {
    // The chunks frame the body; a length beside them does not count.
    part_ = Part::kChunkSize;
    return;
  }
  for (const auto text : lengths) {
    const auto length = ParseHttpDecimal(text, kMaxBodySize);
    if (!length || (bodyLength_ && *bodyLength_ != *length)) {
      Fail("the answer's Content-Length is not one length: \"" + std::string(text.substr(0, 40)) +
           "\"");
      return;
    }
    bodyLength_ = length;
  }
  if (!bodyLength_) {
    part_ = Part::kOpenBody;
  } else if (*bodyLength_ == 0) {
    stage_ = Stage::kComplete;
  } else {
    part_ = Part::kFixedBody;
  }
}

void HttpResponseReader::TakeHeadLine(std::string_view line) {
  if (!sawStatusLine_) {
    TakeStatusLine(line);
  } else if (line.empty()) {
    EndHead();
  } else {
    TakeField(line);
  }
}

void HttpResponseReader::TakeChunkSize(std::string_view line) {
  std::uint64_t size = 0;
  std::size_t digits = 0;
  for (; digits < line.size() && HexValue(line[digits]) >= 0; ++digits) {
    size = size * 16 + static_cast<std::uint64_t>(HexValue(line[digits]));
    if (size > kMaxBodySize) {
      Fail("a chunk of the body claims an absurd size");
      return;
    }
  }
  const std::string_view rest = TrimHttpBlanks(line.substr(digits));
  if (digits == 0 || (!rest.empty() && rest.front() != ';')) {
    Fail("a chunk's size line is not a size: \"" + std::string(line.substr(0, 40)) + "\"");
    return;
  }
  if (size > kMaxBodySize - bodyReceived_) {
    Fail("the chunked body grows past any sensible size");
    return;
  }
  chunkLeft_ = size;
  part_ = size == 0 ? Part::kTrailers : Part::kChunkData;
}

void HttpResponseReader::TakeBody(std::string_view& data, std::string& body,
                                  std::uint64_t available) {
  const std::size_t take =
      static_cast<std::size_t>(std::min<std::uint64_t>(available, data.size()));
  body.append(data.substr(0, take));
  bodyReceived_ += take;
  data.remove_prefix(take);
}

void HttpResponseReader::Feed(std::string_view data, std::string& body) {
  std::size_t chunkLine = 0;
  while (!data.empty() && (stage_ == Stage::kHead || stage_ == Stage::kBody)) {
    switch (part_) {
      case Part::kHeadLines: {
        const bool whole = CollectLine(data, kMaxHeadSize, headBytes_);
        if (stage_ == Stage::kFailed) return;
        if (!sawStatusLine_) {
          // Anything that cannot become a status line fails at once rather
          // than after 64 KiB or a timeout.
          const std::size_t known = std::min(line_.size(), kStatusPrefix.size());
          if (std::string_view(line_).substr(0, known) != kStatusPrefix.substr(0, known) ||
              (whole && known < kStatusPrefix.size())) {
            Fail("the answer is not HTTP");
            return;
          }
        }
        if (whole) {
          TakeHeadLine(line_);
          line_.clear();
        }
        break;
      }
      case Part::kFixedBody:
        TakeBody(data, body, *bodyLength_ - bodyReceived_);
        if (bodyReceived_ == *bodyLength_) stage_ = Stage::kComplete;
        break;
      case Part::kOpenBody:
        if (data.size() > kMaxBodySize - bodyReceived_) {
          Fail("the body grows past any sensible size");
          return;
        }
        TakeBody(data, body, data.size());
        break;
      case Part::kChunkSize:
      case Part::kChunkEnd: {
        chunkLine = line_.size();
        if (!CollectLine(data, kMaxChunkLine, chunkLine)) break;
        if (part_ == Part::kChunkSize) {
          TakeChunkSize(line_);
        } else if (line_.empty()) {
          part_ = Part::kChunkSize;
        } else {
          Fail("a chunk of the body is longer than its size says");
        }
        line_.clear();
        break;
      }
      case Part::kChunkData: {
        const std::uint64_t before = bodyReceived_;
        TakeBody(data, body, chunkLeft_);
        chunkLeft_ -= bodyReceived_ - before;
        if (chunkLeft_ == 0) part_ = Part::kChunkEnd;
        break;
      }
      case Part::kTrailers:
        if (!CollectLine(data, kMaxHeadSize, trailerBytes_)) break;
        if (line_.empty()) {
          stage_ = Stage::kComplete;
        } else if (!IsBlank(line_.front()) && line_.find(':') == std::string::npos) {
          Fail("a trailer line is not \"name: value\"");
        }
        line_.clear();
        break;
    }
  }
}

void HttpResponseReader::Close() {
  if (stage_ == Stage::kHead) {
    Fail(headBytes_ == 0 ? "the connection closed without an answer"
                         : "the connection closed before the answer's head ended");
  } else if (stage_ == Stage::kBody) {
    if (part_ == Part::kOpenBody) {
      stage_ = Stage::kComplete;
    } else if (part_ == Part::kFixedBody) {
      Fail("the connection closed after " + std::to_string(bodyReceived_) + " of " +
           std::to_string(*bodyLength_) + " body bytes");
    } else {
      Fail("the connection closed in the middle of the chunked body after " +
           std::to_string(bodyReceived_) + " bytes");
    }
  }
}

}  // namespace tavrel
