#include "engine/core/http_download.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "common/ascii_case.h"
#include "engine/core/http_response.h"

namespace tavrel {

namespace {

constexpr int kConnectTimeoutMs = 15000;
// No data for this long ends a request.
constexpr int kIdleTimeoutMs = 15000;
// The longest single wait: cancelling takes effect within it.
constexpr int kSliceMs = 500;
constexpr int kMaxRedirects = 5;
// A partial file's last bytes are fetched again rather than trusted.
constexpr std::uint64_t kResumeOverlap = 2048;
// A request goes out in one piece into a fresh connection's send buffer; a
// longer URL is refused rather than sent in parts that could stall.
constexpr std::size_t kMaxUrl = 8192;
// What HEAD's Content-Length may be to count as the file's size.
constexpr std::uint64_t kMaxHeadLength = 0xFFFFFFFFu;

constexpr std::string_view kCancelledText = "cancelled";

struct Url {
  std::string host;
  std::uint16_t port = 80;
  std::string path;  // path and query, percent-encoded where needed

  // "host" or "host:port" as the Host field and an absolute URL give it.
  std::string Authority() const { return port == 80 ? host : host + ":" + std::to_string(port); }
};

bool IsHostChar(char c) {
  return common::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

// A port as written in a URL or the proxy settings: 1 to 65535.
std::optional<std::uint16_t> ParsePort(std::string_view text) {
  const auto port = ParseHttpDecimal(text, 65535);
  if (!port || *port == 0) return std::nullopt;
  return static_cast<std::uint16_t>(*port);
}

// The path as it goes on the request line: blanks, control characters and
// bytes above 127 percent-encoded, so that nothing in a URL can end the line
// or add a header; everything else as written.
std::string EncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

// "http://host[:port][/path][?query][#fragment]", the scheme in any case.
// The fragment is not sent.
std::optional<Url> ParseUrl(std::string_view text, std::string& why) {
  text = TrimHttpBlanks(text);
  if (text.size() > kMaxUrl) {
    why = "the URL is longer than " + std::to_string(kMaxUrl) + " characters";
    return std::nullopt;
  }
  if (common::StartsWithIgnoringAsciiCase(text, "https:")) {
    why = "https URLs need the system's download service; this client speaks plain HTTP only: " +
          std::string(text);
    return std::nullopt;
  }
  if (!common::StartsWithIgnoringAsciiCase(text, "http://")) {
    why = "not an http URL: " + std::string(text);
    return std::nullopt;
  }
  text.remove_prefix(7);
  const std::size_t authorityEnd = std::min(text.find_first_of("/?#"), text.size());
  std::string_view authority = text.substr(0, authorityEnd);
  std::string_view rest = text.substr(authorityEnd);
  rest = rest.substr(0, rest.find('#'));

  Url url;
  const std::size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    const auto number = port.empty() ? std::optional<std::uint16_t>(80) : ParsePort(port);
    if (!number) {
      why = "the URL's port is not a port: " + std::string(port);
      return std::nullopt;
    }
    url.port = *number;
    authority = authority.substr(0, colon);
  }
  if (authority.empty() || !std::all_of(authority.begin(), authority.end(), IsHostChar)) {
    why = "the URL's host is not a host name or IPv4 address: \"" + std::string(authority) + "\"";
    return std::nullopt;
  }
  url.host = authority;
  url.path = EncodePath(rest);
  if (url.path.empty() || url.path.front() != '/') url.path.insert(0, "/");
  return url;
}

// Where a redirect's Location leads from the URL it answered.
std::optional<Url> ResolveLocation(const Url& base, std::string_view location, std::string& why) {
  location = TrimHttpBlanks(location);
  if (location.starts_with("//")) return ParseUrl("http:" + std::string(location), why);
  if (location.find("://") != std::string_view::npos ||
      common::StartsWithIgnoringAsciiCase(location, "http:") ||
      common::StartsWithIgnoringAsciiCase(location, "https:")) {
    return ParseUrl(location, why);
  }
  if (location.empty()) {
    why = "the server redirected to an empty location";
    return std::nullopt;
  }
  Url url = base;
  location = location.substr(0, location.find('#'));
  if (location.front() == '/') {
    url.path = EncodePath(location);
  } else if (location.front() == '?') {
    url.path = url.path.substr(0, url.path.find('?')) + EncodePath(location);
  } else {
    // Relative to the folder of the path that answered.
    const std::string folder = url.path.substr(0, url.path.find('?'));
    url.path = folder.substr(0, folder.rfind('/') + 1) + EncodePath(location);
  }
  return url;
}

std::string Base64(std::string_view data) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16;
    if (i + 1 < data.size()) group |= static_cast<unsigned char>(data[i + 1]) << 8;
    if (i + 2 < data.size()) group |= static_cast<unsigned char>(data[i + 2]);
    encoded += kDigits[(group >> 18) & 63];
    encoded += kDigits[(group >> 12) & 63];
    encoded += i + 1 < data.size() ? kDigits[(group >> 6) & 63] : '=';
    encoded += i + 2 < data.size() ? kDigits[group & 63] : '=';
  }
  return encoded;
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// "bytes first-last/complete", the complete length possibly "*".
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::optional<std::uint64_t> complete;
};

