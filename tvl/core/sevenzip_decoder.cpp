// Coder table and chain building. A coder is looked up by its method id and built over the
// streams that feed it: packed streams read straight from the archive, or other coders' outputs.
#include "tvl/core/sevenzip_decoder.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "tvl/core/branch_converters.h"
#include "tvl/core/branch_filters.h"
#include "tvl/core/bzip2_decoder.h"
#include "tvl/core/deflate_decoder.h"
#include "tvl/core/lzma_decoder.h"
#include "tvl/core/ppmd_decoder.h"
#include "tvl/core/read_ahead_stream.h"

namespace tvl::sevenzip {
namespace {

using Inputs = std::vector<std::unique_ptr<InStream>>;
// A coder is built over its inputs, knowing the size of the output the folder expects of it
// (the LZMA decoders keep their dictionary no larger than that).
using DecoderFactory = std::unique_ptr<InStream> (*)(const Coder& coder, Inputs inputs,
                                                     std::uint64_t unpack_size);

// Reads one packed stream from the archive, no further than its recorded size.
class PackStreamReader final : public InStream {
 public:
  PackStreamReader(ByteSource& source, PackStream stream)
      : source_(source), offset_(stream.offset), remaining_(stream.size) {}

  std::size_t Read(std::span<std::byte> out) override {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), remaining_));
    if (n == 0) return 0;
    if (!source_.ReadAt(offset_, out.first(n)))
      Fail(ErrorCode::kIoError, "cannot read packed data");
    offset_ += n;
    remaining_ -= n;
    return n;
  }

 private:
  ByteSource& source_;
  std::uint64_t offset_;
  std::uint64_t remaining_;
};

// Holds a coder's output to the size the header gives it: never more, and not less either.
class SizedStream final : public InStream {
 public:
  SizedStream(std::unique_ptr<InStream> inner, std::uint64_t size)
      : inner_(std::move(inner)), remaining_(size) {}

  std::size_t Read(std::span<std::byte> out) override {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), remaining_));
    if (n == 0) return 0;
    const std::size_t got = inner_->Read(out.first(n));
    if (got == 0 || got > n) Fail(ErrorCode::kCorrupt, "decoded data ends early");
    remaining_ -= got;
    return got;
  }

 private:
  std::unique_ptr<InStream> inner_;
  std::uint64_t remaining_;
};

class CopyDecoder final : public InStream {
 public:
  explicit CopyDecoder(std::unique_ptr<InStream> input) : input_(std::move(input)) {}
  std::size_t Read(std::span<std::byte> out) override { return input_->Read(out); }

 private:
  std::unique_ptr<InStream> input_;
};

struct DecoderInfo {
  std::array<std::uint8_t, 8> method_id;
  std::size_t method_id_size;
  const char* name;
  std::uint32_t num_inputs;
  DecoderFactory create;
  // Whether the coder's property bytes are ones the decoder takes; null where the decoder itself
  // judges them when it is built.
  bool (*properties_ok)(std::span<const std::uint8_t> properties);
};

template <BranchArchitecture kArchitecture>
std::unique_ptr<InStream> MakeConverter(const Coder& coder, Inputs inputs, std::uint64_t) {
  return MakeBranchConverter(kArchitecture, coder.properties, std::move(inputs[0]));
}

template <BranchArchitecture kArchitecture>
bool ConverterPropertiesOk(std::span<const std::uint8_t> properties) {
  return BranchPropertiesValid(kArchitecture, properties);
}

