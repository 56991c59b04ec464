#include "wizard/core/email.h"

#include <algorithm>
#include <utility>

#include "wizard/core/output_paths.h"

namespace ombrwiz {
namespace {

// Simple MAPI counts recipients and files in 32-bit sizes of its entries: a
// list this long would not fit.
constexpr std::size_t kListLimit = 89'478'486;
constexpr std::size_t kShortName = 12;

constexpr const char* kProfilesNt =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr const char* kProfiles = "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles";

std::string ShortText(std::string_view text) {
  return std::string(text.substr(0, TEmail::kShortTextLength));
}

std::optional<std::string> UnlessEmpty(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return ShortText(text);
}

}  // namespace

std::string ShortAttachmentName(std::string_view fileName) {
  if (fileName.size() <= kShortName) return std::string(fileName);
  std::string_view name = fileName;
  const std::size_t dot = name.find('.');
  if (dot != std::string_view::npos && dot >= 9) name.remove_prefix(dot - 8);
  if (name.size() > kShortName) name.remove_prefix(name.size() - kShortName);
  name.remove_prefix(std::min(name.find_first_not_of('.'), name.size()));
  return std::string(name);
}

TEmail::~TEmail() {
  if (session_) mapi_.Logoff(*session_);
}

void TEmail::Raise(const std::function<void(TEmail&)>& event, TEmail& sender) {
  if (event) event(sender);
}

std::uint32_t TEmail::Report(std::uint32_t errorCode) {
  if (OnMapiError) OnMapiError(*this, errorCode);
  return errorCode;
}

std::optional<std::string> TEmail::DefaultProfile() {
  const std::string key = mapi_.UserKeyExists(kProfilesNt) ? kProfilesNt : kProfiles;
  const auto name = mapi_.UserString(key, "DefaultProfile");
  return name ? UnlessEmpty(*name) : std::nullopt;
}

std::uint32_t TEmail::Logon() {
  if (session_) return mapi::kSuccess;
  Raise(OnBeforeLogon, *this);
  const std::optional<std::string> profile =
      UseDefProfile ? DefaultProfile() : UnlessEmpty(Profile);
  std::uint32_t flags = 0;
  if (NewSession) flags |= mapi::kNewSession;
  if (DownLoadFirst) flags |= mapi::kForceDownload;
  MapiSession session = 0;
  std::uint32_t code = mapi_.Logon(profile, UnlessEmpty(Password), flags, session);
  if (code != mapi::kSuccess) {
    // Let the mail program ask for the profile instead.
    session = 0;
    code = mapi_.Logon(std::nullopt, std::nullopt, flags | mapi::kLogonUi, session);
  }
  if (code != mapi::kSuccess) {
    Report(code);
    return mapi::kLoginFailure;
  }
  session_ = session;
  Raise(OnAfterLogon, *this);
  return mapi::kSuccess;
}

void TEmail::Logoff() {
  if (!session_) return;
  Raise(OnBeforeLogoff, *this);
  mapi_.Logoff(*session_);
  session_.reset();
  Raise(OnAfterLogoff, *this);
}

std::optional<std::uint32_t> TEmail::Send() {
  if (!mapi_.Available()) return std::nullopt;
  const std::size_t recipients = Recipient.size() + CC.size() + Bcc.size();
  if (recipients >= kListLimit) return Report(mapi::kTooManyRecipients);
  if (Attachment.size() >= kListLimit) return Report(mapi::kTooManyFiles);

  const bool ownSession = !session_;
  if (ownSession && Logon() != mapi::kSuccess) return mapi::kLoginFailure;

  const std::uint32_t result = [&] {
    MailMessage message;
    message.subject = ShortText(Subject);
    message.noteText = ShortText(Text);
    message.receiptRequested = Acknowledge;
    for (const auto& [list, recipientClass] :
         {std::pair{&Recipient, mapi::kTo}, {&CC, mapi::kCc}, {&Bcc, mapi::kBcc}}) {
      for (const auto& name : *list) message.recipients.push_back({name, recipientClass});
    }
    for (const auto& path : Attachment) {
      if (!mapi_.FileExists(path)) return Report(mapi::kAttachmentNotFound);
      const std::string fileName = SplitPath(path).fileName;
      message.attachments.push_back({path, TruncAttFN ? ShortAttachmentName(fileName) : fileName});
    }
    const std::uint32_t flags = recipients == 0 || ShowDialog ? mapi::kDialog : 0;
    Raise(OnBeforeSendMail, *this);
    const std::uint32_t code = mapi_.SendMail(*session_, message, flags);
    if (code != mapi::kSuccess) return Report(code);
    Raise(OnAfterSendMail, *this);
    return code;
  }();

  if (ownSession) Logoff();
  return result;
}

}  // namespace ombrwiz
