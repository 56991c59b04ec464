#include "wizard/win32/package_mailing.h"

#include <atomic>
#include <exception>
#include <memory>
#include <string>

#include "common/win32/handle_owner.h"
#include "wizard/core/email.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/win32_simple_mapi.h"

namespace ombrwiz {
namespace {

// The thread that sends one mail.
class Mail {
 public:
  Mail(MailRequest request, HWND wizardWindow, std::atomic<bool>& started)
      : request_(std::move(request)), window_(wizardWindow), started_(started) {}

  bool Start() {
    thread_.Reset(CreateThread(nullptr, 0, Body, this, 0, nullptr));
    return thread_.IsOpen();
  }
  HANDLE Thread() const { return thread_.Get(); }

 private:
  static DWORD WINAPI Body(LPVOID parameter) {
    static_cast<Mail*>(parameter)->Execute();
    return 0;
  }

  void Execute() {
    started_ = true;
    try {
      Win32SimpleMapi mapi;
      TEmail mail(mapi);
      mail.Subject = request_.subject.substr(0, TEmail::kShortTextLength);
      mail.Attachment = request_.attachments;
      // The window belongs to the wizard's thread: it hides and shows there.
      if (window_ != nullptr) ShowWindowAsync(window_, SW_HIDE);
      const auto result = mail.Send();
      if (window_ != nullptr) ShowWindowAsync(window_, SW_SHOW);
      if (!result) {
        Trace(std::string("mail: ") + std::string(kMapiUnavailable));
      } else if (*result != mapi::kSuccess) {
        // The wizard says nothing about a mail that was not sent.
        Trace("mail: not sent, Simple MAPI answered " + std::to_string(*result));
      } else {
        Trace("mail: handed to the mail program");
      }
    } catch (const std::exception& error) {
      if (window_ != nullptr) ShowWindowAsync(window_, SW_SHOW);
      Trace(std::string("mail: failed: ") + error.what());
    }
  }

  const MailRequest request_;
  const HWND window_;
  std::atomic<bool>& started_;
  common::KernelHandle thread_;
};

std::atomic<bool> started{false};
std::unique_ptr<Mail> current;

}  // namespace

void StartMailing(const MailRequest& request, HWND wizardWindow) {
  WaitForMailing();
  started = false;
  current = std::make_unique<Mail>(request, wizardWindow, started);
  if (!current->Start()) {
    Trace("mail: the mail thread could not be started");
    current.reset();
    return;
  }
  while (!started.load()) SwitchToThread();
}

void WaitForMailing() {
  if (!current) return;
  const HANDLE thread = current->Thread();
  MSG message;
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  // The thread must be gone before its object is.
  WaitForSingleObject(thread, INFINITE);
  current.reset();
}

}  // namespace ombrwiz