constexpr DecoderInfo kDecoders[] = {
    {{0x00},
     1,
     "Copy",
     1,
     [](const Coder&, Inputs inputs, std::uint64_t) -> std::unique_ptr<InStream> {
       return std::make_unique<CopyDecoder>(std::move(inputs[0]));
     },
     nullptr},
    {{0x03, 0x01, 0x01},
     3,
     "LZMA",
     1,
     [](const Coder& coder, Inputs inputs, std::uint64_t size) -> std::unique_ptr<InStream> {
       return MakeLzmaDecoder(coder.properties, size, std::move(inputs[0]));
     },
     nullptr},
    {{0x21},
     1,
     "LZMA2",
     1,
     [](const Coder& coder, Inputs inputs, std::uint64_t size) -> std::unique_ptr<InStream> {
       return MakeLzma2Decoder(coder.properties, size, std::move(inputs[0]));
     },
     nullptr},
    {{0x03, 0x03, 0x01, 0x03},
     4,
     "BCJ",
     1,
     [](const Coder&, Inputs inputs, std::uint64_t) -> std::unique_ptr<InStream> {
       return MakeBcjDecoder(std::move(inputs[0]));
     },
     nullptr},
    {{0x03, 0x03, 0x01, 0x1B},
     4,
     "BCJ2",
     4,
     [](const Coder&, Inputs inputs, std::uint64_t) -> std::unique_ptr<InStream> {
       return MakeBcj2Decoder(std::move(inputs));
     },
     nullptr},
    {{0x03},
     1,
     "Delta",
     1,
     [](const Coder& coder, Inputs inputs, std::uint64_t) -> std::unique_ptr<InStream> {
       return MakeDeltaDecoder(coder.properties, std::move(inputs[0]));
     },
     nullptr},
    {{0x03, 0x03, 0x05, 0x01},
     4,
     "ARM",
     1,
     MakeConverter<BranchArchitecture::kArm>,
     ConverterPropertiesOk<BranchArchitecture::kArm>},
    {{0x03, 0x03, 0x07, 0x01},
     4,
     "ARMT",
     1,
     MakeConverter<BranchArchitecture::kArmThumb>,
     ConverterPropertiesOk<BranchArchitecture::kArmThumb>},
    {{0x0A},
     1,
     "ARM64",
     1,
     MakeConverter<BranchArchitecture::kArm64>,
     ConverterPropertiesOk<BranchArchitecture::kArm64>},
    {{0x03, 0x03, 0x02, 0x05},
     4,
     "PPC",
     1,
     MakeConverter<BranchArchitecture::kPowerPc>,
     ConverterPropertiesOk<BranchArchitecture::kPowerPc>},
    {{0x03, 0x03, 0x08, 0x05},
     4,
     "SPARC",
     1,
     MakeConverter<BranchArchitecture::kSparc>,
     ConverterPropertiesOk<BranchArchitecture::kSparc>},
    {{0x03, 0x03, 0x04, 0x01},
     4,
     "IA64",
     1,
     MakeConverter<BranchArchitecture::kIa64>,
     ConverterPropertiesOk<BranchArchitecture::kIa64>},
    {{0x0B},
     1,
     "RISCV",
     1,
     MakeConverter<BranchArchitecture::kRiscV>,
     ConverterPropertiesOk<BranchArchitecture::kRiscV>},
    {{0x04, 0x01, 0x08},
     3,
     "Deflate",
     1,
     [](const Coder&, Inputs inputs, std::uint64_t size) -> std::unique_ptr<InStream> {
       return MakeDeflateDecoder(size, std::move(inputs[0]));
     },
     nullptr},
    {{0x04, 0x01, 0x09},
     3,
     "Deflate64",
     1,
     [](const Coder&, Inputs inputs, std::uint64_t size) -> std::unique_ptr<InStream> {
       return MakeDeflate64Decoder(size, std::move(inputs[0]));
     },
     nullptr},
    {{0x04, 0x02, 0x02},
     3,
     "BZip2",
     1,
     [](const Coder&, Inputs inputs, std::uint64_t size) -> std::unique_ptr<InStream> {
       return MakeBzip2Decoder(size, std::move(inputs[0]));
     },
     nullptr},
    {{0x03, 0x04, 0x01},
     3,
     "PPMd",
     1,
     [](const Coder& coder, Inputs inputs, std::uint64_t size) -> std::unique_ptr<InStream> {
       return MakePpmdDecoder(coder.properties, size, std::move(inputs[0]));
     },
     nullptr},
};

