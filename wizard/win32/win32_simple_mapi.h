// Simple MAPI of this system: the mail library is looked for once when the
// wizard starts, and the mail component reaches it through this port.
#pragma once

#include "wizard/core/email.h"

namespace ombrwiz {

// Starts deciding, once per process at start-up, whether the system offers
// Simple MAPI: its mail settings must say so and the library must load with
// all the functions the component may call. The answer is worked out on a
// thread of its own; the calls below wait for it.
void LoadSimpleMapi();
bool SimpleMapiAvailable();

class Win32SimpleMapi : public SimpleMapi {
 public:
  bool Available() const override;
  std::uint32_t Logon(const std::optional<std::string>& profile,
                      const std::optional<std::string>& password, std::uint32_t flags,
                      MapiSession& session) override;
  std::uint32_t SendMail(MapiSession session, const MailMessage& message,
                         std::uint32_t flags) override;
  std::uint32_t Logoff(MapiSession session) override;
  bool FileExists(const std::string& path) override;
  bool UserKeyExists(const std::string& key) override;
  std::optional<std::string> UserString(const std::string& key, const std::string& name) override;
};

}  // namespace ombrwiz
