#include "common/win32/handle_owner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace common {
namespace {

bool IsLive(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(HandleOwner, ClosesOnceWhateverWayTheHandleLeaves) {
  const HANDLE raw = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    KernelHandle first(raw);
    KernelHandle second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    KernelHandle third;
    third = std::move(second);
    KernelHandle& same = third;
    third = std::move(same);  // a move onto itself must not close it
    EXPECT_EQ(third.Get(), raw);
    EXPECT_TRUE(IsLive(raw));
  }
  EXPECT_FALSE(IsLive(raw));

  KernelHandle owner(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  const HANDLE released = owner.Release();
  EXPECT_FALSE(owner.IsOpen());
  EXPECT_TRUE(IsLive(released));
  owner.Reset(released);
  EXPECT_TRUE(owner.Close());
  EXPECT_FALSE(IsLive(released));
  EXPECT_FALSE(owner.Close());

  // What a failed CreateFile answers is no handle, and nothing is closed.
  KernelHandle missing(CreateFileA("Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(missing);
  EXPECT_FALSE(missing.Close());
}

TEST(HandleOwner, SearchesAndKeysCloseWithTheirOwnFunctions) {
  char folder[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
  WIN32_FIND_DATAA found{};
  FindHandle search(FindFirstFileA((std::string(folder) + "*").c_str(), &found));
  ASSERT_TRUE(search);
  // CloseHandle would refuse a search handle: true means FindClose took it.
  EXPECT_TRUE(search.Close());
  EXPECT_EQ(search.Get(), INVALID_HANDLE_VALUE);

  RegistryKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  const HKEY opened = key.Get();
  EXPECT_EQ(RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_TRUE(key.Close());
  EXPECT_NE(RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

}  // namespace
}  // namespace common