const DecoderInfo* FindDecoder(const Coder& coder) {
  for (const auto& info : kDecoders) {
    if (std::equal(coder.method_id.begin(), coder.method_id.end(), info.method_id.begin(),
                   info.method_id.begin() + static_cast<std::ptrdiff_t>(info.method_id_size)) &&
        coder.num_in_streams == info.num_inputs) {
      return &info;
    }
  }
  return nullptr;
}

bool IsMethod(const Coder& coder, std::initializer_list<std::uint8_t> id) {
  return std::equal(coder.method_id.begin(), coder.method_id.end(), id.begin(), id.end());
}

bool IsAes(const Coder& coder) {
  static constexpr std::array<std::uint8_t, 4> kAes = {0x06, 0xF1, 0x07, 0x01};
  return std::equal(coder.method_id.begin(), coder.method_id.end(), kAes.begin(), kAes.end());
}

// The dictionary an LZMA or LZMA2 coder declares; nullopt for other coders (and for properties
// the decoder itself will refuse).
std::optional<std::uint64_t> DictionarySize(const Coder& coder) {
  const auto& id = coder.method_id;
  const auto& p = coder.properties;
  if (id == std::vector<std::uint8_t>{0x03, 0x01, 0x01} && p.size() == 5) {
    return std::uint64_t{p[1]} | std::uint64_t{p[2]} << 8 | std::uint64_t{p[3]} << 16 |
           std::uint64_t{p[4]} << 24;
  }
  if (id == std::vector<std::uint8_t>{0x21} && p.size() == 1 && p[0] <= 40) {
    if (p[0] == 40) return 0xFFFFFFFFu;
    return std::uint64_t{2u | (p[0] & 1u)} << (p[0] / 2 + 11);
  }
  return std::nullopt;
}

std::string MethodName(const Coder& coder) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "method ";
  for (const std::uint8_t b : coder.method_id) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

// Whether the coder only rearranges bytes (branch converters, Delta): cheap next to the
// decompressor that feeds it.
bool IsFilter(const Coder& coder) {
  for (const auto id : {std::initializer_list<std::uint8_t>{0x00},
                        {0x03, 0x01, 0x01},
                        {0x21},
                        {0x04, 0x01, 0x08},
                        {0x04, 0x01, 0x09},
                        {0x04, 0x02, 0x02},
                        {0x03, 0x04, 0x01}}) {
    if (IsMethod(coder, id)) return false;
  }
  return true;
}

// `ahead`: the folder in-stream whose coder decodes ahead in a thread of its own, if any.
std::unique_ptr<InStream> BuildCoder(ByteSource& source, const Archive& archive,
                                     const Folder& folder, std::uint32_t c,
                                     std::optional<std::uint32_t> ahead) {
  const Coder& coder = folder.coders[c];
  const DecoderInfo* info = FindDecoder(coder);
  if (!info) {
    if (IsAes(coder)) Fail(ErrorCode::kUnsupported, "the archive is encrypted (AES)");
    Fail(ErrorCode::kUnsupported, "unsupported " + MethodName(coder));
  }
  Inputs inputs;
  const std::uint32_t first_in = folder.FirstInStream(c);
  for (std::uint32_t in = first_in; in < first_in + coder.num_in_streams; ++in) {
    const auto packed = std::find(folder.packed_streams.begin(), folder.packed_streams.end(), in);
    if (packed != folder.packed_streams.end()) {
      const auto index = folder.first_pack_stream +
                         static_cast<std::size_t>(packed - folder.packed_streams.begin());
      inputs.push_back(std::make_unique<PackStreamReader>(source, archive.pack_streams[index]));
      continue;
    }
    // The reader has checked that every input is either packed or bound, and that the bindings
    // form a tree, so this recursion ends.
    const auto pair = std::find_if(folder.bind_pairs.begin(), folder.bind_pairs.end(),
                                   [&](const BindPair& p) { return p.in_index == in; });
    const std::uint64_t size = folder.unpack_sizes[pair->out_index];
    std::unique_ptr<InStream> input = std::make_unique<SizedStream>(
        BuildCoder(source, archive, folder, pair->out_index, ahead), size);
    if (ahead == in) input = MakeReadAheadStream(std::move(input), size);
    inputs.push_back(std::move(input));
  }
  return info->create(coder, std::move(inputs), folder.unpack_sizes[c]);
}

}  // namespace

