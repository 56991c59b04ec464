#include "tvl/core/converting_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "tvl/core/status.h"

namespace tvl {
namespace {

constexpr std::size_t kWindowSize = 64 * 1024;

}  // namespace

ConvertingStream::ConvertingStream(std::unique_ptr<InStream> input)
    : input_(std::move(input)), window_(kWindowSize) {}

std::size_t ConvertingStream::Read(std::span<std::byte> out) {
  if (out.empty()) return 0;
  while (ready_ == start_) {
    if (!Refill()) return 0;
  }
  const std::size_t n = std::min(out.size(), ready_ - start_);
  std::memcpy(out.data(), window_.data() + start_, n);
  start_ += n;
  return n;
}

// Makes converted bytes available; false at the end of the stream.
bool ConvertingStream::Refill() {
  // Unconverted bytes (never more than an instruction's worth) move to the front.
  const std::size_t pending = end_ - start_;
  std::memmove(window_.data(), window_.data() + start_, pending);
  window_base_ += start_;
  start_ = ready_ = 0;
  end_ = pending;
  if (!at_end_) {
    const std::size_t got = input_->Read(std::as_writable_bytes(std::span(window_).subspan(end_)));
    if (got == 0) {
      at_end_ = true;
    } else {
      if (got > window_.size() - end_) Fail(ErrorCode::kInternal, "stream overran its buffer");
      end_ += got;
    }
  }
  if (at_end_) {
    // Too few bytes to hold an instruction with its address: they pass as stored.
    ready_ = end_;
    return end_ != 0;
  }
  ready_ = Convert(std::span(window_).first(end_), window_base_);
  if (ready_ > end_ || (ready_ == 0 && end_ == window_.size())) {
    Fail(ErrorCode::kInternal, "filter made no progress");
  }
  return true;
}

}  // namespace tvl
