// The worker fills the pieces of a small ring in turn; the reader empties them in the same
// order. A piece changes hands under the mutex only: once filled, once emptied.
#include "tvl/core/read_ahead_stream.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace tvl {
namespace {

constexpr std::size_t kPieceSize = 256 * 1024;
constexpr std::size_t kPieces = 4;
// Below this a stream is decoded in the caller's thread.
constexpr std::uint64_t kThreadThreshold = 1 << 20;

class ReadAheadStream final : public InStream {
 public:
  ReadAheadStream(std::unique_ptr<InStream> inner, std::uint64_t size)
      : inner_(std::move(inner)), left_to_decode_(size) {
    for (auto& piece : pieces_) piece.data.resize(kPieceSize);
    try {
      worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // No thread to be had: the caller's thread reads the inner stream itself.
      direct_ = true;
      for (auto& piece : pieces_) piece.data = {};
    }
  }

  ~ReadAheadStream() override {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  ReadAheadStream(const ReadAheadStream&) = delete;
  ReadAheadStream& operator=(const ReadAheadStream&) = delete;

  std::size_t Read(std::span<std::byte> out) override {
    if (direct_) return inner_->Read(out);
    if (out.empty()) return 0;
    for (;;) {
      Piece& piece = pieces_[reading_];
      if (!holding_) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return piece.full; });
        holding_ = true;
      }
      if (read_pos_ < piece.size) {
        const std::size_t n = std::min(out.size(), piece.size - read_pos_);
        std::memcpy(out.data(), piece.data.data() + read_pos_, n);
        read_pos_ += n;
        return n;
      }
      // Used up. An error comes after the bytes decoded before it, and stays.
      if (piece.failure) std::rethrow_exception(piece.failure);
      if (piece.last) return 0;
      {
        const std::lock_guard lock(mutex_);
        piece.full = false;
      }
      changed_.notify_all();
      holding_ = false;
      read_pos_ = 0;
      reading_ = (reading_ + 1) % kPieces;
    }
  }

 private:
  struct Piece {
    std::vector<std::byte> data;
    std::size_t size = 0;
    bool full = false;           // filled, and not yet handed back by the reader
    bool last = false;           // nothing follows
    std::exception_ptr failure;  // raised once the piece's bytes are read
  };

  void Work() {
    for (std::size_t filling = 0;; filling = (filling + 1) % kPieces) {
      Piece& piece = pieces_[filling];
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !piece.full; });
        if (stop_) return;
      }
      // Until it is marked full the piece is this thread's alone.
      std::size_t size = 0;
      bool last = false;
      std::exception_ptr failure;
      try {
        while (size < kPieceSize && !last) {
          const auto want =
              static_cast<std::size_t>(std::min<std::uint64_t>(kPieceSize - size, left_to_decode_));
          const std::size_t got =
              want == 0 ? 0 : inner_->Read(std::span(piece.data).subspan(size, want));
          size += got;
          left_to_decode_ -= got;
          last = got == 0 || left_to_decode_ == 0;
        }
      } catch (...) {
        failure = std::current_exception();
        last = true;
      }
      {
        const std::lock_guard lock(mutex_);
        piece.size = size;
        piece.last = last;
        piece.failure = failure;
        piece.full = true;
      }
      changed_.notify_all();
      if (last) return;
    }
  }

  std::unique_ptr<InStream> inner_;
  std::uint64_t left_to_decode_;  // the worker's
  std::array<Piece, kPieces> pieces_;
  bool direct_ = false;
  std::size_t reading_ = 0;   // the reader's: the piece it takes bytes from
  std::size_t read_pos_ = 0;  // the reader's, in that piece
  bool holding_ = false;      // the reader's: that piece is full and it has seen so

  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread worker_;  // last: started once everything else exists
};

}  // namespace

std::unique_ptr<InStream> MakeReadAheadStream(std::unique_ptr<InStream> inner, std::uint64_t size) {
  if (size < kThreadThreshold) return inner;
  return std::make_unique<ReadAheadStream>(std::move(inner), size);
}

}  // namespace tvl