Status CheckFolderSupported(const Folder& folder) {
  for (const auto& coder : folder.coders) {
    if (IsAes(coder)) {
      return {ErrorCode::kUnsupported, "the archive is encrypted (AES), which is not supported"};
    }
  }
  for (const auto& coder : folder.coders) {
    const DecoderInfo* info = FindDecoder(coder);
    if (!info) return {ErrorCode::kUnsupported, "unsupported " + MethodName(coder)};
    if (info->properties_ok && !info->properties_ok(coder.properties)) {
      return {ErrorCode::kUnsupported, std::string("unsupported properties of ") + info->name};
    }
  }
  // The memory the folder's decoders will hold together must fit a 32-bit process; an archive
  // that asks for more is refused before anything is written. LZMA dictionaries are no larger
  // than their coder's output; a PPMd model takes all of its declared size however short the
  // output; BZip2 declares its block size inside the stream only, so its decoder is counted at
  // the largest, no larger than the output needs; Deflate's is fixed.
  std::uint64_t memory = 0;
  for (std::size_t c = 0; c < folder.coders.size(); ++c) {
    const Coder& coder = folder.coders[c];
    const std::uint64_t output = folder.unpack_sizes[c];
    if (IsMethod(coder, {0x04, 0x02, 0x02})) {
      memory += Bzip2DecoderMemory(output);
    } else if (IsMethod(coder, {0x04, 0x01, 0x08}) || IsMethod(coder, {0x04, 0x01, 0x09})) {
      memory += kDeflateDecoderMemory;
    } else if (IsMethod(coder, {0x03, 0x04, 0x01})) {
      const auto model = PpmdMemorySize(coder.properties);
      if (model && *model > kMaxDictionarySize) {
        return {ErrorCode::kUnsupported, "PPMd model larger than 256 MiB"};
      }
      memory += model.value_or(0);
    } else if (const auto dictionary = DictionarySize(coder)) {
      if (*dictionary > kMaxDictionarySize) {
        return {ErrorCode::kUnsupported, "dictionary larger than 256 MiB"};
      }
      memory += std::min<std::uint64_t>(*dictionary, output);
    }
  }
  if (memory > kMaxDictionarySize) {
    return {ErrorCode::kUnsupported, "the folder's dictionaries need more than 256 MiB"};
  }
  return {};
}

std::unique_ptr<InStream> OpenFolder(ByteSource& source, const Archive& archive,
                                     std::size_t folder_index, bool decode_ahead) {
  const Folder& folder = archive.folders.at(folder_index);
  // The thread that decodes ahead takes the decompressor; a filter behind it (BCJ, BCJ2 on its
  // main stream) stays with the reader, which has the lighter load.
  std::optional<std::uint32_t> ahead;
  if (decode_ahead && IsFilter(folder.coders[folder.main_coder])) {
    const std::uint32_t first = folder.FirstInStream(folder.main_coder);
    const bool bound = std::any_of(folder.bind_pairs.begin(), folder.bind_pairs.end(),
                                   [&](const BindPair& p) { return p.in_index == first; });
    if (bound) ahead = first;
  }
  std::unique_ptr<InStream> output = BuildCoder(source, archive, folder, folder.main_coder, ahead);
  if (decode_ahead && !ahead) output = MakeReadAheadStream(std::move(output), folder.UnpackSize());
  return std::make_unique<SizedStream>(std::move(output), folder.UnpackSize());
}

}  // namespace tvl::sevenzip
