// Mailing a built package: a thread of its own hands the package and its
// continuation cabinets to the user's mail program, whose compose window
// stays open until the author sends or cancels the message.
#pragma once

#include <windows.h>

#include "wizard/core/mail_request.h"

namespace ombrwiz {

// Starts the mail thread and returns once it runs. The wizard window, when
// there is one, is hidden while the compose window is open; this thread must
// keep its messages moving until WaitForMailing returns.
void StartMailing(const MailRequest& request, HWND wizardWindow);
// Waits for the mail thread started last, pumping this thread's messages.
void WaitForMailing();

}  // namespace ombrwiz