std::optional<ContentRange> ParseContentRange(std::string_view text) {
  if (!common::StartsWithIgnoringAsciiCase(text, "bytes ")) return std::nullopt;
  text = TrimHttpBlanks(text.substr(6));
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return std::nullopt;
  }
  const auto first = ParseHttpDecimal(text.substr(0, dash), HttpResponseReader::kMaxBodySize);
  const auto last =
      ParseHttpDecimal(text.substr(dash + 1, slash - dash - 1), HttpResponseReader::kMaxBodySize);
  if (!first || !last || *last < *first) return std::nullopt;
  ContentRange range{*first, *last, std::nullopt};
  const std::string_view complete = text.substr(slash + 1);
  if (complete != "*") {
    range.complete = ParseHttpDecimal(complete, HttpResponseReader::kMaxBodySize);
    if (!range.complete || *range.complete <= *last) return std::nullopt;
  }
  return range;
}

// One response being read from its connection.
struct Exchange {
  explicit Exchange(bool toHead) : reader(toHead) {}
  std::unique_ptr<NetConnection> connection;
  HttpResponseReader reader;
  std::string body;  // decoded body bytes not handed on yet
};

enum class Step { kDone, kFailed, kCancelled };

class Client {
 public:
  Client(MediaPort& media, const StillWanted& wanted) : media_(media), wanted_(wanted) {}

  // Takes the proxy settings; false with the reason when they are unusable.
  bool UseProxy(const ProxySettings& proxy, std::string& why) {
    if (proxy.server.empty()) return true;
    const std::string_view server = TrimHttpBlanks(proxy.server);
    if (server.empty() || !std::all_of(server.begin(), server.end(), IsHostChar)) {
      why = "the proxy server is not a host name or IPv4 address: \"" + proxy.server + "\"";
      return false;
    }
    const std::string_view portText = TrimHttpBlanks(proxy.port);
    const auto port = portText.empty() ? std::optional<std::uint16_t>(80) : ParsePort(portText);
    if (!port) {
      why = "the proxy port is not a number from 1 to 65535: \"" + proxy.port + "\"";
      return false;
    }
    proxyHost_ = server;
    proxyPort_ = *port;
    if (!proxy.user.empty()) {
      proxyAuthorization_ =
          "Proxy-Authorization: Basic " + Base64(proxy.user + ":" + proxy.password) + "\r\n";
    }
    return true;
  }

  bool Wanted() const { return !wanted_ || wanted_(); }

  // Sends the request and reads up to the end of the answer's head,
  // following redirects; on kDone the exchange is at its body. url becomes
  // the URL that answered.
  Step Request(Url& url, std::string_view method, std::optional<std::uint64_t> rangeStart,
               Exchange& exchange, int& status, std::string& why) {
    for (int redirects = 0;; ++redirects) {
      exchange = Exchange(method == "HEAD");
      const Step step = RequestOnce(url, method, rangeStart, exchange, why);
      if (step != Step::kDone) return step;
      status = exchange.reader.head().status;
      if (!IsRedirect(status)) return Step::kDone;
      const auto location = exchange.reader.head().Field("Location");
      if (!location) {
        why = "the server answered " + std::to_string(status) + " without a Location";
        return Step::kFailed;
      }
      if (redirects == kMaxRedirects) {
        why = "more than " + std::to_string(kMaxRedirects) + " redirects";
        return Step::kFailed;
      }
      auto next = ResolveLocation(url, *location, why);
      if (!next) return Step::kFailed;
      url = std::move(*next);
    }
  }

