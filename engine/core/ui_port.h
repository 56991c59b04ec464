// What the script's commands need from the user: the wizard pages, message
// boxes, the progress display and the message loop. A silent run goes
// through the same port; the pages then show nothing and answer NEXT.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/feature_tree.h"
#include "engine/core/media_port.h"
#include "engine/core/message_table.h"

namespace tavrel {

// What the user chose in the retry-extraction dialog of web media.
enum class ExtractRetry { kCancel, kDownload, kExtract };

// The message-box style of errors that end the run: OK and the stop icon.
inline constexpr unsigned kMessageBoxStopIcon = 0x10;

// Results of a modal dialog.
inline constexpr std::intptr_t kDialogNext = 6;
inline constexpr std::intptr_t kDialogBack = 7;
inline constexpr std::intptr_t kDialogCancel = 2;

class UiPort {
 public:
  virtual ~UiPort() = default;

  // -1 when the user has confirmed the cancel question since the last
  // dialog was shown, else 1.
  virtual int CancelState() = 0;
  // Safe from any thread.
  virtual void SetProgress(const std::string& text, int position, int maximum, int minimum) = 0;
  // While busy, the page on screen shows the progress every second.
  virtual void SetBusy(bool busy) = 0;

  // Keys are the decimal index of the "Display Dialog" command.
  virtual void PrepareDialog(const std::string& key) = 0;
  virtual void ReleaseDialog(const std::string& key) = 0;
  // Where the dialogs' feature trees and lists find the components.
  virtual void UseFeatures(const FeatureSource& /*source*/) {}
  // Modal: 6 NEXT, 7 BACK or 2 CANCEL. Non-modal: the window handle, 0 when
  // there is no window. Silent: shows nothing and returns 6.
  virtual std::intptr_t ShowDialog(const std::string& key, bool modal) = 0;
  virtual void HideCurrentDialog() = 0;
  virtual void FreeDialogs() = 0;

  // Filling the next dialog's controls must not repaint the window on screen
  // half-way; the interpreter brackets PrepareDialog with these. Neither may
  // throw, since the unlock runs while an error unwinds.
  virtual void LockWindowUpdates(std::intptr_t window) = 0;
  virtual void UnlockWindowUpdates() = 0;

  // Waits for one window message and dispatches it. Never called when silent.
  virtual void ProcessOneMessage() = 0;
  // Called from a worker thread when it has ended, so that a main thread
  // waiting in ProcessOneMessage returns.
  virtual void WakeMainThread() = 0;

  // The folder browser with the prompt; empty when the user cancels it.
  virtual std::string BrowseForFolder(const std::string& prompt) = 0;

  // Returns the pressed button's code, 1..7 (0 when the box could not be
  // shown). Owner 0 means no owner. Safe from any thread.
  virtual int ShowMessageBox(std::intptr_t owner, const std::string& text,
                             const std::string& caption, unsigned style) = 0;
  // Caption "Tavrel", error icon, no owner.
  virtual void ShowRuntimeError(const std::string& text) = 0;

  // The retry dialogs of web media: modal, owned by the window (0: none),
  // centred on it, their texts taken from the message table when shown.
  // The download retry of the URL download service: false for Cancel or a
  // closed window; otherwise resume says which radio button was chosen
  // (Resume is chosen at start).
  virtual bool AskDownloadRetry(std::intptr_t owner, const MessageTable& texts, bool& resume) = 0;
  // The download retry of the HTTP client, with the proxy fields filled
  // from the settings: false for No; otherwise (Yes, or a closed window)
  // the settings take the edited fields.
  virtual bool AskProxyRetry(std::intptr_t owner, const MessageTable& texts,
                             ProxySettings& proxy) = 0;
  // The retry-extraction dialog (Download is chosen at start); a closed
  // window is kCancel.
  virtual ExtractRetry AskExtractRetry(std::intptr_t owner, const MessageTable& texts) = 0;

  // The script switched the run's silent setting ("Set Variable SILENT").
  virtual void SetSilent(bool silent) = 0;
};

}  // namespace tavrel
