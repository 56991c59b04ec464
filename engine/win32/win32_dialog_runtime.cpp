#include "engine/win32/win32_dialog_runtime.h"

#include <mmsystem.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "common/win32/handle_owner.h"
#include "engine/core/dialog_rules.h"
#include "engine/core/form_file.h"
#include "engine/core/script_text.h"
#include "engine/win32/forms/form_feature_images.h"
#include "engine/win32/message_pump.h"

namespace tavrel {

namespace {

std::string SystemMessage(DWORD error) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length != 0 && buffer != nullptr ? std::string(buffer, length) : "";
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(error) : text;
}

// Dialog files are small; anything past this is not a dialog.
constexpr DWORD kMaxDialogFile = 64u << 20;

std::string ReadWholeFile(const std::string& path) {
  const common::KernelHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    throw std::runtime_error("cannot open \"" + path + "\": " + SystemMessage(GetLastError()));
  }
  std::string text;
  const DWORD size = GetFileSize(file.Get(), nullptr);
  bool ok = size != INVALID_FILE_SIZE && size <= kMaxDialogFile;
  if (ok) {
    text.resize(size);
    DWORD done = 0;
    while (ok && done < size) {
      DWORD got = 0;
      ok =
          ReadFile(file.Get(), text.data() + done, size - done, &got, nullptr) != FALSE && got != 0;
      done += got;
    }
  }
  const DWORD error = GetLastError();
  if (!ok) throw std::runtime_error("cannot read \"" + path + "\": " + SystemMessage(error));
  return text;
}

// Makes a folder current for as long as it lives.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    char previous[MAX_PATH] = {};
    if (GetCurrentDirectoryA(MAX_PATH, previous) != 0) previous_ = previous;
    if (!folder.empty()) SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolder() {
    if (!previous_.empty()) SetCurrentDirectoryA(previous_.c_str());
  }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  std::string previous_;
};

std::string FolderOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "" : path.substr(0, cut + 1);
}

}  // namespace

Win32DialogRuntime::Win32DialogRuntime(VariableStore& store, const MessageTable& messages)
    : store_(store), binding_(store, messages, *this) {}

Win32DialogRuntime::~Win32DialogRuntime() {
  FreeDialogs();
  StopPageTimer();
}

void Win32DialogRuntime::InitDialogs(const std::string& supportFolder, bool silent) {
  supportFolder_ = supportFolder;
  binding_.SetSupportFolder(supportFolder);
  silent_ = silent;
  firstDialog_ = true;
  dialogs_.clear();
  currentKey_.clear();
  binding_.ClearCancelled();
}

WindowRef Win32DialogRuntime::LoadDialog(const std::string& key, const std::string& dialogFile) {
  if (silent_) return 0;
  const CurrentFolder folder(FolderOf(dialogFile));
  const std::string text = ReadWholeFile(dialogFile);
  const std::string rulesFile = dialogFile + ".tvlf";
  const std::string rules = ReadWholeFile(rulesFile);
  FormObject root;
  try {
    root = ReadFormFile(text);
  } catch (const FormFileError& error) {
    throw std::runtime_error("\"" + dialogFile + "\", " + error.what());
  }
  const std::string upper = ToUpperAscii(key);
  if (const auto old = dialogs_.find(upper); old != dialogs_.end()) {
    if (old->second.get() == current_) {
      current_ = nullptr;
      currentWindow_ = nullptr;
    }
    ShowWindow(old->second->Window(), SW_HIDE);
    DestroyDialog(old);
  }
  std::unique_ptr<PoolTemplate> form;
  try {
    form = std::make_unique<PoolTemplate>(root, ParseDialogRules(rules), *this);
  } catch (const std::exception& error) {
    throw std::runtime_error("\"" + dialogFile + "\", " + error.what());
  }
  const HWND window = form->Window();
  dialogs_[upper] = std::move(form);
  return reinterpret_cast<WindowRef>(window);
}

void Win32DialogRuntime::FreeDialogs() {
  current_ = nullptr;
  currentWindow_ = nullptr;
  releasedWindow_ = nullptr;
  currentKey_.clear();
  while (!dialogs_.empty()) DestroyDialog(dialogs_.begin());
}

void Win32DialogRuntime::DestroyDialog(
    std::map<std::string, std::unique_ptr<PoolTemplate>>::iterator dialog) {
  binding_.ForgetPage(dialog->second->Page());
  dialogs_.erase(dialog);
}

