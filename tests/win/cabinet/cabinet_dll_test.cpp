// The compact cabinet.dll through its exported interface, as any caller of
// the decompression functions uses it: cabinet information, notifications
// for files, partial files and the next cabinet, and the error record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// After windows.h, which it needs.
#include <fdi.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kCabinets = std::string(TAVREL_SOURCE_DIR) + "/tests/data/cab/";

struct Library {
  HMODULE module = LoadLibraryA(TAVREL_CABINET_DLL);
  decltype(&FDICreate) create = Get<decltype(&FDICreate)>("FDICreate");
  decltype(&FDIIsCabinet) isCabinet = Get<decltype(&FDIIsCabinet)>("FDIIsCabinet");
  decltype(&FDICopy) copy = Get<decltype(&FDICopy)>("FDICopy");
  decltype(&FDIDestroy) destroy = Get<decltype(&FDIDestroy)>("FDIDestroy");

  template <typename T>
  T Get(const char* name) const {
    return module == nullptr
               ? nullptr
               : reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

void* DIAMONDAPI Alloc(ULONG size) {
  return std::malloc(size);
}
void DIAMONDAPI Free(void* memory) {
  std::free(memory);
}
INT_PTR DIAMONDAPI Open(char* name, int flags, int mode) {
  return _open(name, flags | _O_BINARY, mode);
}
UINT DIAMONDAPI Read(INT_PTR file, void* buffer, UINT count) {
  return static_cast<UINT>(_read(static_cast<int>(file), buffer, count));
}
UINT DIAMONDAPI Write(INT_PTR file, void* buffer, UINT count) {
  return static_cast<UINT>(_write(static_cast<int>(file), buffer, count));
}
int DIAMONDAPI Close(INT_PTR file) {
  return _close(static_cast<int>(file));
}
LONG DIAMONDAPI Seek(INT_PTR file, LONG distance, int origin) {
  return _lseek(static_cast<int>(file), distance, origin);
}

// What one FDICopy call reported, and how to answer.
struct CopyRun {
  std::vector<std::string> events;
  std::map<std::string, std::string> files;  // name -> content written
  std::string nextCabinet;
  std::string nextPath;
  INT_PTR copyAnswer = 1;  // 1: extract into memory, 0: skip, -1: abort
};

CopyRun* current = nullptr;
std::map<INT_PTR, std::string> open;  // handle -> file name
INT_PTR nextHandle = 1000;

UINT DIAMONDAPI MemoryWrite(INT_PTR file, void* buffer, UINT count) {
  const auto found = open.find(file);
  if (found == open.end()) return Write(file, buffer, count);
  current->files[found->second].append(static_cast<const char*>(buffer), count);
  return count;
}

int DIAMONDAPI MemoryClose(INT_PTR file) {
  if (open.erase(file) != 0) return 0;
  return Close(file);
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notice) {
  CopyRun& run = *current;
  switch (type) {
    case fdintCABINET_INFO:
      run.events.push_back(std::string("cabinet, next ") + notice->psz1);
      return 0;
    case fdintPARTIAL_FILE:
      run.events.push_back(std::string("partial ") + notice->psz1);
      return 0;
    case fdintCOPY_FILE: {
      run.events.push_back(std::string("copy ") + notice->psz1 + " " + std::to_string(notice->cb));
      if (run.copyAnswer != 1) return run.copyAnswer;
      open[nextHandle] = notice->psz1;
      run.files[notice->psz1];
      return nextHandle++;
    }
    case fdintCLOSE_FILE_INFO:
      run.events.push_back(std::string("close ") + notice->psz1);
      MemoryClose(notice->hf);
      return TRUE;
    case fdintNEXT_CABINET:
      run.events.push_back(std::string("next ") + notice->psz1);
      run.nextCabinet = notice->psz1;
      std::strcpy(notice->psz3, run.nextPath.c_str());
      return 0;
    default:
      return 0;
  }
}

class CabinetDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(library_.module, nullptr) << "cannot load " << TAVREL_CABINET_DLL;
    fdi_ = library_.create(Alloc, Free, Open, Read, MemoryWrite, MemoryClose, Seek, cpuUNKNOWN,
                           &error_);
    ASSERT_NE(fdi_, nullptr);
  }
  void TearDown() override {
    if (fdi_ != nullptr) {
      EXPECT_TRUE(library_.destroy(fdi_));
    }
  }