  // Reads on until the answer gives more body bytes, ends or fails.
  Step ReadMore(Exchange& exchange, std::string& why) {
    char buffer[16384];
    int idleMs = 0;
    while (true) {
      if (!Wanted()) {
        why = kCancelledText;
        return Step::kCancelled;
      }
      const int got = exchange.connection->Receive(buffer, kSliceMs);
      if (got == NetConnection::kReceiveTimedOut) {
        idleMs += kSliceMs;
        if (idleMs >= kIdleTimeoutMs) {
          why = "no data from the server for " + std::to_string(kIdleTimeoutMs / 1000) + " s";
          return Step::kFailed;
        }
        continue;
      }
      if (got < 0) {
        why = "the connection failed";
        return Step::kFailed;
      }
      if (got == 0) {
        exchange.reader.Close();
      } else {
        exchange.reader.Feed(std::string_view(buffer, static_cast<std::size_t>(got)),
                             exchange.body);
      }
      if (exchange.reader.stage() == HttpResponseReader::Stage::kFailed) {
        why = exchange.reader.failure();
        return Step::kFailed;
      }
      return Step::kDone;
    }
  }

 private:
  Step RequestOnce(const Url& url, std::string_view method, std::optional<std::uint64_t> rangeStart,
                   Exchange& exchange, std::string& why) {
    const bool proxied = !proxyHost_.empty();
    const std::string& host = proxied ? proxyHost_ : url.host;
    const std::uint16_t port = proxied ? proxyPort_ : url.port;
    exchange.connection = media_.Connect(host, port, kConnectTimeoutMs, wanted_);
    if (!Wanted()) {
      why = kCancelledText;
      return Step::kCancelled;
    }
    if (!exchange.connection) {
      why = std::string("could not connect to ") + (proxied ? "the proxy " : "") + host + ":" +
            std::to_string(port);
      return Step::kFailed;
    }
    std::string request(method);
    request += ' ';
    if (proxied) request += "http://" + url.Authority();
    request += url.path + " HTTP/1.1\r\nHost: " + url.Authority() +
               "\r\n"
               "User-Agent: Mozilla/3.0 (compatible)\r\n"
               "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";
    if (rangeStart) request += "Range: bytes=" + std::to_string(*rangeStart) + "-\r\n";
    request += proxyAuthorization_;
    request += "Connection: close\r\n\r\n";
    if (!exchange.connection->SendAll(request, kSliceMs)) {
      why = "could not send the request to " + host + ":" + std::to_string(port);
      return Step::kFailed;
    }
    while (exchange.reader.stage() == HttpResponseReader::Stage::kHead) {
      const Step step = ReadMore(exchange, why);
      if (step != Step::kDone) return step;
    }
    return Step::kDone;
  }

  MediaPort& media_;
  const StillWanted& wanted_;
  std::string proxyHost_;
  std::uint16_t proxyPort_ = 80;
  std::string proxyAuthorization_;
};

// The download proper: the GET and the writing of its body.
class Download {
 public:
  Download(MediaPort& media, const HttpDownloadRequest& request, const HttpProgress& progress,
           Client& client, HttpDownloadResult& result)
      : media_(media), request_(request), progress_(progress), client_(client), result_(result) {}

  enum class Outcome { kSucceeded, kFailed, kRestart };

