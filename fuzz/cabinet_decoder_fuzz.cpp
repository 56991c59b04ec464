// libFuzzer harness of the cabinet decoder (stub/cabinet/core): the input read as a cabinet, then
// every folder and file decoded into a sink that discards the data. Each input also runs a second
// time with every data block's checksum cleared, so mutations reach the decoders. See README.md.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "stub/cabinet/core/cabinet_format.h"
#include "stub/cabinet/core/folder_decoder.h"

namespace {

class DiscardingSink final : public cab::FileSink {
 public:
  bool Write(std::size_t, std::size_t, std::span<const std::uint8_t> data) override {
    written += data.size();
    return true;
  }
  void Finish(std::size_t, std::size_t, cab::Error) override { ++finished; }
  std::uint64_t written = 0;
  std::size_t finished = 0;
};

void Run(std::vector<std::uint8_t>& bytes, bool clearChecksums) {
  cab::MemorySource source(bytes);
  cab::Cabinet cabinet;
  if (cab::ReadCabinet(source, 0, cabinet) != cab::Error::kNone) return;
  if (clearChecksums) {
    for (const cab::Folder& folder : cabinet.folders) {
      std::uint64_t offset = folder.dataOffset;
      for (unsigned b = 0; b < folder.blockCount && offset + 8 <= bytes.size(); ++b) {
        for (int k = 0; k < 4; ++k) bytes[offset + k] = 0;
        offset += 8u + cabinet.header.dataReserve + (bytes[offset + 4] | bytes[offset + 5] << 8);
      }
    }
  }
  DiscardingSink sink;
  const cab::SetMember member{&source, &cabinet};
  (void)cab::ExtractSet(std::span(&member, 1), sink);
  if (sink.finished > cabinet.files.size()) std::abort();

  // Each folder once more through the stream on its own, in odd-sized reads.
  cab::FolderStream stream;
  std::vector<std::uint8_t> buffer(4099);
  for (std::size_t f = 0; f < cabinet.folders.size(); ++f) {
    if (stream.Open(source, cabinet, f) != cab::Error::kNone) continue;
    std::size_t got = 0;
    while (stream.Read(buffer, got) == cab::Error::kNone && got == buffer.size()) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes(data, data + size);
  Run(bytes, false);
  bytes.assign(data, data + size);
  Run(bytes, true);
  return 0;
}
