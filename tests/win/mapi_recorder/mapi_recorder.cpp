// mapi32.dll for tests: every logon, logoff and mail the caller hands over is
// appended as one line to the file named by TAVREL_MAPI_RECORD (fields
// separated by "|"); mail "sent" this way goes nowhere. With
// TAVREL_MAPI_LOGON_FAILS set, the first logon of the process fails, as it
// does where the mail program needs to ask for a profile.
#include <windows.h>
// The Simple MAPI declarations build on the Windows types.
#include <mapi.h>

#include <string>

namespace {

void Record(const std::string& line) {
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("TAVREL_MAPI_RECORD", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD done = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
  CloseHandle(file);
}

std::string Or(LPCSTR text, const char* none) {
  return text == nullptr ? std::string(none) : std::string(text);
}

LONG logons = 0;

}  // namespace

extern "C" {

ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR profile, LPSTR password, FLAGS flags, ULONG,
                       LPLHANDLE session) {
  const bool fail = InterlockedIncrement(&logons) == 1 &&
                    GetEnvironmentVariableA("TAVREL_MAPI_LOGON_FAILS", nullptr, 0) != 0;
  Record("logon|" + std::to_string(flags) + "|" + Or(profile, "(none)") + "|" +
         Or(password, "(none)") + (fail ? "|failed" : ""));
  if (fail) return MAPI_E_LOGIN_FAILURE;
  *session = 0x5E55;
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR, FLAGS flags, ULONG) {
  Record("logoff|" + std::to_string(flags) + (session == 0x5E55 ? "" : "|unknown session"));
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG) {
  Record("send|" + std::to_string(flags) + "|" + Or(message->lpszSubject, "(none)") +
         (session == 0x5E55 ? "" : "|unknown session"));
  for (ULONG i = 0; i < message->nRecipCount; ++i) {
    const MapiRecipDesc& recipient = message->lpRecips[i];
    Record("recipient|" + std::to_string(recipient.ulRecipClass) + "|" +
           Or(recipient.lpszName, "(none)"));
  }
  for (ULONG i = 0; i < message->nFileCount; ++i) {
    const MapiFileDesc& file = message->lpFiles[i];
    Record("attachment|" + Or(file.lpszPathName, "(none)") + "|" + Or(file.lpszFileName, "(none)") +
           "|" + std::to_string(static_cast<LONG>(file.nPosition)));
  }
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR) {
  return MAPI_E_NO_MESSAGES;
}

ULONG WINAPI MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage*) {
  return MAPI_E_INVALID_MESSAGE;
}

ULONG WINAPI MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR) {
  return MAPI_E_FAILURE;
}

ULONG WINAPI MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG) {
  return MAPI_E_INVALID_MESSAGE;
}

ULONG WINAPI MAPIFreeBuffer(LPVOID) {
  return SUCCESS_SUCCESS;
}

ULONG WINAPI MAPIAddress(LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS,
                         ULONG, LPULONG, lpMapiRecipDesc*) {
  return MAPI_E_FAILURE;
}

ULONG WINAPI MAPIResolveName(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiRecipDesc*) {
  return MAPI_E_UNKNOWN_RECIPIENT;
}

}  // extern "C"
