// BZip2 decoder.
//
// A bzip2 stream is "BZh" and a level digit 1..9, then blocks, then a trailer holding a CRC
// combined from the blocks' CRCs. A block holds at most level × 100,000 bytes that went through
// four stages on the way in, undone here in reverse order:
//   1. every run of 4 to 259 equal bytes became those 4 bytes and a count byte (0..255) of the
//      ones left out;
//   2. the block was sorted by the Burrows-Wheeler transform; the block header's origin pointer
//      tells which of the sorted rotations is the block itself;
//   3. move-to-front coding, where runs of the front symbol are written as numbers in base 2
//      with the digits RUNA and RUNB (bijective: RUNA is 1, RUNB is 2 at each position);
//   4. Huffman coding with 2 to 6 tables, one chosen for each 50 symbols by a "selector".
//
// The work is split over two threads. A worker reads the bits and undoes stages 4 and 3, which
// leaves the block's sorted last column; the thread that calls Read undoes the sorting and then
// the run-length stage straight into the caller's buffer, with the block's CRC worked out on the
// way. Two blocks are held, so the worker decodes block N+1 while the caller's thread empties
// block N. Small streams (and a process that cannot start a thread) do both in the caller's
// thread.
#include "tvl/core/bzip2_decoder.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "tvl/core/compiler_hints.h"
#include "tvl/core/lzma_decoder.h"
#include "tvl/core/status.h"

namespace tvl {
namespace {

constexpr std::uint32_t kLevelBlockSize = 100'000;
constexpr std::uint32_t kMaxBlockSize = 9 * kLevelBlockSize;
constexpr unsigned kMinGroups = 2;
constexpr unsigned kMaxGroups = 6;
constexpr unsigned kGroupSize = 50;
constexpr unsigned kMaxCodeLength = 20;
constexpr unsigned kMaxAlphabet = 258;  // RUNA, RUNB, 255 move-to-front positions, end of block
constexpr unsigned kMaxSelectors = (1u << 15) - 1;
constexpr unsigned kLookupBits = 10;  // codes up to this long are found with one table lookup
constexpr std::size_t kInputBufferSize = 64 * 1024;
constexpr std::uint64_t kBlockMagic = 0x314159265359;
constexpr std::uint64_t kEndMagic = 0x177245385090;
// Undoing the block sorting: how many segments a block is cut into at most (the last one for
// the segment the block starts with), how many are walked at once, and the pieces their bytes
// are collected in.
constexpr std::uint32_t kMaxSegments = 65;
constexpr std::uint32_t kWalkers = 8;
constexpr std::uint32_t kChunkSize = 4096;
constexpr std::uint32_t kMaxChunks = kMaxBlockSize / kChunkSize + kMaxSegments + 1;
constexpr std::uint32_t kNoChunk = ~std::uint32_t{0};
constexpr std::uint32_t kStartFlag = 1u << 31;  // in a link: the row it leads to starts a segment
constexpr std::uint32_t kRowMask = (1u << 20) - 1;  // a row number, 20 bits for 900,000 rows
// Below this much output a stream has one or two blocks, and a thread would not pay for itself.
constexpr std::uint64_t kThreadThreshold = 1u << 20;

[[noreturn]] void Corrupt(const char* what) {
  Fail(ErrorCode::kCorrupt, std::string("BZip2 data is corrupt: ") + what);
}

// ---------------------------------------------------------------------------------------------
// The CRC of bzip2: CRC-32 with the polynomial 0x04C11DB7 taken most significant bit first
// (the zip/7z CRC is the same polynomial bit-reversed). Eight tables let the loop take eight
// bytes per step: table k gives the CRC of a byte followed by k zero bytes.
struct CrcTables {
  std::uint32_t t[8][256];
};

constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i << 24;
    for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
    tables.t[0][i] = c;
  }
  for (int k = 1; k < 8; ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t prev = tables.t[k - 1][i];
      tables.t[k][i] = (prev << 8) ^ tables.t[0][prev >> 24];
    }
  }
  return tables;
}

constexpr CrcTables kCrc = MakeCrcTables();

TVL_ALWAYS_INLINE std::uint32_t LoadBe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 |
         std::uint32_t{p[3]};
}

