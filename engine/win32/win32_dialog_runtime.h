// The wizard pages of a setup: loaded once at start-up, one per "Display
// Dialog" command, then prepared, shown, switched and hidden as the script
// runs. Everything here runs on the main thread, except that the progress
// store may also be written by one worker.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "engine/core/control_binding.h"
#include "engine/core/dialog_runtime.h"
#include "engine/core/message_table.h"
#include "engine/core/variable_store.h"
#include "engine/win32/pool_template.h"

namespace tavrel {

class Win32DialogRuntime final : public DialogRuntime,
                                 public PoolTemplateOwner,
                                 public BindingPlatform {
 public:
  Win32DialogRuntime(VariableStore& store, const MessageTable& messages);
  ~Win32DialogRuntime() override;
  Win32DialogRuntime(const Win32DialogRuntime&) = delete;
  Win32DialogRuntime& operator=(const Win32DialogRuntime&) = delete;

  void InitDialogs(const std::string& supportFolder, bool silent) override;
  // Reads the dialog file and its rules file (the path + ".tvlf"); throws
  // std::runtime_error naming the file (and the line, for a malformed form).
  WindowRef LoadDialog(const std::string& key, const std::string& dialogFile) override;
  void FreeDialogs() override;

  void UseFeatures(const FeatureSource& source) { binding_.SetFeatureSource(source); }
  void PrepareDialog(const std::string& key);
  void ReleaseDialog(const std::string& key);
  // Modal: 6, 7 or 2 once the user answered. Non-modal: the window.
  std::intptr_t ShowDialog(const std::string& key, bool modal);
  void HideCurrentDialog();
  std::string CurrentDialogKey() const { return currentKey_; }
  PoolTemplate* FindDialog(const std::string& key) const;

  void SetProgress(const std::string& text, int position, int maximum, int minimum);
  // Shows the progress store in the current page; the cancelled flag.
  bool RefreshProgress();
  int CancelState() const { return binding_.Cancelled() ? -1 : 1; }
  void SetBusy(bool busy) { busy_ = busy; }
  void SetSilent(bool silent) { silent_ = silent; }
  // The page on screen, for keyboard navigation; nullptr when none.
  HWND CurrentWindow() const { return currentWindow_; }

 protected:
  void ControlEvent(PoolTemplate& form, DialogControl& control,
                    tavrel::ControlEvent event) override;
  void FormShown(PoolTemplate& form) override;
  void ProgressTimer(PoolTemplate& form) override;

  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::optional<std::string> ReadFile(const std::string& path) override;
  bool AskYesNo(const DialogPage& page, const std::string& text,
                const std::string& caption) override;
  std::optional<std::string> BrowseForFolder(const DialogPage& page) override;
  std::optional<FeatureChoice> ChooseFeatureAction(const DialogPage& page) override;
  void OpenWithShell(const std::string& target) override;
  void PlaySoundFile(const std::string& path) override;
  void StartProgram(const std::string& path, const std::string& parameters) override;
  void StartPageTimer(unsigned milliseconds) override;
  void StopPageTimer() override;

 private:
  void SwitchIn(PoolTemplate& form);
  void HideRecorded(HWND keep);
  void DestroyDialog(std::map<std::string, std::unique_ptr<PoolTemplate>>::iterator dialog);
  static void CALLBACK PageTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

  VariableStore& store_;
  ControlBinding binding_;
  std::string supportFolder_;
  bool silent_ = false;
  bool busy_ = false;
  bool firstDialog_ = true;
  POINT lastPosition_{0, 0};
  std::map<std::string, std::unique_ptr<PoolTemplate>> dialogs_;  // upper-cased keys
  std::string currentKey_;
  PoolTemplate* current_ = nullptr;
  HWND currentWindow_ = nullptr;
  HWND releasedWindow_ = nullptr;
  mutable std::mutex progressMutex_;
  ProgressValues progress_;
  UINT_PTR pageTimer_ = 0;
};

}  // namespace tavrel
