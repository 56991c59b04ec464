#include "wizard/win32/win32_simple_mapi.h"

#include <windows.h>
// The Simple MAPI declarations build on the Windows types.
#include <mapi.h>

#include <string>
#include <vector>

#include "common/win32/handle_owner.h"
#include "common/win32/registry_text.h"
#include "wizard/win32/win32_build_system.h"
#include "wizard/win32/win32_files.h"

namespace ombrwiz {
namespace {

constexpr const char* kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

struct MapiLibrary {
  common::LoadedModule module;
  LPMAPILOGON logon = nullptr;
  LPMAPILOGOFF logoff = nullptr;
  LPMAPISENDMAIL sendMail = nullptr;
  bool available = false;
};

MapiLibrary& Library() {
  static MapiLibrary library;
  return library;
}

// The library is looked for on a thread of its own while the wizard opens
// its window; whoever needs the answer waits for it.
HANDLE& LoaderThread() {
  static HANDLE thread = nullptr;
  return thread;
}

MapiLibrary& Loaded() {
  static const bool waited = [] {
    if (LoaderThread() != nullptr) WaitForSingleObject(LoaderThread(), INFINITE);
    return true;
  }();
  (void)waited;
  return Library();
}

template <typename Function>
bool Find(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

// A text the Simple MAPI structures point at; they take mutable pointers but
// do not write through them.
char* Text(std::string& text) {
  return text.data();
}

void LoadNow() {
  MapiLibrary& library = Library();
  if (common::ReadRegistryText(HKEY_LOCAL_MACHINE, kMessagingKey, "MAPI") != "1") {
    Trace("mail: Simple MAPI is switched off in the mail settings");
    return;
  }
  // A missing library must not bring up the system's error boxes.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  library.module.Reset(LoadLibraryA("mapi32"));
  if (!library.module) library.module.Reset(LoadLibraryA("mapi32.dll"));
  SetErrorMode(previous);
  if (!library.module) {
    Trace("mail: the Simple MAPI library could not be loaded");
    return;
  }
  const HMODULE module = library.module.Get();
  // All the functions of the interface must be there, also those the wizard
  // does not call: a library without them is not a complete mail system.
  void (*unused)() = nullptr;
  bool complete = Find(module, "MAPILogon", library.logon) &&
                  Find(module, "MAPILogoff", library.logoff) &&
                  Find(module, "MAPISendMail", library.sendMail);
  for (const char* name : {"MAPIFindNext", "MAPIReadMail", "MAPIDeleteMail", "MAPIResolveName",
                           "MAPIFreeBuffer", "MAPIAddress", "MAPISaveMail"}) {
    complete = complete && Find(module, name, unused);
  }
  if (!complete) {
    // Not a reason to stop the wizard: it goes on without mail.
    Trace("mail: GetProcAddress for MAPI.DLL function(s) failed");
    library = MapiLibrary{};
    return;
  }
  library.available = true;
}

DWORD WINAPI LoadOnThread(LPVOID) {
  LoadNow();
  return 0;
}

}  // namespace

void LoadSimpleMapi() {
  LoaderThread() = CreateThread(nullptr, 0, LoadOnThread, nullptr, 0, nullptr);
  // Without a thread the answer is found here and now.
  if (LoaderThread() == nullptr) LoadNow();
}

bool SimpleMapiAvailable() {
  return Loaded().available;
}

bool Win32SimpleMapi::Available() const {
  return SimpleMapiAvailable();
}

std::uint32_t Win32SimpleMapi::Logon(const std::optional<std::string>& profile,
                                     const std::optional<std::string>& password,
                                     std::uint32_t flags, MapiSession& session) {
  std::string profileText = profile.value_or(std::string());
  std::string passwordText = password.value_or(std::string());
  LHANDLE handle = 0;
  const ULONG result = Loaded().logon(0, profile ? Text(profileText) : nullptr,
                                      password ? Text(passwordText) : nullptr, flags, 0, &handle);
  session = handle;
  return result;
}

std::uint32_t Win32SimpleMapi::SendMail(MapiSession session, const MailMessage& message,
                                        std::uint32_t flags) {
  // Copies the structures can point into.
  MailMessage texts = message;
  std::vector<MapiRecipDesc> recipients;
  recipients.reserve(texts.recipients.size());
  for (MailRecipient& recipient : texts.recipients) {
    MapiRecipDesc entry{};
    entry.ulRecipClass = recipient.recipientClass;
    entry.lpszName = Text(recipient.name);
    recipients.push_back(entry);
  }
  std::vector<MapiFileDesc> files;
  files.reserve(texts.attachments.size());
  for (MailAttachment& attachment : texts.attachments) {
    MapiFileDesc entry{};
    entry.nPosition = static_cast<ULONG>(-1);
    entry.lpszPathName = Text(attachment.path);
    entry.lpszFileName = Text(attachment.name);
    files.push_back(entry);
  }
  MapiMessage mapiMessage{};
  mapiMessage.lpszSubject = Text(texts.subject);
  mapiMessage.lpszNoteText = Text(texts.noteText);
  mapiMessage.flFlags = message.receiptRequested ? MAPI_RECEIPT_REQUESTED : 0;
  mapiMessage.nRecipCount = static_cast<ULONG>(recipients.size());
  mapiMessage.lpRecips = recipients.empty() ? nullptr : recipients.data();
  mapiMessage.nFileCount = static_cast<ULONG>(files.size());
  mapiMessage.lpFiles = files.empty() ? nullptr : files.data();
  return Loaded().sendMail(session, 0, &mapiMessage, flags, 0);
}

std::uint32_t Win32SimpleMapi::Logoff(MapiSession session) {
  return Loaded().logoff(session, 0, 0, 0);
}

bool Win32SimpleMapi::FileExists(const std::string& path) {
  return ombrwiz::FileExists(path);
}

bool Win32SimpleMapi::UserKeyExists(const std::string& key) {
  common::RegistryKey opened;
  return RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Receive()) ==
         ERROR_SUCCESS;
}

std::optional<std::string> Win32SimpleMapi::UserString(const std::string& key,
                                                       const std::string& name) {
  return common::ReadRegistryText(HKEY_CURRENT_USER, key.c_str(), name.c_str());
}

}  // namespace ombrwiz
