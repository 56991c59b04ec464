// Implementation of the tvl host test helpers.
#include "tvl_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tvl/core/crc32.h"

namespace tvl::testing {

Bytes ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

ScratchDir::ScratchDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  path_ = fs::current_path() / "tvl_scratch" /
          (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  if (!::testing::Test::HasFailure()) {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    fs::remove(path_.parent_path(), ignored);  // only goes once the last test's folder has
  }
}

Bytes Make7z(const fs::path& tree, const fs::path& archive, std::string_view switches) {
  fs::remove(archive);  // 7z a would add to an existing archive
  const std::string command = "cd '" + tree.string() + "' && LC_ALL=C.UTF-8 7z a -bd -y " +
                              std::string(switches) + " '" + fs::absolute(archive).string() +
                              "' -- * > /dev/null 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("7z failed: " + command);
  return ReadFileBytes(archive);
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(item.path(), root).generic_string();
    if (item.is_directory()) {
      out[rel] = "<dir>";
    } else {
      const Bytes data = ReadFileBytes(item.path());
      out[rel] = std::string(data.begin(), data.end());
    }
  }
  return out;
}

namespace {

class MemoryWriter final : public FileWriter {
 public:
  MemoryWriter(MemorySink& sink, std::string path) : sink_(sink), path_(std::move(path)) {}
  ~MemoryWriter() override {
    if (!committed_) ++sink_.discarded;
  }
  bool Write(std::span<const std::byte> data) override {
    data_.append(reinterpret_cast<const char*>(data.data()), data.size());
    return true;
  }
  bool Commit() override {
    sink_.files[path_] = data_;
    committed_ = true;
    return true;
  }

 private:
  MemorySink& sink_;
  std::string path_;
  std::string data_;
  bool committed_ = false;
};

class DiskWriter final : public FileWriter {
 public:
  DiskWriter(fs::path final_path, fs::path temp_path)
      : final_(std::move(final_path)), temp_(std::move(temp_path)), out_(temp_, std::ios::binary) {}
  ~DiskWriter() override {
    if (committed_) return;
    out_.close();
    std::error_code ignored;
    fs::remove(temp_, ignored);
  }
  bool ok() const { return static_cast<bool>(out_); }
  bool Write(std::span<const std::byte> data) override {
    out_.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out_);
  }
  bool Commit() override {
    out_.close();
    if (!out_) return false;
    std::error_code error;
    fs::rename(temp_, final_, error);
    committed_ = !error;
    return committed_;
  }

 private:
  fs::path final_;
  fs::path temp_;
  std::ofstream out_;
  bool committed_ = false;
};

}  // namespace

bool MemorySink::PrepareRoot() {
  prepared = true;
  return true;
}

bool MemorySink::CreateFolder(std::string_view path) {
  folders.emplace_back(path);
  return true;
}

std::unique_ptr<FileWriter> MemorySink::BeginFile(std::string_view path) {
  ++begun;
  if (path == fail_path) return nullptr;
  return std::make_unique<MemoryWriter>(*this, std::string(path));
}

fs::path DiskSink::Resolve(std::string_view path) const {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return root_ / native;
}

bool DiskSink::PrepareRoot() {
  std::error_code error;
  fs::create_directories(root_, error);
  return fs::is_directory(root_);
}

bool DiskSink::CreateFolder(std::string_view path) {
  std::error_code error;
  const fs::path full = Resolve(path);
  fs::create_directory(full, error);
  return !error && fs::is_directory(full);
}

std::unique_ptr<FileWriter> DiskSink::BeginFile(std::string_view path) {
  fs::path full = Resolve(path);
  fs::path temp = full;
  temp += ".tvl-part";
  auto writer = std::make_unique<DiskWriter>(full, temp);
  if (!writer->ok()) return nullptr;
  return writer;
}

HeaderWriter& HeaderWriter::Byte(std::uint8_t b) {
  bytes_.push_back(b);
  return *this;
}

HeaderWriter& HeaderWriter::Number(std::uint64_t n) {
  // Shortest form: k extra bytes hold the low 8k bits, the first byte the rest under k ones.
  for (int extra = 0; extra <= 8; ++extra) {
    const int high_bits = 7 - extra;
    if (extra == 8 || (high_bits >= 0 && (n >> (8 * extra)) < (std::uint64_t{1} << high_bits))) {
      const std::uint8_t ones = static_cast<std::uint8_t>(0xFF00u >> extra);
      const auto high = static_cast<std::uint8_t>(extra == 8 ? 0 : n >> (8 * extra));
      bytes_.push_back(static_cast<std::uint8_t>(ones | high));
      for (int i = 0; i < extra; ++i) bytes_.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
      return *this;
    }
  }
  return *this;
}

HeaderWriter& HeaderWriter::UInt32(std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}

HeaderWriter& HeaderWriter::UInt64(std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  return *this;
}

HeaderWriter& HeaderWriter::Raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

