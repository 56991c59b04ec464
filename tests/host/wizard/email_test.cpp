#include "wizard/core/email.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>

#include "wizard/core/mail_request.h"

namespace ombrwiz {
namespace {

TEST(Email, ShortAttachmentNames) {
  const struct {
    const char* name;
    const char* sent;
  } cases[] = {
      {"MyPackageSetup.exe", "ageSetup.exe"},
      {"MyPackageSetup2.cab", "geSetup2.cab"},
      {"Tools2.cab", "Tools2.cab"},
      {"ABCDEFGHIJ.x", "ABCDEFGHIJ.x"},   // 12 characters: as it is
      {"ABCDEFGHI.txt", "BCDEFGHI.txt"},  // first dot 10th: cut before it
      {"ABCDEFGH.txtx", "BCDEFGH.txtx"},  // first dot 9th: only the last 12
      {"Readme.document.txt", "document.txt"},
      {"NoDotInThisLongName", "ThisLongName"},
      {"ABCDEFGHIJK.abcdefghijk", "abcdefghijk"},  // the last 12 began with a dot
      {"Setup.exe", "Setup.exe"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortAttachmentName(c.name), c.sent) << c.name;
}

// Simple MAPI answering from a script and logging every call and event.
class ScriptedMapi : public SimpleMapi {
 public:
  bool available = true;
  std::deque<std::uint32_t> logonResults;  // then success
  std::uint32_t sendResult = mapi::kSuccess;
  std::set<std::string> files;
  std::map<std::string, std::string> defaultProfiles;  // by profiles key
  std::vector<std::string> log;
  std::vector<MailMessage> sent;

  bool Available() const override { return available; }
  std::uint32_t Logon(const std::optional<std::string>& profile,
                      const std::optional<std::string>& password, std::uint32_t flags,
                      MapiSession& session) override {
    log.push_back("logon " + profile.value_or("-") + " " + password.value_or("-") + " " +
                  std::to_string(flags));
    const std::uint32_t result = logonResults.empty() ? mapi::kSuccess : logonResults.front();
    if (!logonResults.empty()) logonResults.pop_front();
    if (result == mapi::kSuccess) session = 77;
    return result;
  }
  std::uint32_t SendMail(MapiSession session, const MailMessage& message,
                         std::uint32_t flags) override {
    log.push_back("send " + std::to_string(session) + " " + std::to_string(flags));
    sent.push_back(message);
    return sendResult;
  }
  std::uint32_t Logoff(MapiSession session) override {
    log.push_back("logoff " + std::to_string(session));
    return mapi::kSuccess;
  }
  bool FileExists(const std::string& path) override { return files.count(path) > 0; }
  bool UserKeyExists(const std::string& key) override { return defaultProfiles.count(key) > 0; }
  std::optional<std::string> UserString(const std::string& key, const std::string& name) override {
    if (name != "DefaultProfile" || !defaultProfiles.count(key)) return std::nullopt;
    return defaultProfiles.at(key);
  }
};

void Watch(TEmail& mail, std::vector<std::string>& log) {
  const auto note = [&log](const char* what) {
    return [&log, what](TEmail&) { log.push_back(what); };
  };
  mail.OnBeforeLogon = note("before logon");
  mail.OnAfterLogon = note("after logon");
  mail.OnBeforeSendMail = note("before send");
  mail.OnAfterSendMail = note("after send");
  mail.OnBeforeLogoff = note("before logoff");
  mail.OnAfterLogoff = note("after logoff");
  mail.OnMapiError = [&log](TEmail&, std::uint32_t code) {
    log.push_back("error " + std::to_string(code));
  };
}

using Log = std::vector<std::string>;

TEST(Email, SendLogsOnAttachesAndReportsFailures) {
  const std::string package = "C:\\My Packages\\MyPackageSetup\\MyPackageSetup.exe";
  const std::string folder = "C:\\My Packages\\MyPackageSetup\\";
  {
    // The wizard's mail: the package and its continuation cabinets up to the
    // first gap; the first logon fails and the mail program is asked.
    ScriptedMapi mapi;
    mapi.files = {package, folder + "MyPackageSetup2.cab", folder + "MyPackageSetup3.cab",
                  folder + "MyPackageSetup5.cab"};
    const MailRequest request = MakeMailRequest(
        "My Package", package, [&](const std::string& path) { return mapi.files.count(path) > 0; });
    mapi.logonResults = {mapi::kLoginFailure};
    TEmail mail(mapi);
    Watch(mail, mapi.log);
    mail.Subject = request.subject;
    mail.Attachment = request.attachments;
    EXPECT_EQ(mail.Send(), mapi::kSuccess);
    EXPECT_EQ(mapi.log,
              (Log{"before logon", "logon - - 0", "logon - - 1", "after logon", "before send",
                   "send 77 8", "after send", "before logoff", "logoff 77", "after logoff"}));
    ASSERT_EQ(mapi.sent.size(), 1u);
    const MailMessage& message = mapi.sent[0];
    EXPECT_EQ(message.subject, "My Package");
    EXPECT_TRUE(message.recipients.empty());
    EXPECT_FALSE(message.receiptRequested);
    ASSERT_EQ(message.attachments.size(), 3u);
    EXPECT_EQ(message.attachments[0].path, package);
    EXPECT_EQ(message.attachments[0].name, "ageSetup.exe");
    EXPECT_EQ(message.attachments[1].path, folder + "MyPackageSetup2.cab");
    EXPECT_EQ(message.attachments[1].name, "geSetup2.cab");
    EXPECT_EQ(message.attachments[2].path, folder + "MyPackageSetup3.cab");
    EXPECT_FALSE(mail.LoggedOn());
  }
  {
    // A missing attachment sends nothing, and the session still ends.
    ScriptedMapi mapi;
    mapi.files = {package};
    TEmail mail(mapi);
    Watch(mail, mapi.log);
    mail.Attachment = {package, folder + "gone.cab"};
    EXPECT_EQ(mail.Send(), mapi::kAttachmentNotFound);
    EXPECT_EQ(mapi.log, (Log{"before logon", "logon - - 0", "after logon", "error 11",
                             "before logoff", "logoff 77", "after logoff"}));
    EXPECT_TRUE(mapi.sent.empty());
  }
  {
    // Addressed mail: the compose window only on request; the default
    // profile from the NT key; the user cancelling is reported.
    ScriptedMapi mapi;
    mapi.files = {package};
    mapi.defaultProfiles = {
        {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
         "Office"},
        {"Software\\Microsoft\\Windows Messaging Subsystem\\Profiles", "Old"}};
    mapi.sendResult = 1;
    TEmail mail(mapi);
    Watch(mail, mapi.log);
    mail.Recipient = {"ann"};
    mail.CC = {"bob"};
    mail.Bcc = {"cy"};
    mail.Attachment = {package};
    mail.TruncAttFN = false;
    mail.Acknowledge = true;
    mail.UseDefProfile = true;
    mail.Profile = "ignored";
    mail.Password = "pw";
    mail.NewSession = true;
    mail.DownLoadFirst = true;
    mail.Subject = std::string(300, 's');
    mail.Text = std::string(256, 't');
    EXPECT_EQ(mail.Send(), 1u);
    EXPECT_EQ(mapi.log,
              (Log{"before logon", "logon Office pw 4098", "after logon", "before send",
                   "send 77 0", "error 1", "before logoff", "logoff 77", "after logoff"}));
    const MailMessage& message = mapi.sent.at(0);
    EXPECT_EQ(message.subject, std::string(255, 's'));
    EXPECT_EQ(message.noteText, std::string(255, 't'));
    EXPECT_TRUE(message.receiptRequested);
    ASSERT_EQ(message.recipients.size(), 3u);
    EXPECT_EQ(message.recipients[0].name, "ann");
    EXPECT_EQ(message.recipients[0].recipientClass, mapi::kTo);
    EXPECT_EQ(message.recipients[1].recipientClass, mapi::kCc);
    EXPECT_EQ(message.recipients[2].name, "cy");
    EXPECT_EQ(message.recipients[2].recipientClass, mapi::kBcc);
    EXPECT_EQ(message.attachments.at(0).name, "MyPackageSetup.exe");

    // Asked for, the compose window opens; an open session stays open.
    mapi.log.clear();
    mapi.sendResult = mapi::kSuccess;
    mapi.defaultProfiles.erase(
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles");
    mail.ShowDialog = true;
    ASSERT_EQ(mail.Logon(), mapi::kSuccess);
    EXPECT_EQ(mail.Send(), mapi::kSuccess);
    EXPECT_EQ(mapi.log, (Log{"before logon", "logon Old pw 4098", "after logon", "before send",
                             "send 77 8", "after send"}));
    EXPECT_TRUE(mail.LoggedOn());
  }
  {
    // Both logons fail: reported once, nothing sent, no logoff.
    ScriptedMapi mapi;
    mapi.files = {package};
    mapi.logonResults = {mapi::kLoginFailure, 1};
    TEmail mail(mapi);
    Watch(mail, mapi.log);
    mail.Profile = "Mine";
    mail.Attachment = {package};
    EXPECT_EQ(mail.Send(), mapi::kLoginFailure);
    EXPECT_EQ(mapi.log, (Log{"before logon", "logon Mine - 0", "logon - - 1", "error 1"}));
  }
  {
    // Without a mail library nothing is called.
    ScriptedMapi mapi;
    mapi.available = false;
    TEmail mail(mapi);
    mail.Attachment = {package};
    EXPECT_EQ(mail.Send(), std::nullopt);
    EXPECT_TRUE(mapi.log.empty());
    EXPECT_EQ(TEmail::Version(), "2.09.02");
  }
}

}  // namespace
}  // namespace ombrwiz