TVL_ALWAYS_INLINE std::uint64_t LoadBe64(const std::uint8_t* p) {
  return std::uint64_t{LoadBe32(p)} << 32 | LoadBe32(p + 4);
}

std::uint32_t CrcUpdate(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  const auto& t = kCrc.t;
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t a = crc ^ LoadBe32(p);
    const std::uint32_t b = LoadBe32(p + 4);
    crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^
          t[3][b >> 24] ^ t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
  }
  for (; n > 0; --n, ++p) crc = (crc << 8) ^ t[0][(crc >> 24) ^ *p];
  return crc;
}

// ---------------------------------------------------------------------------------------------
// Bits, most significant first, from a large buffer over the input. `bits` holds `count` valid
// bits at its top; a refill tops it up to at least 57 with one unaligned 8-byte load while 8
// bytes are left in the buffer. Past the end of the input it is filled with zero bytes, counted
// in `padding`: a decoder that consumed any of them has read beyond the data.
class BitReader {
 public:
  explicit BitReader(std::unique_ptr<InStream> input)
      : input_(std::move(input)), data_(kInputBufferSize) {}

  TVL_ALWAYS_INLINE void Refill() {
    if (end_ - pos_ >= 8) {
      bits |= LoadBe64(data_.data() + pos_) >> count;
      pos_ += (63 - count) >> 3;
      count |= 56;
    } else {
      RefillSlow();
    }
  }

  // Up to 32 bits, checked against the end of the data.
  std::uint32_t Get(unsigned n) {
    if (count < n) Refill();
    const auto v = static_cast<std::uint32_t>(bits >> (64 - n));
    bits <<= n;
    count -= n;
    CheckNotPastEnd();
    return v;
  }

  void CheckNotPastEnd() const {
    if (padding > count) Corrupt("the data ends early");
  }

  void AlignToByte() {
    bits <<= count & 7;
    count &= ~7u;
  }

  // Whether the input has no byte left (at a byte boundary).
  bool AtEnd() {
    if (count > padding || pos_ < end_) return false;
    FillBuffer();
    return pos_ == end_;
  }

  std::uint64_t bits = 0;
  unsigned count = 0;
  unsigned padding = 0;

 private:
  void FillBuffer() {
    if (eof_) return;
    std::memmove(data_.data(), data_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < 8 && !eof_) {
      const std::size_t room = data_.size() - end_;
      const std::size_t got = input_->Read(std::as_writable_bytes(std::span(data_).subspan(end_)));
      if (got > room) Fail(ErrorCode::kInternal, "input stream returned more than asked");
      if (got == 0) eof_ = true;
      end_ += got;
    }
  }

  void RefillSlow() {
    CheckNotPastEnd();
    FillBuffer();
    if (end_ - pos_ >= 8) {
      Refill();
      return;
    }
    while (count <= 56) {
      std::uint8_t byte = 0;
      if (pos_ < end_) {
        byte = data_[pos_++];
      } else {
        padding += 8;
      }
      bits |= std::uint64_t{byte} << (56 - count);
      count += 8;
    }
  }

  std::unique_ptr<InStream> input_;
  std::vector<std::uint8_t> data_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
};

// ---------------------------------------------------------------------------------------------
// One Huffman table. Codes are canonical: shorter codes first, and within one length in the
// order of the symbols. Codes of up to kLookupBits bits are found with one lookup of the next
// kLookupBits bits; longer ones (rare: they belong to rare symbols) by length.
struct HuffmanTable {
  // (symbol << 5) | length for codes up to kLookupBits bits; 0 where a longer code starts.
  std::array<std::uint16_t, 1u << kLookupBits> fast;
  std::array<std::uint32_t, kMaxCodeLength + 1> first;  // the first code of each length
  std::array<std::uint16_t, kMaxCodeLength + 1> count;
  std::array<std::uint16_t, kMaxCodeLength + 1> offset;  // the length's first entry of `sorted`
  std::array<std::uint16_t, kMaxAlphabet> sorted;        // symbols by code
  unsigned max_length;

