// The dialog runtime with real windows: loading pages from files, showing
// and switching them, the close box, the cancel question, the progress
// timer and the registry's one form per dialog command.
#include "engine/win32/win32_dialog_runtime.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

namespace tavrel {
namespace {

constexpr const char* kPage =
    "object Page: TPoolTemplate\r\n"
    "  Caption = 'Page of $TITLE$'\r\n"
    "  ClientWidth = 300\r\n"
    "  ClientHeight = 160\r\n"
    "  object NameEdit: TEdit\r\n"
    "    Left = 10\r\n    Top = 10\r\n    Width = 200\r\n    Height = 21\r\n"
    "    Hint = 'NAME'\r\n"
    "  end\r\n"
    "  object Status: TStaticText\r\n"
    "    Left = 10\r\n    Top = 40\r\n    Width = 200\r\n    Height = 17\r\n"
    "    Caption = 'idle'\r\n    Tag = 1\r\n"
    "  end\r\n"
    "  object Bar: TProgressBar\r\n"
    "    Left = 10\r\n    Top = 62\r\n    Width = 200\r\n    Height = 16\r\n    Tag = 1\r\n"
    "  end\r\n"
    "  object NextButton: TButton\r\n"
    "    Left = 130\r\n    Top = 125\r\n    Width = 75\r\n    Height = 23\r\n"
    "    Caption = 'Next'\r\n    Tag = 1\r\n"
    "  end\r\n"
    "  object CancelButton: TButton\r\n"
    "    Left = 215\r\n    Top = 125\r\n    Width = 75\r\n    Height = 23\r\n"
    "    Caption = 'Cancel'\r\n    Tag = 3\r\n"
    "  end\r\n"
    "end\r\n";

class DialogRuntimeTest : public ::testing::Test {
 protected:
  DialogRuntimeTest() : store(messages), runtime(store, messages) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder =
        std::string(temp) + "tvl-dialog-runtime-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    store.Define("TITLE", "Sample");
    store.Define("NAME", "Ann");
    Write("Page.dfm", kPage);
    Write("Page.dfm.tvlf", "");
  }
  ~DialogRuntimeTest() override {
    runtime.FreeDialogs();
    for (const char* name : {"Page.dfm", "Page.dfm.tvlf", "Bad.dfm", "Bad.dfm.tvlf"}) {
      DeleteFileA((folder + name).c_str());
    }
    RemoveDirectoryA(folder.c_str());
  }

  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder + name, std::ios::binary) << text;
  }
  HWND Child(HWND page, const char* className, const char* text = nullptr) {
    return FindWindowExA(page, nullptr, className, text);
  }
  static std::string Text(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
  }
  static void Pump(DWORD milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(10);
    }
  }

  MessageTable messages;
  VariableStore store;
  Win32DialogRuntime runtime;
  std::string folder;
};

TEST_F(DialogRuntimeTest, BrokenFilesNameWhatIsWrongAndSilentRunsLoadNothing) {
  runtime.InitDialogs(folder, false);
  const auto message = [&](const std::string& file) {
    try {
      runtime.LoadDialog("0", folder + file);
    } catch (const std::runtime_error& error) {
      return std::string(error.what());
    }
    return std::string("loaded");
  };
  EXPECT_NE(message("Missing.dfm").find("Missing.dfm"), std::string::npos);
  Write("Bad.dfm", kPage);
  EXPECT_NE(message("Bad.dfm").find("Bad.dfm.tvlf"), std::string::npos);
  Write("Bad.dfm.tvlf", "");
  Write("Bad.dfm", "object Bad: TPoolTemplate\r\n  Caption = 'open\r\nend\r\n");
  EXPECT_NE(message("Bad.dfm").find("line 2"), std::string::npos) << message("Bad.dfm");
  Write("Bad.dfm", "object Bad: TPoolTemplate\r\n  object X: TTimer\r\n  end\r\nend\r\n");
  EXPECT_NE(message("Bad.dfm").find("line 2: TTimer"), std::string::npos) << message("Bad.dfm");
  EXPECT_EQ(runtime.FindDialog("0"), nullptr);

  runtime.InitDialogs(folder, true);
  EXPECT_EQ(runtime.LoadDialog("0", folder + "Missing.dfm"), 0u);
  EXPECT_EQ(runtime.ShowDialog("0", true), kResultNext);
}

// Values no designer writes still make a page, never a crash.
TEST_F(DialogRuntimeTest, OutlandishValuesStillMakeAPage) {
  std::string text =
      "object Odd: TPoolTemplate\r\n"
      "  Left = -2147483648\r\n  ClientWidth = 2147483647\r\n  ClientHeight = -5\r\n"
      "  Color = $7FFFFFFFF\r\n  Font.Height = -2147483648\r\n  Unknown.Thing = <>\r\n";
  for (int depth = 0; depth < 40; ++depth) {
    text += "object P" + std::to_string(depth) +
            ": TPanel\r\n Left = 2147483647\r\n Width = 2147483647\r\n Height = -1\r\n";
  }
  text += "object L: TListBox\r\n Hint = 'NAME'\r\n Items.Strings = (";
  for (int i = 0; i < 5000; ++i) text += " 'item " + std::to_string(i) + "'";
  text += ")\r\n TabStop = maybe\r\n Font.Style = [fsBold, fsNothing]\r\nend\r\n";
  text += "object I: TImage\r\n Picture.Data = {07544269746D6170FFFFFFFF424D}\r\nend\r\n";
  for (int depth = 0; depth < 40; ++depth) text += "end\r\n";
  text += "end\r\n";
  Write("Bad.dfm", text);
  Write("Bad.dfm.tvlf", "IF (L.Items = x)  THEN  P0.Width := 99999999999;\r\n");
  runtime.InitDialogs(folder, false);
  const auto page = reinterpret_cast<HWND>(runtime.LoadDialog("0", folder + "Bad.dfm"));
  ASSERT_NE(page, nullptr);
  store.Define("NAME", "ITEM 4999");
  runtime.PrepareDialog("0");
  runtime.ShowDialog("0", false);
  Pump(100);
  EXPECT_TRUE(IsWindowVisible(page));
  runtime.HideCurrentDialog();
}

