// tvl.dll as the engine uses it: loaded from beside the program, ExtractArchive looked up by
// its plain name and called with ANSI paths and a __stdcall progress callback.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using ProgressCallback = unsigned char(__stdcall*)(const char*, uint64_t, uint64_t);
using ExtractArchiveFn = unsigned char(__stdcall*)(const char*, uint32_t, const char*, uint32_t,
                                                   uint32_t, uint32_t, uint32_t, uint32_t,
                                                   ProgressCallback, uint32_t, uint32_t);

fs::path ExeDir() {
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(length);
  return fs::path(buffer).parent_path();
}

std::string ReadAll(const fs::path& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
  std::string out;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got != 0) out.append(chunk, got);
  CloseHandle(file);
  return out;
}

void WriteAll(const fs::path& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
  CloseHandle(file);
}

// Relative path -> content, "<dir>" for folders.
std::map<std::wstring, std::string> Snapshot(const fs::path& root) {
  std::map<std::wstring, std::string> out;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::wstring rel = fs::relative(item.path(), root).wstring();
    out[rel] = item.is_directory() ? "<dir>" : ReadAll(item.path());
  }
  return out;
}

struct Call {
  std::string name;
  uint64_t done;
  uint64_t total;
};
std::vector<Call> g_calls;
std::size_t g_stop_after = SIZE_MAX;

unsigned char __stdcall Record(const char* name, uint64_t done, uint64_t total) {
  g_calls.push_back({name != nullptr ? name : "<null>", done, total});
  return g_calls.size() < g_stop_after ? 1 : 0;
}

class TvlDll : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryA((ExeDir() / "tvl.dll").string().c_str());
    if (module_ != nullptr) {
      extract_ = reinterpret_cast<ExtractArchiveFn>(
          reinterpret_cast<void*>(GetProcAddress(module_, "ExtractArchive")));
    }
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  void SetUp() override {
    ASSERT_NE(module_, nullptr) << "tvl.dll not loaded";
    ASSERT_NE(extract_, nullptr) << "ExtractArchive not exported by its plain name";
    work_ =
        ExeDir() / "tvl_win_out" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(work_);
    fs::create_directories(work_);
    g_calls.clear();
    g_stop_after = SIZE_MAX;
  }

  // The engine's way of calling: reserved arguments 0, 0, 2, 0, 0, 0, 0, 0.
  static unsigned char Extract(const fs::path& archive, const std::string& destination,
                               ProgressCallback callback) {
    return extract_(archive.string().c_str(), 0, destination.c_str(), 0, 2, 0, 0, 0, callback, 0,
                    0);
  }

  static fs::path Sample(const char* name) { return ExeDir() / name; }

  // Nothing under its final name that differs from the source, no temporary file left over.
  static void ExpectNothingWrong(const fs::path& out) {
    if (!fs::exists(out)) return;
    const auto expected = Snapshot(ExeDir() / "tvl_sample");
    for (const auto& [name, content] : Snapshot(out)) {
      EXPECT_EQ(name.find(L".tvl-"), std::wstring::npos) << "temporary file left";
      const auto it = expected.find(name);
      ASSERT_NE(it, expected.end()) << "unexpected file";
      EXPECT_TRUE(content == it->second) << "wrong content";
    }
  }

  static inline HMODULE module_ = nullptr;
  static inline ExtractArchiveFn extract_ = nullptr;
  fs::path work_;
};

TEST_F(TvlDll, ExtractsEveryKindOfSampleWithItsTimes) {
  const auto expected = Snapshot(ExeDir() / "tvl_sample");
  for (const char* name : {"tvl_sample.7z", "tvl_sample_lzma2.7z", "tvl_sample_lzma.7z",
                           "tvl_sample_bcj2.7z", "tvl_sample_solid_off.7z", "tvl_sample_ppmd.7z",
                           "tvl_sample_bzip2.7z", "tvl_sample_deflate64.7z"}) {
    SCOPED_TRACE(name);
    const fs::path out = work_ / name;
    ASSERT_NE(Extract(Sample(name), out.string() + "\\", nullptr), 0);
    EXPECT_EQ(Snapshot(out), expected);
    // The stored modification time comes back with the file.
    const auto stored = fs::last_write_time(ExeDir() / "tvl_sample" / "readme.txt");
    const auto restored = fs::last_write_time(out / "readme.txt");
    EXPECT_LE(std::chrono::abs(restored - stored), std::chrono::seconds(2));
  }
}