PoolTemplate* Win32DialogRuntime::FindDialog(const std::string& key) const {
  const auto found = dialogs_.find(ToUpperAscii(key));
  return found == dialogs_.end() ? nullptr : found->second.get();
}

void Win32DialogRuntime::PrepareDialog(const std::string& key) {
  if (silent_) return;
  if (PoolTemplate* form = FindDialog(key)) binding_.Prepare(form->Page());
}

void Win32DialogRuntime::ReleaseDialog(const std::string& key) {
  if (silent_) return;
  PoolTemplate* form = FindDialog(key);
  if (form == nullptr) return;
  releasedWindow_ = form->Window();
  binding_.Release(form->Page());
}

void Win32DialogRuntime::HideRecorded(HWND keep) {
  for (HWND window : {currentWindow_, releasedWindow_}) {
    if (window != nullptr && window != keep && IsWindow(window)) ShowWindow(window, SW_HIDE);
  }
}

void Win32DialogRuntime::SwitchIn(PoolTemplate& form) {
  form.canClose = false;
  ShowWindow(form.Window(), SW_SHOW);
  UpdateWindow(form.Window());
  // The new page is on screen before the old one goes, so nothing flickers.
  if (current_ != nullptr && current_ != &form) {
    current_->canClose = true;
    ShowWindow(current_->Window(), SW_HIDE);
  }
  HideRecorded(form.Window());
  current_ = &form;
  currentWindow_ = form.Window();
  SetForegroundWindow(form.Window());
  BringWindowToTop(form.Window());
}

std::intptr_t Win32DialogRuntime::ShowDialog(const std::string& key, bool modal) {
  binding_.ClearCancelled();
  const CurrentFolder folder(supportFolder_);
  currentKey_ = key;
  PoolTemplate* form = silent_ ? nullptr : FindDialog(key);
  if (form == nullptr) {
    // Nothing to show: a silent run, or a page that was never loaded; a
    // modal page then answers Next.
    if (modal) currentKey_.clear();
    return modal ? kResultNext : 0;
  }
  // A page on screen may have been moved since it was shown: the next one
  // opens where the user left it.
  if (current_ != nullptr && IsWindowVisible(current_->Window())) {
    lastPosition_ = current_->Position();
  }
  if (firstDialog_) {
    form->Centre();
  } else {
    form->MoveTo(lastPosition_.x, lastPosition_.y);
  }
  firstDialog_ = false;
  binding_.ClearCancelled();
  form->notModal = !modal;
  std::intptr_t result = 0;
  if (modal) {
    form->Page().result = kResultWaiting;
    SwitchIn(*form);
    while (form->Page().result == kResultWaiting) {
      if (!PumpOneMessage(currentWindow_)) {
        form->Page().result = kResultCancel;
        break;
      }
    }
    result = form->Page().result;
    currentKey_.clear();
  } else {
    SwitchIn(*form);
    result = reinterpret_cast<std::intptr_t>(form->Window());
  }
  const POINT at = form->Position();
  lastPosition_ = at;
  return result;
}

void Win32DialogRuntime::HideCurrentDialog() {
  PoolTemplate* form = currentKey_.empty() ? nullptr : FindDialog(currentKey_);
  if (form == nullptr) return;
  form->canClose = true;
  ShowWindow(form->Window(), SW_HIDE);
  HideRecorded(nullptr);
  if (form == current_) {
    current_ = nullptr;
    currentWindow_ = nullptr;
  }
  currentKey_.clear();
  lastPosition_ = form->Position();
}

void Win32DialogRuntime::SetProgress(const std::string& text, int position, int maximum,
                                     int minimum) {
  const std::lock_guard lock(progressMutex_);
  progress_.text = text;
  if (position != -1) {
    progress_.position = position;
    progress_.maximum = maximum;
    progress_.minimum = minimum;
  }
}

bool Win32DialogRuntime::RefreshProgress() {
  if (silent_ || currentKey_.empty()) return binding_.Cancelled();
  PoolTemplate* form = FindDialog(currentKey_);
  if (form == nullptr) return binding_.Cancelled();
  ProgressValues progress;
  {
    const std::lock_guard lock(progressMutex_);
    progress = progress_;
  }
  binding_.RefreshProgress(form->Page(), progress);
  return binding_.Cancelled();
}

