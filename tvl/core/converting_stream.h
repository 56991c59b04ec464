// A pull stream that rewrites its input in place through a window: the base of the branch
// filters, which look at a few bytes at a time and must see each instruction whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "tvl/core/byte_source.h"

namespace tvl {

class ConvertingStream : public InStream {
 public:
  std::size_t Read(std::span<std::byte> out) final;

 protected:
  explicit ConvertingStream(std::unique_ptr<InStream> input);

  // Converts the instructions that lie wholly inside `data`, whose first byte is at `position`
  // in the stream, and returns how far it got. The bytes after that point come back at the front
  // of the next call, with more behind them. Bytes never converted at the end of the stream pass
  // as they are.
  virtual std::size_t Convert(std::span<std::uint8_t> data, std::uint64_t position) = 0;

 private:
  bool Refill();

  std::unique_ptr<InStream> input_;
  std::vector<std::uint8_t> window_;
  std::uint64_t window_base_ = 0;  // stream position of window_[0]
  std::size_t start_ = 0;          // next byte to hand out
  std::size_t ready_ = 0;          // end of converted bytes
  std::size_t end_ = 0;            // end of bytes read
  bool at_end_ = false;
};

}  // namespace tvl