  void Build(const std::uint8_t* lengths, unsigned alphabet) {
    count.fill(0);
    max_length = 0;
    for (unsigned s = 0; s < alphabet; ++s) {
      ++count[lengths[s]];
      max_length = std::max<unsigned>(max_length, lengths[s]);
    }
    std::uint32_t code = 0;
    std::uint16_t index = 0;
    std::array<std::uint16_t, kMaxCodeLength + 1> next{};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
      first[len] = code;
      offset[len] = next[len] = index;
      index = static_cast<std::uint16_t>(index + count[len]);
      code += count[len];
      // More codes of this length than there is room for: the lengths do not describe a
      // prefix code. (Fewer is allowed; the missing codes are refused where they occur.)
      if (code > (1u << len)) Corrupt("a Huffman table is not a prefix code");
      code <<= 1;
    }
    for (unsigned s = 0; s < alphabet; ++s)
      sorted[next[lengths[s]]++] = static_cast<std::uint16_t>(s);
    fast.fill(0);
    for (unsigned len = 1; len <= kLookupBits && len <= max_length; ++len) {
      for (unsigned i = 0; i < count[len]; ++i) {
        const unsigned symbol = sorted[offset[len] + i];
        const unsigned start = (first[len] + i) << (kLookupBits - len);
        const auto entry = static_cast<std::uint16_t>(symbol << 5 | len);
        std::fill_n(fast.begin() + start, 1u << (kLookupBits - len), entry);
      }
    }
  }

  // The symbol of a code longer than kLookupBits at the top of `bits`; its length in `length`.
  unsigned DecodeLong(std::uint64_t bits, unsigned& length) const {
    for (unsigned len = kLookupBits + 1; len <= max_length; ++len) {
      const auto code = static_cast<std::uint32_t>(bits >> (64 - len));
      if (code - first[len] < count[len]) {
        length = len;
        return sorted[offset[len] + code - first[len]];
      }
    }
    Corrupt("a Huffman code that is in no table");
  }
};

// A block as the worker hands it over: for each row of its sorted rotations, the row's
// last-column byte (low 8 bits) and the row of the rotation one byte further on (above them,
// with kStartFlag where that row starts a segment); and its header fields.
struct Block {
  std::unique_ptr<std::uint32_t[]> links;
  std::uint32_t capacity = 0;
  std::uint32_t size = 0;
  std::uint32_t first_row = 0;  // the row the block starts from
  std::uint32_t step = 0;       // segments start at the multiples of this, and at first_row
  std::uint32_t crc = 0;
};

