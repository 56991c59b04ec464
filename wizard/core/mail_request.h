// What the wizard hands to its mail thread after a build: the package name
// as subject and the package's files as attachments.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrwiz {

struct MailRequest {
  std::string subject;
  std::vector<std::string> attachments;  // full paths, in sending order
};

// The package file, then its continuation cabinets 2, 3, ... as far as they
// exist without a gap (the first missing one ends the set).
MailRequest MakeMailRequest(std::string_view packageName, const std::string& packagePath,
                            const std::function<bool(const std::string&)>& fileExists);

}  // namespace ombrwiz