void Win32DialogRuntime::ControlEvent(PoolTemplate& form, DialogControl& control,
                                      tavrel::ControlEvent event) {
  binding_.HandleEvent(form.Page(), control, event);
}

void Win32DialogRuntime::FormShown(PoolTemplate&) {
  binding_.FormShown();
}

void Win32DialogRuntime::ProgressTimer(PoolTemplate&) {
  if (busy_) RefreshProgress();
}

bool Win32DialogRuntime::FolderExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32DialogRuntime::FileExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return !path.empty() &&
         GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != FALSE &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<std::string> Win32DialogRuntime::ReadFile(const std::string& path) {
  try {
    return ReadWholeFile(path);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool Win32DialogRuntime::AskYesNo(const DialogPage& page, const std::string& text,
                                  const std::string& caption) {
  return MessageBoxA(reinterpret_cast<HWND>(page.window), text.c_str(), caption.c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::string> Win32DialogRuntime::BrowseForFolder(const DialogPage& page) {
  BROWSEINFOA browse{};
  browse.hwndOwner = reinterpret_cast<HWND>(page.window);
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
  if (chosen == nullptr) return std::nullopt;
  char path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListA(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!ok || path[0] == '\0') return std::nullopt;
  return std::string(path);
}

// The visible items of the feature menu with their pictures; the hidden
// ones are left out. Item ids are the menu's positions + 1.
std::optional<FeatureChoice> Win32DialogRuntime::ChooseFeatureAction(const DialogPage& page) {
  const HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return std::nullopt;
  std::vector<common::GdiObject<HBITMAP>> pictures;
  const COLORREF background = GetSysColor(COLOR_MENU);
  UINT position = 0;
  for (std::size_t i = 0; i < kFeatureMenu.size(); ++i) {
    const FeatureMenuItem& item = kFeatureMenu[i];
    if (!item.visible) continue;
    if (i == 2) InsertMenuA(menu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    pictures.push_back(FeatureImageBitmap(item.image, background));
    const std::string caption(item.caption);
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
    info.wID = static_cast<UINT>(i + 1);
    info.dwTypeData = const_cast<char*>(caption.c_str());
    info.hbmpItem = pictures.back().Get();
    InsertMenuItemA(menu, position++, TRUE, &info);
  }
  POINT cursor{};
  GetCursorPos(&cursor);
  const HWND owner = reinterpret_cast<HWND>(page.window);
  const auto chosen = static_cast<UINT>(TrackPopupMenu(
      menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, cursor.x,
      cursor.y, 0, owner, nullptr));
  DestroyMenu(menu);
  if (chosen == 0 || chosen > kFeatureMenu.size()) return std::nullopt;
  return kFeatureMenu[chosen - 1].choice;
}

void Win32DialogRuntime::OpenWithShell(const std::string& target) {
  ShellExecuteA(currentWindow_, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32DialogRuntime::PlaySoundFile(const std::string& path) {
  PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
}

void Win32DialogRuntime::StartProgram(const std::string& path, const std::string& parameters) {
  // The program is named on its own as well, so that a path with blanks is
  // not taken apart at them.
  std::string commandLine = "\"" + path + "\" " + parameters;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process{};
  if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process) != FALSE) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

namespace {
// The runtime whose page timer is running; there is one runtime per program.
Win32DialogRuntime* pageTimerOwner = nullptr;
}  // namespace

void CALLBACK Win32DialogRuntime::PageTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  if (pageTimerOwner == nullptr) return;
  try {
    pageTimerOwner->binding_.PageTimerElapsed();
  } catch (const std::exception& error) {
    MessageBoxA(pageTimerOwner->currentWindow_, error.what(), "Tavrel", MB_OK | MB_ICONERROR);
  }
}

void Win32DialogRuntime::StartPageTimer(unsigned milliseconds) {
  StopPageTimer();
  pageTimer_ =
      SetTimer(nullptr, 0, std::max<unsigned>(milliseconds, USER_TIMER_MINIMUM), &PageTimerProc);
  if (pageTimer_ != 0) pageTimerOwner = this;
}

void Win32DialogRuntime::StopPageTimer() {
  if (pageTimer_ != 0) KillTimer(nullptr, pageTimer_);
  pageTimer_ = 0;
  pageTimerOwner = nullptr;
}

}  // namespace tavrel