class Bzip2Decoder final : public InStream {
 public:
  Bzip2Decoder(std::uint64_t unpack_size, std::unique_ptr<InStream> input)
      : reader_(std::move(input)), remaining_(unpack_size) {
    // Run-length coding turns 4 bytes into 5 at worst, so no block of this output is longer.
    if (unpack_size != kUnknownUnpackSize) {
      block_bound_ = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(kMaxBlockSize, unpack_size + unpack_size / 4 + 1));
    }
    pieces_.reserve(kMaxChunks);
  }

  ~Bzip2Decoder() override {
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    ready_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

  std::size_t Read(std::span<std::byte> out) override {
    // An error leaves the reading side halfway through a block: it stands for every later call.
    if (failure_) std::rethrow_exception(failure_);
    try {
      return ReadSome(out);
    } catch (...) {
      failure_ = std::current_exception();
      throw;
    }
  }

 private:
  // -------------------------------------------------------------------------------------------
  // The reading side, in the caller's thread.

  std::size_t ReadSome(std::span<std::byte> out) {
    if (out.empty() || remaining_ == 0) return 0;
    if (!started_) Start();
    for (;;) {
      if (!current_) {
        current_ = NextBlock();
        if (!current_) return 0;
        UndoSort(*current_);
        piece_ = 0;
        pos_ = 0;
        last_ = 0;
        run_ = 0;
        pending_ = 0;
        crc_ = 0xFFFFFFFFu;
      }
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), remaining_));
      const std::size_t n = Produce(out.first(want));
      if (remaining_ != kUnknownUnpackSize) remaining_ -= n;
      // The output may end just before the count byte of a run that adds nothing.
      if (remaining_ == 0 && !BlockDone()) Produce({});
      if (BlockDone()) {
        FinishBlock();
      } else if (remaining_ == 0) {
        Corrupt("the stream holds more data than expected");
      }
      if (n != 0) return n;
    }
  }

  void Start() {
    started_ = true;
    if (remaining_ < kThreadThreshold) return;
    try {
      worker_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
      // No thread to be had: everything runs in the caller's thread.
    }
  }

  // Copies the current block's bytes into `out`, undoing the run-length stage; stops when `out`
  // is full or the block is done.
  std::size_t Produce(std::span<std::byte> out) {
    auto* const begin = reinterpret_cast<std::uint8_t*>(out.data());
    std::uint8_t* o = begin;
    std::uint8_t* const end = begin + out.size();
    std::size_t piece = piece_;
    std::size_t pos = pos_;
    std::uint32_t last = last_;
    unsigned run = run_;
    for (;;) {
      if (pending_ != 0) {
        const auto k = static_cast<std::uint32_t>(std::min<std::size_t>(pending_, end - o));
        if (k != 0) std::memset(o, static_cast<int>(last), k);
        o += k;
        pending_ -= k;
        if (pending_ != 0) break;
      }
      if (piece == pieces_.size()) break;
      const std::span<const std::uint8_t> bytes = pieces_[piece];
      if (pos == bytes.size()) {
        ++piece;
        pos = 0;
        continue;
      }
      if (run == 4) {
        // After four equal bytes comes the count of further copies of the byte.
        pending_ = bytes[pos++];
        run = 0;
        continue;
      }
      if (o == end) break;
      const std::size_t stop = pos + std::min<std::size_t>(bytes.size() - pos, end - o);
      while (pos != stop) {
        const std::uint32_t b = bytes[pos++];
        *o++ = static_cast<std::uint8_t>(b);
        if (b == last) {
          if (++run == 4) break;
        } else {
          last = b;
          run = 1;
        }
      }
    }
    while (piece != pieces_.size() && pos == pieces_[piece].size()) {
      ++piece;
      pos = 0;
    }
    piece_ = piece;
    pos_ = pos;
    last_ = last;
    run_ = run;
    crc_ = CrcUpdate(crc_, begin, static_cast<std::size_t>(o - begin));
    return static_cast<std::size_t>(o - begin);
  }

  // Puts the block's bytes back in their original order, as pieces of the chunks they are
  // walked into.
  //
  // Following the links from the row the block starts from gives the block in order. Each step
  // is a load from an unpredictable place, so a single walk would wait on memory all the time.
  // Instead the rows are cut into segments at the start rows the worker marked, and several
  // segments are walked at once, each until it runs into the start of another; that one comes
  // next in the output.
  void UndoSort(const Block& block) {
    const std::uint32_t size = block.size;
    const std::uint32_t step = block.step;
    const std::uint32_t* const links = block.links.get();
    if (pool_capacity_ < block.capacity) {
      pool_.reset();
      pool_ = std::make_unique_for_overwrite<std::uint8_t[]>(block.capacity +
                                                             kMaxSegments * kChunkSize);
      pool_capacity_ = block.capacity;
    }
    const std::uint32_t first_row = block.first_row;
    // Segment k starts at row k * step; the last one at first_row, unless that is one of those.
    const auto segment_of = [&](std::uint32_t row) {
      return row % step == 0 ? row / step : kMaxSegments - 1;
    };
    struct Segment {
      std::uint32_t first_chunk;
      std::uint32_t last_chunk_fill;
      std::uint32_t following;  // the segment that comes after this one
    };
    std::array<Segment, kMaxSegments> segments;
    std::array<std::uint32_t, kMaxChunks> chunk_next;
    std::uint32_t chunks_used = 0;
    std::array<std::uint32_t, kMaxSegments> starts;
    std::uint32_t num_starts = 0;
    for (std::uint32_t row = 0; row < size; row += step) starts[num_starts++] = row;
    if (first_row % step != 0) starts[num_starts++] = first_row;

    struct Walker {
      std::uint32_t row;
      std::uint32_t segment;
      std::uint32_t chunk;
      std::uint8_t* out;
      std::uint8_t* chunk_end;
    };
    std::array<Walker, kWalkers> walkers;
    std::uint8_t* const pool = pool_.get();
    std::uint32_t next_segment = 0;
    const auto begin_segment = [&](Walker& w) {
      const std::uint32_t row = starts[next_segment++];
      w.row = row;
      w.segment = segment_of(row);
      w.chunk = chunks_used++;
      segments[w.segment].first_chunk = w.chunk;
      w.out = pool + std::size_t{w.chunk} * kChunkSize;
      w.chunk_end = w.out + kChunkSize;
    };
    std::uint32_t active = 0;
    while (active < kWalkers && next_segment < num_starts) begin_segment(walkers[active++]);
    while (active != 0) {
      for (std::uint32_t k = 0; k < active;) {
        Walker& w = walkers[k];
        const std::uint32_t entry = links[w.row];
        *w.out++ = static_cast<std::uint8_t>(entry);
        w.row = entry >> 8 & kRowMask;
        if (entry & kStartFlag) {
          Segment& done = segments[w.segment];
          done.following = segment_of(w.row);
          chunk_next[w.chunk] = kNoChunk;
          done.last_chunk_fill =
              static_cast<std::uint32_t>(w.out - (pool + std::size_t{w.chunk} * kChunkSize));
          if (next_segment < num_starts) {
            begin_segment(w);
          } else {
            w = walkers[--active];
            continue;
          }
        } else if (w.out == w.chunk_end) {
          chunk_next[w.chunk] = chunks_used;
          w.chunk = chunks_used++;
          w.out = pool + std::size_t{w.chunk} * kChunkSize;
          w.chunk_end = w.out + kChunkSize;
        }
        ++k;
      }
    }

    // The segments in order, from the one the block starts with back to it. Damaged data can
    // link the rows into several cycles instead of one; the segments followed then do not
    // add up to the block.
    pieces_.clear();
    std::uint32_t written = 0;
    std::uint32_t segment = segment_of(first_row);
    for (std::uint32_t n = 0; n < num_starts; ++n) {
      const Segment& part = segments[segment];
      for (std::uint32_t chunk = part.first_chunk;; chunk = chunk_next[chunk]) {
        const std::uint32_t fill =
            chunk_next[chunk] == kNoChunk ? part.last_chunk_fill : kChunkSize;
        if (fill > size - written) Corrupt("the block's rows do not form one cycle");
        pieces_.emplace_back(pool + std::size_t{chunk} * kChunkSize, fill);
        written += fill;
        if (chunk_next[chunk] == kNoChunk) break;
      }
      segment = part.following;
      if (segment == segment_of(first_row)) break;
    }
    if (written != size) Corrupt("the block's rows do not form one cycle");
  }

  bool BlockDone() const { return piece_ == pieces_.size() && pending_ == 0; }

  void FinishBlock() {
    if (~crc_ != current_->crc) Corrupt("block CRC mismatch");
    current_ = nullptr;
    {
      const std::lock_guard lock(mutex_);
      ++released_;
    }
    ready_.notify_all();
    // The last block of the output: the trailer of its stream is checked before its last bytes
    // go out.
    if (remaining_ == 0) {
      bool verified = false;
      WaitUntil([&] {
        verified = verified_ >= released_;
        return verified || produced_ > released_;
      });
      if (!verified) Corrupt("the stream holds more data than expected");
    }
  }

  // The next block in order; nullptr where the data ends.
  Block* NextBlock() {
    return WaitUntil([this] { return produced_ > released_; }) ? &blocks_[released_ % 2] : nullptr;
  }

  // Waits until `done` holds (true) or the worker has finished without it (false, or its error
  // rethrown). `done` looks at what the worker shares, so it is only called under the lock.
  // Without a worker thread, runs its steps here instead.
  template <typename Done>
  bool WaitUntil(Done done) {
    if (!worker_.joinable()) {
      while (!finished_ && !done()) Step();
      if (done()) return true;
    } else {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return finished_ || done(); });
      if (done()) return true;
    }
    if (error_) std::rethrow_exception(error_);
    return false;
  }

  // -------------------------------------------------------------------------------------------
  // The decoding side, in the worker thread (or the caller's, without one).

  void Work() {
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stop_ || produced_ < released_ + 2; });
        if (stop_) return;
      }
      Step();
      if (finished_) return;
    }
  }

  // Decodes up to the next block (into the free slot) or the end of the data. Needs a free slot.
  void Step() {
    try {
      const bool block = DecodeUntilBlock();
      const std::lock_guard lock(mutex_);
      if (block) {
        ++produced_;
      } else {
        finished_ = true;
      }
    } catch (...) {
      const std::lock_guard lock(mutex_);
      error_ = std::current_exception();
      finished_ = true;
    }
    ready_.notify_all();
  }

  // True with a new block in the free slot; false at the end of the last stream.
  bool DecodeUntilBlock() {
    for (;;) {
      if (!in_stream_) {
        if (stop_) return false;
        if (streams_ != 0 && reader_.AtEnd()) return false;
        if (reader_.Get(8) != 'B' || reader_.Get(8) != 'Z' || reader_.Get(8) != 'h') {
          Corrupt("no bzip2 stream header");
        }
        const std::uint32_t level = reader_.Get(8) - '0';
        if (level < 1 || level > 9) Corrupt("the block size digit is not 1..9");
        level_size_ = level * kLevelBlockSize;
        combined_crc_ = 0;
        in_stream_ = true;
        ++streams_;
      }
      const std::uint64_t magic = std::uint64_t{reader_.Get(24)} << 24 | reader_.Get(24);
      if (magic == kBlockMagic) {
        Block& block = blocks_[produced_ % 2];
        DecodeBlock(block);
        combined_crc_ = (combined_crc_ << 1 | combined_crc_ >> 31) ^ block.crc;
        return true;
      }
      if (magic != kEndMagic) Corrupt("neither a block nor the end of the stream");
      if (reader_.Get(32) != combined_crc_) Corrupt("stream CRC mismatch");
      reader_.AlignToByte();
      in_stream_ = false;
      const std::lock_guard lock(mutex_);
      verified_ = produced_;
    }
  }

  void DecodeBlock(Block& block) {
    BitReader& in = reader_;
    block.crc = in.Get(32);
    if (in.Get(1) != 0) {
      Fail(ErrorCode::kUnsupported, "BZip2 blocks of the randomised kind are not supported");
    }
    const std::uint32_t origin = in.Get(24);

    // The bytes the block uses, in order; they start the move-to-front list.
    // The bytes the block uses, in order, as the move-to-front list: list byte i is byte i % 8
    // (from the least significant) of word i / 8.
    std::array<std::uint64_t, 32> mtf{};
    unsigned in_use = 0;
    const std::uint32_t ranges = in.Get(16);
    for (unsigned r = 0; r < 16; ++r) {
      if (!(ranges >> (15 - r) & 1)) continue;
      const std::uint32_t used = in.Get(16);
      for (unsigned b = 0; b < 16; ++b) {
        if (!(used >> (15 - b) & 1)) continue;
        mtf[in_use / 8] |= std::uint64_t{r * 16 + b} << (8 * (in_use % 8));
        ++in_use;
      }
    }
    if (in_use == 0) Corrupt("a block that uses no byte");
    const unsigned alphabet = in_use + 2;
    const unsigned end_of_block = in_use + 1;

    const unsigned groups = in.Get(3);
    if (groups < kMinGroups || groups > kMaxGroups) Corrupt("the number of Huffman tables");
    const unsigned selectors = in.Get(15);
    if (selectors == 0) Corrupt("no selectors");
    // Selectors are move-to-front coded over the table numbers, each position in unary.
    std::array<std::uint8_t, kMaxGroups> order = {0, 1, 2, 3, 4, 5};
    for (unsigned i = 0; i < selectors; ++i) {
      unsigned j = 0;
      while (in.Get(1) != 0) {
        if (++j >= groups) Corrupt("a selector past the last table");
      }
      const std::uint8_t table = order[j];
      std::memmove(order.data() + 1, order.data(), j);
      order[0] = table;
      selectors_[i] = table;
    }

    // Code lengths: a 5-bit start, then for each symbol changes of +1 or -1 up to a 0 bit.
    std::array<std::uint8_t, kMaxAlphabet> lengths;
    for (unsigned g = 0; g < groups; ++g) {
      unsigned len = in.Get(5);
      for (unsigned s = 0; s < alphabet; ++s) {
        for (;;) {
          if (len < 1 || len > kMaxCodeLength) Corrupt("a code length outside 1..20");
          if (in.Get(1) == 0) break;
          len = in.Get(1) != 0 ? len - 1 : len + 1;
        }
        lengths[s] = static_cast<std::uint8_t>(len);
      }
      tables_[g].Build(lengths.data(), alphabet);
    }

    // Room for the largest block of this level (or of this output, if smaller).
    const std::uint32_t limit = std::min(level_size_, block_bound_);
    if (block.capacity < limit) {
      block.links.reset();
      block.links = std::make_unique_for_overwrite<std::uint32_t[]>(limit);
      block.capacity = limit;
    }
    std::array<std::uint32_t, 256> counts{};
    const std::uint32_t size =
        DecodeSymbols(block.links.get(), limit, mtf, end_of_block, selectors, counts);
    if (origin >= size) Corrupt("the origin pointer is past the end of the block");

    // The i-th occurrence of a byte in the last column is its i-th occurrence in the first
    // column, which links each row to the row of the rotation one byte further on. The block
    // starts from the row after the origin's. Rows where the reading side's walks start are
    // marked in the links that lead to them.
    std::array<std::uint32_t, 256> next_row;
    std::uint32_t sum = 0;
    for (unsigned b = 0; b < 256; ++b) {
      next_row[b] = sum;
      sum += counts[b];
    }
    std::uint32_t* const links = block.links.get();
    const std::uint32_t step = size / (kMaxSegments - 1) + 1;
    std::uint32_t next_start = 0;
    for (std::uint32_t i = 0; i < size; ++i) {
      std::uint32_t link = i << 8;
      if (i == next_start) {
        link |= kStartFlag;
        next_start += step;
      }
      links[next_row[links[i] & 0xFF]++] |= link;
    }
    block.first_row = links[origin] >> 8 & kRowMask;
    links[origin] |= kStartFlag;
    block.size = size;
    block.step = step;
  }

  // The Huffman-coded symbols of a block, up to its end-of-block symbol, undone down to the
  // bytes of the last column (one per entry of `out`); returns how many. Each byte is counted.
  std::uint32_t DecodeSymbols(std::uint32_t* out, std::uint32_t limit,
                              std::array<std::uint64_t, 32>& mtf, unsigned end_of_block,
                              unsigned selectors, std::array<std::uint32_t, 256>& counts) {
    BitReader& in = reader_;
    // The first 8 bytes of the move-to-front list, where almost all symbols fall, stay here.
    std::uint64_t front = mtf[0];
    std::uint64_t bits = in.bits;
    unsigned count = in.count;
    std::uint32_t n = 0;
    std::uint32_t run = 0;  // the pending run of the front byte
    std::uint32_t run_digit = 1;
    unsigned selector = 0;
    for (;;) {
      if (selector == selectors) Corrupt("more symbols than the selectors cover");
      const HuffmanTable& table = tables_[selectors_[selector++]];
      for (unsigned k = 0; k < kGroupSize; ++k) {
        if (count < kMaxCodeLength) {
          in.bits = bits;
          in.count = count;
          in.Refill();
          bits = in.bits;
          count = in.count;
        }
        const std::uint16_t entry =
            table.fast[static_cast<std::size_t>(bits >> (64 - kLookupBits))];
        unsigned symbol;
        unsigned length;
        if (entry != 0) {
          symbol = entry >> 5;
          length = entry & 31;
        } else {
          symbol = table.DecodeLong(bits, length);
        }
        bits <<= length;
        count -= length;

        if (symbol <= 1) {
          // RUNA adds the digit's value, RUNB twice that; the digit doubles each time.
          run += run_digit << symbol;
          run_digit <<= 1;
          if (run > limit - n) Corrupt("a run past the end of the block");
          continue;
        }
        if (run != 0) {
          const auto b = static_cast<std::uint8_t>(front);
          std::fill_n(out + n, run, std::uint32_t{b});
          counts[b] += run;
          n += run;
          run = 0;
          run_digit = 1;
        }
        if (symbol == end_of_block) {
          in.bits = bits;
          in.count = count;
          in.CheckNotPastEnd();
          return n;
        }
        // Symbol s moves the byte at position s - 1 to the front: the bytes before it move up
        // by one, those after it stay. In a word that is a shift by 8 bits under a mask.
        const unsigned at = symbol - 1;
        std::uint8_t b;
        if (at < 8) {
          const unsigned shift = 8 * at;
          b = static_cast<std::uint8_t>(front >> shift);
          const std::uint64_t moved = ~(~std::uint64_t{0} << shift << 8);
          front = (front & ~moved) | ((front << 8 | b) & moved);
        } else {
          const unsigned word = at / 8;
          const unsigned shift = 8 * (at % 8);
          b = static_cast<std::uint8_t>(mtf[word] >> shift);
          std::uint64_t carry = front >> 56;
          front = front << 8 | b;
          for (unsigned i = 1; i < word; ++i) {
            const std::uint64_t v = mtf[i];
            mtf[i] = v << 8 | carry;
            carry = v >> 56;
          }
          const std::uint64_t moved = ~(~std::uint64_t{0} << shift << 8);
          mtf[word] = (mtf[word] & ~moved) | ((mtf[word] << 8 | carry) & moved);
        }
        if (n == limit) Corrupt("more bytes than the block size allows");
        out[n++] = b;
        ++counts[b];
      }
    }
  }

  // Shared between the threads, under mutex_.
  std::mutex mutex_;
  std::condition_variable ready_;
  std::array<Block, 2> blocks_;
  std::uint64_t produced_ = 0;  // blocks decoded; block i is in slot i % 2
  std::uint64_t released_ = 0;  // blocks emptied by the reading side
  std::uint64_t verified_ = 0;  // blocks whose stream trailer has been checked
  bool finished_ = false;       // no more blocks come (error_ says why, if not the end)
  std::exception_ptr error_;
  std::atomic<bool> stop_ = false;

  // The decoding side's own.
  BitReader reader_;
  std::uint32_t block_bound_ = kMaxBlockSize;
  std::uint32_t level_size_ = 0;
  std::uint32_t combined_crc_ = 0;
  std::uint64_t streams_ = 0;
  bool in_stream_ = false;
  std::array<std::uint8_t, kMaxSelectors> selectors_;
  std::array<HuffmanTable, kMaxGroups> tables_;

  // The reading side's own: the chunks the current block's bytes are walked into, the pieces
  // of them in order, and where the reading is.
  std::unique_ptr<std::uint8_t[]> pool_;
  std::uint32_t pool_capacity_ = 0;
  std::vector<std::span<const std::uint8_t>> pieces_;
  std::size_t piece_ = 0;
  std::uint64_t remaining_;
  std::exception_ptr failure_;
  bool started_ = false;
  Block* current_ = nullptr;
  std::size_t pos_ = 0;
  std::uint32_t last_ = 0;
  unsigned run_ = 0;
  std::uint32_t pending_ = 0;
  std::uint32_t crc_ = 0;

  std::thread worker_;  // last: started once everything else exists
};

}  // namespace

std::uint64_t Bzip2DecoderMemory(std::uint64_t unpack_size) {
  const std::uint64_t block =
      unpack_size == kUnknownUnpackSize
          ? kMaxBlockSize
          : std::min<std::uint64_t>(kMaxBlockSize, unpack_size + unpack_size / 4 + 1);
  // Two blocks of links, and the chunks the current block's bytes are collected in.
  return 2 * block * sizeof(std::uint32_t) + block + kMaxSegments * kChunkSize +
         sizeof(Bzip2Decoder) + kInputBufferSize;
}

std::unique_ptr<InStream> MakeBzip2Decoder(std::uint64_t unpack_size,
                                           std::unique_ptr<InStream> input) {
  return std::make_unique<Bzip2Decoder>(unpack_size, std::move(input));
}

}  // namespace tvl