HeaderWriter& HeaderWriter::Name(std::u16string_view name) {
  for (const char16_t c : name) {
    bytes_.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes_.push_back(0);
  bytes_.push_back(0);
  return *this;
}

namespace {

void Store32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t Load64(const Bytes& b, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

std::uint32_t CrcOf(const Bytes& b, std::size_t at, std::size_t size) {
  return Crc32::Of(std::span<const std::uint8_t>(b).subspan(at, size));
}

}  // namespace

Bytes SealArchive(const Bytes& packed, const Bytes& header) {
  HeaderWriter start;
  start.Raw({'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4}).UInt32(0);
  start.UInt64(packed.size()).UInt64(header.size()).UInt32(0);
  Bytes out = start.bytes();
  out.insert(out.end(), packed.begin(), packed.end());
  out.insert(out.end(), header.begin(), header.end());
  Reseal(out);
  return out;
}

void Reseal(Bytes& archive) {
  const std::uint64_t offset = Load64(archive, 12);
  const std::uint64_t size = Load64(archive, 20);
  // A header placed out of reach (on purpose) keeps its old CRC.
  if (offset <= archive.size() - 32 && size <= archive.size() - 32 - offset) {
    Store32(archive, 28,
            CrcOf(archive, static_cast<std::size_t>(32 + offset), static_cast<std::size_t>(size)));
  }
  Store32(archive, 8, CrcOf(archive, 12, 20));
}

Bytes BuildArchive(const std::vector<TestEntry>& entries, const BuildOptions& options) {
  std::vector<const TestEntry*> streams;
  for (const auto& e : entries) {
    if (e.kind == TestEntry::kFile) streams.push_back(&e);
  }
  // Folders as lists of the files they hold.
  std::vector<std::vector<const TestEntry*>> folders;
  if (options.solid && !streams.empty()) {
    folders.push_back(streams);
  } else {
    for (const auto* s : streams) folders.push_back({s});
  }

  Bytes packed;
  HeaderWriter h;
  h.Byte(0x01);  // header
  if (!folders.empty()) {
    h.Byte(0x04);  // main streams info
    h.Byte(0x06).Number(0).Number(folders.size()).Byte(0x09);
    for (const auto& folder : folders) {
      std::uint64_t size = 0;
      for (const auto* s : folder) {
        size += s->data.size();
        packed.insert(packed.end(), s->data.begin(), s->data.end());
      }
      h.Number(size);
    }
    h.Byte(0x00);
    h.Byte(0x07).Byte(0x0B).Number(folders.size()).Byte(0);
    const std::size_t n = options.chain.size();
    for (std::size_t f = 0; f < folders.size(); ++f) {
      h.Number(n);
      for (const auto& id : options.chain) h.Byte(static_cast<std::uint8_t>(id.size())).Raw(id);
      // Coder i reads the output of coder i + 1; the last one reads the packed stream.
      for (std::size_t i = 0; i + 1 < n; ++i) h.Number(i).Number(i + 1);
    }
    h.Byte(0x0C);
    for (const auto& folder : folders) {
      std::uint64_t size = 0;
      for (const auto* s : folder) size += s->data.size();
      for (std::size_t i = 0; i < n; ++i) h.Number(size);
    }
    h.Byte(0x00);
    h.Byte(0x08);  // substreams info
    if (options.solid) {
      h.Byte(0x0D).Number(folders[0].size());
      h.Byte(0x09);
      for (std::size_t i = 0; i + 1 < folders[0].size(); ++i) h.Number(folders[0][i]->data.size());
    }
    h.Byte(0x0A).Byte(1);
    for (const auto* s : streams) h.UInt32(Crc32::Of(std::as_bytes(std::span(s->data))));
    h.Byte(0x00);
    h.Byte(0x00);
  }

  h.Byte(0x05).Number(entries.size());
  Bytes empty_stream((entries.size() + 7) / 8);
  Bytes empty_file;
  std::size_t num_empty = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].kind == TestEntry::kFile) continue;
    empty_stream[i / 8] = static_cast<std::uint8_t>(empty_stream[i / 8] | 0x80 >> (i % 8));
    if (num_empty % 8 == 0) empty_file.push_back(0);
    if (entries[i].kind == TestEntry::kEmptyFile) {
      empty_file.back() = static_cast<std::uint8_t>(empty_file.back() | 0x80 >> (num_empty % 8));
    }
    ++num_empty;
  }
  if (num_empty != 0) {
    h.Byte(0x0E).Number(empty_stream.size()).Raw(empty_stream);
    h.Byte(0x0F).Number(empty_file.size()).Raw(empty_file);
    if (options.anti_empty_entries) {
      h.Byte(0x10).Number(empty_file.size()).Raw(Bytes(empty_file.size(), 0xFF));
    }
  }
  h.Byte(0x19).Number(3).Raw({0, 0, 0});  // padding, as 7-Zip aligns the names
  HeaderWriter names;
  names.Byte(0);
  for (const auto& e : entries) names.Name(e.name);
  h.Byte(0x11).Number(names.bytes().size()).Raw(names.bytes());
  h.Byte(0x14).Number(2 + 8 * entries.size()).Byte(1).Byte(0);
  for (std::size_t i = 0; i < entries.size(); ++i) h.UInt64(0x01D0000000000000ull + i);
  h.Byte(0x00);
  h.Byte(0x00);
  return SealArchive(packed, h.bytes());
}

std::string RandomData(std::size_t size, std::uint32_t seed) {
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return out;
}

std::size_t PieceStream::Read(std::span<std::byte> out) {
  const std::size_t n = std::min({out.size(), piece_, data_.size() - pos_});
  std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(pos_), n,
              reinterpret_cast<std::uint8_t*>(out.data()));
  pos_ += n;
  return n;
}

Bytes ReadAll(InStream& stream, std::size_t piece, std::size_t cap) {
  Bytes out;
  std::vector<std::byte> buffer(piece);
  while (out.size() < cap) {
    const std::size_t got = stream.Read(buffer);
    if (got == 0) break;
    EXPECT_LE(got, piece);
    const auto* p = reinterpret_cast<const std::uint8_t*>(buffer.data());
    out.insert(out.end(), p, p + got);
  }
  return out;
}

ErrorCode ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ArchiveError& e) {
    return e.status().code();
  }
  return ErrorCode::kOk;
}

}  // namespace tvl::testing