  BOOL Copy(CopyRun& run, const std::string& name, const std::string& path) {
    current = &run;
    std::string cabinet = name;
    std::string folder = path;
    return library_.copy(fdi_, cabinet.data(), folder.data(), 0, Notify, nullptr, nullptr);
  }

  Library library_;
  ERF error_{};
  HFDI fdi_ = nullptr;
};

TEST_F(CabinetDllTest, CabinetInformationOfASetMember) {
  const INT_PTR file =
      Open(const_cast<char*>((kCabinets + "multi_basic_pt2.cab").c_str()), _O_RDONLY, 0);
  ASSERT_NE(file, -1);
  FDICABINETINFO info{};
  EXPECT_TRUE(library_.isCabinet(fdi_, file, &info));
  Close(file);
  EXPECT_EQ(info.cbCabinet, 274);
  EXPECT_EQ(info.iCabinet, 1);
  EXPECT_TRUE(info.hasprev);
  EXPECT_TRUE(info.hasnext);

  const INT_PTR bad =
      Open(const_cast<char*>((kCabinets + "bad_signature.cab").c_str()), _O_RDONLY, 0);
  ASSERT_NE(bad, -1);
  EXPECT_FALSE(library_.isCabinet(fdi_, bad, &info));
  Close(bad);
  EXPECT_EQ(error_.erfOper, FDIERROR_NOT_A_CABINET);
}

// A file that starts in the first cabinet is followed into the next ones;
// the files it shares the folder with come after it in the same call; the
// last cabinet then only reports them as partial.
TEST_F(CabinetDllTest, FilesFollowTheirFolderAcrossTheSet) {
  // The set names its members cabd_multi_basic_ptN.cab.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string set = std::string(temp) + "cabinet_dll_set\\";
  CreateDirectoryA(set.c_str(), nullptr);
  for (int n = 1; n <= 5; ++n) {
    const std::string from = kCabinets + "multi_basic_pt" + std::to_string(n) + ".cab";
    const std::string to = set + "cabd_multi_basic_pt" + std::to_string(n) + ".cab";
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from;
  }
  CopyRun run;
  run.nextPath = set;
  ASSERT_TRUE(Copy(run, "cabd_multi_basic_pt1.cab", set)) << error_.erfOper;
  EXPECT_EQ(run.events.front(), "cabinet, next cabd_multi_basic_pt2.cab");
  EXPECT_EQ(run.events[1], "copy test1.txt 76");
  EXPECT_EQ(run.nextCabinet, "cabd_multi_basic_pt5.cab");
  ASSERT_EQ(run.files.size(), 3u);
  EXPECT_EQ(run.files["test1.txt"].size(), 76u);
  EXPECT_EQ(run.files["test2.txt"].size(), 38u);
  EXPECT_EQ(run.files["test3.txt"].size(), 76u);

  CopyRun last;
  ASSERT_TRUE(Copy(last, "cabd_multi_basic_pt5.cab", set));
  EXPECT_EQ(last.events, (std::vector<std::string>{"cabinet, next ", "partial test1.txt",
                                                   "partial test2.txt", "partial test3.txt"}));
}

TEST_F(CabinetDllTest, SkippedAndAbortedFiles) {
  CopyRun skip;
  skip.copyAnswer = 0;
  ASSERT_TRUE(Copy(skip, "normal_2files_1folder.cab", kCabinets));
  EXPECT_TRUE(skip.files.empty());
  EXPECT_EQ(skip.events.size(), 3u);  // cabinet information and two offers

  CopyRun abort;
  abort.copyAnswer = -1;
  EXPECT_FALSE(Copy(abort, "normal_2files_1folder.cab", kCabinets));
  EXPECT_EQ(error_.erfOper, FDIERROR_USER_ABORT);
  EXPECT_TRUE(error_.fError);
}

TEST_F(CabinetDllTest, MissingAndDamagedCabinets) {
  CopyRun missing;
  EXPECT_FALSE(Copy(missing, "no_such.cab", kCabinets));
  EXPECT_EQ(error_.erfOper, FDIERROR_CABINET_NOT_FOUND);

  for (const char* name : {"partial_shortfile1.cab", "partial_nodata.cab", "bad_nofolders.cab"}) {
    CopyRun damaged;
    EXPECT_FALSE(Copy(damaged, name, kCabinets)) << name;
    EXPECT_NE(error_.erfOper, FDIERROR_NONE) << name;
  }
}

}  // namespace