TEST_F(TvlDll, ExtractsEveryWritersArchive) {
  const fs::path fixtures = ExeDir() / "tvl_fixtures";
  const auto expected = Snapshot(fixtures / "tree");
  std::size_t count = 0;
  for (const auto& item : fs::directory_iterator(fixtures / "archives")) {
    const fs::path archive = item.path();
    SCOPED_TRACE(archive.filename().string());
    const fs::path out = work_ / archive.stem();
    const bool extracted = Extract(archive, out.string() + "\\", nullptr) != 0;
    EXPECT_TRUE(extracted);
    if (extracted) {
      EXPECT_EQ(Snapshot(out), expected);
    }
    ++count;
  }
  EXPECT_GE(count, 29u);
}

TEST_F(TvlDll, ExtractsTheSampleIntoANewFolder) {
  const fs::path out = work_ / "new" / "deeper";
  ASSERT_NE(Extract(Sample("tvl_sample.7z"), out.string() + "\\", Record), 0);
  const auto expected = Snapshot(ExeDir() / "tvl_sample");
  EXPECT_EQ(Snapshot(out), expected);
  EXPECT_EQ(expected.count(L"\u00fcn\u00ef\\\u20ac \u65e5\u672c.txt"), 1u);

  uint64_t sum = 0;
  for (const auto& [name, content] : expected) {
    if (content != "<dir>") sum += content.size();
  }
  ASSERT_FALSE(g_calls.empty());
  uint64_t last = 0;
  for (const auto& call : g_calls) {
    EXPECT_GE(call.done, last);
    EXPECT_EQ(call.total, sum);
    last = call.done;
  }
  EXPECT_EQ(last, sum);
  EXPECT_TRUE(std::any_of(g_calls.begin(), g_calls.end(),
                          [](const Call& c) { return c.name == "data\\big.bin"; }));

  // Again over the result, without a callback: existing files are replaced.
  WriteAll(out / "readme.txt", "stale");
  ASSERT_NE(Extract(Sample("tvl_sample.7z"), out.string() + "\\", nullptr), 0);
  EXPECT_EQ(Snapshot(out), expected);
}

TEST_F(TvlDll, FailsWithZeroAndLeavesNothingWrong) {
  const std::string out = (work_ / "out").string() + "\\";
  EXPECT_EQ(Extract(work_ / "missing.7z", out, nullptr), 0);
  EXPECT_EQ(extract_(nullptr, 0, out.c_str(), 0, 2, 0, 0, 0, nullptr, 0, 0), 0);
  EXPECT_EQ(
      extract_(Sample("tvl_sample.7z").string().c_str(), 0, nullptr, 0, 2, 0, 0, 0, nullptr, 0, 0),
      0);
  EXPECT_EQ(Extract(Sample("tvl_sample_encrypted.7z"), out, Record), 0);
  EXPECT_FALSE(fs::exists(work_ / "out"));

  const std::string good = ReadAll(Sample("tvl_sample.7z"));
  WriteAll(work_ / "truncated.7z", good.substr(0, good.size() / 2));
  EXPECT_EQ(Extract(work_ / "truncated.7z", out, Record), 0);
  EXPECT_FALSE(fs::exists(work_ / "out"));

  std::string damaged = good;
  const auto at = damaged.find("deep\ndeep\n");
  ASSERT_NE(at, std::string::npos);
  damaged[at + 3] = 'X';
  WriteAll(work_ / "damaged.7z", damaged);
  EXPECT_EQ(Extract(work_ / "damaged.7z", out, Record), 0);
  EXPECT_FALSE(fs::exists(work_ / "out" / "docs" / "guide" / "deep.txt"));
  ExpectNothingWrong(work_ / "out");

  // A 0 from the callback stops it part way.
  const std::string stop_out = (work_ / "stopped").string() + "\\";
  g_calls.clear();
  g_stop_after = 3;
  EXPECT_EQ(Extract(Sample("tvl_sample.7z"), stop_out, Record), 0);
  EXPECT_EQ(g_calls.size(), 3u);
  ExpectNothingWrong(work_ / "stopped");
}

}  // namespace