TEST_F(DialogRuntimeTest, EachCommandOwnsItsFormAndPagesOpenWhereTheLastOneWas) {
  runtime.InitDialogs(folder, false);
  const auto first = reinterpret_cast<HWND>(runtime.LoadDialog("3", folder + "Page.dfm"));
  const auto second = reinterpret_cast<HWND>(runtime.LoadDialog("7", folder + "Page.dfm"));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first, second);
  EXPECT_FALSE(IsWindowVisible(first));

  runtime.PrepareDialog("3");
  EXPECT_EQ(Text(first), "Page of Sample");
  EXPECT_EQ(Text(Child(first, "Edit")), "Ann");
  EXPECT_EQ(runtime.ShowDialog("3", false), reinterpret_cast<std::intptr_t>(first));
  EXPECT_TRUE(IsWindowVisible(first));
  EXPECT_EQ(runtime.CurrentDialogKey(), "3");
  // Typing into one page writes the variable; the other page shows it only
  // once it is prepared from the variable.
  SetWindowTextA(Child(first, "Edit"), "Bob");
  EXPECT_EQ(store.Get("NAME"), "Bob");
  EXPECT_EQ(Text(Child(second, "Edit")), "");

  // The close box does nothing while the page is current.
  SendMessageA(first, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(first));

  SetWindowPos(first, nullptr, 37, 53, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  runtime.PrepareDialog("7");
  EXPECT_EQ(Text(Child(second, "Edit")), "Bob");
  runtime.ShowDialog("7", false);
  RECT rect{};
  GetWindowRect(second, &rect);
  EXPECT_EQ(rect.left, 37);
  EXPECT_EQ(rect.top, 53);
  EXPECT_FALSE(IsWindowVisible(first));  // switched out once the new page was up
  runtime.HideCurrentDialog();
  EXPECT_FALSE(IsWindowVisible(second));
  EXPECT_EQ(runtime.CurrentDialogKey(), "");
}

TEST_F(DialogRuntimeTest, AModalPageWaitsForItsButton) {
  runtime.InitDialogs(folder, false);
  const auto page = reinterpret_cast<HWND>(runtime.LoadDialog("1", folder + "Page.dfm"));
  runtime.PrepareDialog("1");
  PostMessageA(Child(page, "Button", "Next"), BM_CLICK, 0, 0);
  EXPECT_EQ(runtime.ShowDialog("1", true), kResultNext);
  EXPECT_EQ(runtime.CurrentDialogKey(), "");
  EXPECT_TRUE(IsWindowVisible(page));  // it stays until the next page replaces it
}

TEST_F(DialogRuntimeTest, CancelOnAProgressPageAsksAndTheTimerShowsProgress) {
  runtime.InitDialogs(folder, false);
  const auto page = reinterpret_cast<HWND>(runtime.LoadDialog("2", folder + "Page.dfm"));
  store.Define("PROGRESSTEXT", "Starting");
  runtime.PrepareDialog("2");
  runtime.ShowDialog("2", false);
  const HWND status = Child(page, "Static", "Starting");
  ASSERT_NE(status, nullptr);
  const HWND bar = Child(page, PROGRESS_CLASSA);

  // Stored progress reaches the page through the timer only while busy.
  runtime.SetProgress("Copying", 40, 100, 0);
  Pump(1300);
  EXPECT_EQ(Text(status), "Starting");
  runtime.SetBusy(true);
  Pump(1300);
  EXPECT_EQ(Text(status), "Copying");
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 40);
  runtime.SetProgress("Still copying", -1, 0, 0);  // the text alone
  EXPECT_FALSE(runtime.RefreshProgress());
  EXPECT_EQ(Text(status), "Still copying");
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 40);

  // The question box is answered from another thread: No, then Yes.
  std::atomic<int> answer{IDNO};
  std::atomic<bool> stop{false};
  std::thread user([&] {
    while (!stop) {
      const HWND box = FindWindowA("#32770", "Tavrel");
      if (box != nullptr && IsWindowVisible(box)) {
        PostMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);
        Sleep(300);
      }
      Sleep(20);
    }
  });
  const HWND cancel = Child(page, "Button", "Cancel");
  SendMessageA(cancel, BM_CLICK, 0, 0);
  EXPECT_EQ(runtime.CancelState(), 1);
  EXPECT_TRUE(IsWindowEnabled(cancel));
  answer = IDYES;
  SendMessageA(cancel, BM_CLICK, 0, 0);
  stop = true;
  user.join();
  EXPECT_EQ(runtime.CancelState(), -1);
  EXPECT_FALSE(IsWindowEnabled(cancel));
  EXPECT_TRUE(IsWindowVisible(page));  // a progress page stays; the script reads ABORT

  // After the page is hidden nothing is current and progress changes nothing.
  runtime.HideCurrentDialog();
  runtime.SetProgress("Later", 90, 100, 0);
  runtime.RefreshProgress();
  EXPECT_EQ(Text(status), "Still copying");
  runtime.SetBusy(false);
}

}  // namespace
}  // namespace tavrel
