// The wizard's mail component: hands a message with attachments to the
// user's mail program through Simple MAPI. The component keeps the
// properties and events of its published interface; the wizard sets Subject
// and Attachment and sends, and the mail program's compose window does the
// rest. Reading and saving mail are not offered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrwiz {

// Simple MAPI's result codes and flags (the values of its C interface).
namespace mapi {
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kLoginFailure = 3;
inline constexpr std::uint32_t kTooManyFiles = 9;
inline constexpr std::uint32_t kTooManyRecipients = 10;
inline constexpr std::uint32_t kAttachmentNotFound = 11;
// Logon flags.
inline constexpr std::uint32_t kLogonUi = 0x1;
inline constexpr std::uint32_t kNewSession = 0x2;
inline constexpr std::uint32_t kForceDownload = 0x1000;
// Send flag: the mail program shows its compose window.
inline constexpr std::uint32_t kDialog = 0x8;
// Recipient classes.
inline constexpr std::uint32_t kTo = 1;
inline constexpr std::uint32_t kCc = 2;
inline constexpr std::uint32_t kBcc = 3;
}  // namespace mapi

struct MailRecipient {
  std::string name;
  std::uint32_t recipientClass = mapi::kTo;
};

// Attached at no particular place in the text (position -1).
struct MailAttachment {
  std::string path;  // full path of the file
  std::string name;  // the name the recipient sees
};

struct MailMessage {
  std::string subject;
  std::string noteText;
  std::vector<MailRecipient> recipients;
  std::vector<MailAttachment> attachments;
  bool receiptRequested = false;
};

using MapiSession = std::uintptr_t;

// Simple MAPI and the few system questions the component asks.
class SimpleMapi {
 public:
  virtual ~SimpleMapi() = default;
  // Whether a mail library was found when the program started.
  virtual bool Available() const = 0;
  // nullopt passes no profile or password.
  virtual std::uint32_t Logon(const std::optional<std::string>& profile,
                              const std::optional<std::string>& password, std::uint32_t flags,
                              MapiSession& session) = 0;
  virtual std::uint32_t SendMail(MapiSession session, const MailMessage& message,
                                 std::uint32_t flags) = 0;
  virtual std::uint32_t Logoff(MapiSession session) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Keys and string values under HKEY_CURRENT_USER.
  virtual bool UserKeyExists(const std::string& key) = 0;
  virtual std::optional<std::string> UserString(const std::string& key,
                                                const std::string& name) = 0;
};

inline constexpr std::string_view kMapiUnavailable =
    "MAPI services are not available on this system";

// The name an attachment is sent under when names are shortened: names of up
// to 12 characters as they are; a longer name whose first dot is its 10th
// character or later keeps 8 characters before that dot and all from the dot
// on; then at most the last 12 characters, without leading dots.
std::string ShortAttachmentName(std::string_view fileName);

class TEmail {
 public:
  explicit TEmail(SimpleMapi& mapi) : mapi_(mapi) {}
  TEmail(const TEmail&) = delete;
  TEmail& operator=(const TEmail&) = delete;
  // Ends a session that Logon left open.
  ~TEmail();

  static constexpr std::size_t kShortTextLength = 255;  // Subject, Text, Profile, Password
  static constexpr std::string_view Version() { return "2.09.02"; }
  bool MapiAvail() const { return mapi_.Available(); }

  bool Acknowledge = false;  // ask for a receipt
  std::vector<std::string> Attachment;
  std::vector<std::string> Recipient;
  std::vector<std::string> Bcc;
  std::vector<std::string> CC;
  bool DownLoadFirst = false;
  bool NewSession = false;
  bool UnreadOnly = false;  // reading mail, not offered
  bool ShowDialog = false;
  bool TruncAttFN = true;
  bool UseDefProfile = false;
  bool UseLongMessageID = true;  // reading mail, not offered
  std::string Profile;
  std::string Password;
  std::string Subject;
  std::string Text;

  std::function<void(TEmail&)> OnBeforeLogon;
  std::function<void(TEmail&)> OnAfterLogon;
  std::function<void(TEmail&)> OnBeforeLogoff;
  std::function<void(TEmail&)> OnAfterLogoff;
  std::function<void(TEmail&)> OnBeforeSendMail;
  std::function<void(TEmail&)> OnAfterSendMail;
  std::function<void(TEmail&, std::uint32_t errorCode)> OnMapiError;

  // Sends the message: MAPI's result, 0 for success; nullopt when MAPI is not
  // available (kMapiUnavailable). Logs on first unless a session is open, and
  // off again afterwards when it did.
  std::optional<std::uint32_t> Send();
  // 0, or kLoginFailure after reporting the last logon's code.
  std::uint32_t Logon();
  void Logoff();
  bool LoggedOn() const { return session_.has_value(); }

 private:
  std::optional<std::string> DefaultProfile();
  std::uint32_t Report(std::uint32_t errorCode);
  static void Raise(const std::function<void(TEmail&)>& event, TEmail& sender);

  SimpleMapi& mapi_;
  std::optional<MapiSession> session_;
};

}  // namespace ombrwiz
