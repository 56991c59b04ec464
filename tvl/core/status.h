// The outcome of reading or extracting an archive: a coarse error class the caller can act on,
// plus a sentence for logs and test failures.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace tvl {

enum class ErrorCode {
  kOk,
  kIoError,      // the archive could not be read
  kNotArchive,   // no 7z signature
  kCorrupt,      // structure or checksum does not hold together
  kUnsupported,  // valid 7z, but uses something this reader does not handle (yet)
  kBadName,      // an entry name that could escape or misbehave on the target folder
  kWriteFailed,  // the sink refused a folder or file
  kAborted,      // the progress callback asked to stop
  kOutOfMemory,
  kInternal,
};

class Status {
 public:
  Status() = default;
  Status(ErrorCode code, std::string message) : code_(code), message_(std::move(message)) {}

  bool ok() const { return code_ == ErrorCode::kOk; }
  ErrorCode code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  ErrorCode code_ = ErrorCode::kOk;
  std::string message_;
};

// Thrown deep inside the reader and turned into a Status at the public entry points, so the
// parser can stay a straight sequence of reads instead of a ladder of checks.
class ArchiveError : public std::exception {
 public:
  ArchiveError(ErrorCode code, std::string message) : status_(code, std::move(message)) {}
  explicit ArchiveError(Status status) : status_(std::move(status)) {}
  const char* what() const noexcept override { return status_.message().c_str(); }
  const Status& status() const { return status_; }

 private:
  Status status_;
};

[[noreturn]] inline void Fail(ErrorCode code, std::string message) {
  throw ArchiveError(code, std::move(message));
}

}  // namespace tvl