  // GETs the URL, from rangeStart on when there is one, writing the body
  // into the target. kRestart: the server cannot give that range (416, or a
  // different one), so the whole file has to come again.
  Outcome Get(Url url, std::optional<std::uint64_t> rangeStart,
              std::optional<std::uint64_t> headSize) {
    Exchange exchange(false);
    const Step step = client_.Request(url, "GET", rangeStart, exchange, result_.status, why_);
    if (step != Step::kDone) return Fail(why_);
    const HttpHead& head = exchange.reader.head();
    const int status = head.status;
    if (status == 416 && rangeStart) return Outcome::kRestart;
    if (status >= 400) return Fail("the server answered " + std::to_string(status));
    if (status >= 300) {
      return Fail("the server answered " + std::to_string(status) + ", which gives no file");
    }

    std::uint64_t offset = 0;
    std::uint64_t total = exchange.reader.bodyLength().value_or(headSize.value_or(0));
    std::optional<std::uint64_t> end;       // where this answer's part ends
    std::optional<std::uint64_t> complete;  // the file's size as a partial answer gives it
    if (status == 206) {
      const auto contentRange = head.Field("Content-Range");
      const auto range = contentRange ? ParseContentRange(*contentRange) : std::nullopt;
      if (!range) return Fail("the server sent a part of the file without saying which");
      if (range->first != rangeStart.value_or(0)) {
        if (rangeStart) return Outcome::kRestart;
        return Fail("the server sent a part of the file from byte " + std::to_string(range->first) +
                    " instead of the whole file");
      }
      const std::uint64_t size = range->last - range->first + 1;
      const auto length = exchange.reader.bodyLength();
      if (length && *length != size) {
        return Fail("the server's partial answer has " + std::to_string(*length) +
                    " bytes for a range of " + std::to_string(size));
      }
      offset = range->first;
      end = range->last + 1;
      complete = range->complete;
      total = complete.value_or(headSize.value_or(*end));
    }
    // Any other success status carries the whole file, whatever was asked.

    auto file = media_.OpenForWritingAt(request_.target, offset);
    if (!file) return Fail("could not open " + request_.target + " for writing");
    std::uint64_t received = offset;
    while (true) {
      if (!exchange.body.empty()) {
        if (end && exchange.body.size() > *end - received) {
          return Fail("the server sent more than the part it announced");
        }
        if (!file->Write(exchange.body)) return Fail("could not write to " + request_.target);
        received += exchange.body.size();
        exchange.body.clear();
        if (progress_ && !progress_(received, total)) return Fail(std::string(kCancelledText));
      }
      if (exchange.reader.stage() == HttpResponseReader::Stage::kComplete) break;
      if (client_.ReadMore(exchange, why_) != Step::kDone) return Fail(why_);
    }
    if (end && received != *end) {
      return Fail("the server's partial answer ended at byte " + std::to_string(received) +
                  " instead of " + std::to_string(*end));
    }
    if (complete && received != *complete) {
      // A range that stops short of the file's end leaves the file short.
      return Fail("the server sent the file only up to byte " + std::to_string(received) + " of " +
                  std::to_string(*complete));
    }
    return Outcome::kSucceeded;
  }

 private:
  Outcome Fail(std::string why) {
    result_.failure = std::move(why);
    return Outcome::kFailed;
  }

  MediaPort& media_;
  const HttpDownloadRequest& request_;
  const HttpProgress& progress_;
  Client& client_;
  HttpDownloadResult& result_;
  std::string why_;
};

}  // namespace

HttpDownloadResult HttpDownload(MediaPort& media, const HttpDownloadRequest& request,
                                const HttpProgress& progress, const StillWanted& wanted) {
  HttpDownloadResult result;
  Client client(media, wanted);
  std::string why;
  const auto url = ParseUrl(request.url, why);
  if (!url || !client.UseProxy(request.proxy, why)) {
    result.failure = why;
    return result;
  }
  const std::int64_t size = media.FileSize(request.target);
  const std::uint64_t existing = size > 0 ? static_cast<std::uint64_t>(size) : 0;

  // HEAD tells the file's size when the server knows it. A HEAD that gets no
  // answer changes nothing; one the server refuses means the file is not
  // there.
  std::optional<std::uint64_t> headSize;
  {
    Url headUrl = *url;
    Exchange exchange(true);
    int status = 0;
    const Step step = client.Request(headUrl, "HEAD", std::nullopt, exchange, status, why);
    if (step == Step::kCancelled) {
      result.failure = kCancelledText;
      return result;
    }
    if (step == Step::kDone) {
      result.status = status;
      if (status >= 400) {
        result.failure = "the server answered " + std::to_string(status);
        return result;
      }
      if (const auto length = exchange.reader.head().Field("Content-Length");
          length && status < 300) {
        headSize = ParseHttpDecimal(*length, kMaxHeadLength);
      }
    }
  }

  // The last bytes of a partial file are fetched again; a partial file
  // larger than the server's is not part of it.
  const bool resume =
      request.resume && existing > kResumeOverlap && (!headSize || *headSize >= existing);
  std::optional<std::uint64_t> rangeStart;
  if (resume) rangeStart = existing - kResumeOverlap;

  Download download(media, request, progress, client, result);
  Download::Outcome outcome = download.Get(*url, rangeStart, headSize);
  if (outcome == Download::Outcome::kRestart) {
    // Without a range nothing can ask for another restart.
    outcome = download.Get(*url, std::nullopt, headSize);
  }
  result.succeeded = outcome == Download::Outcome::kSucceeded;
  if (result.succeeded) result.failure.clear();
  return result;
}

}  // namespace tavrel
