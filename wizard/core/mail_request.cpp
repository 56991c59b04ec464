#include "wizard/core/mail_request.h"

#include "wizard/core/output_paths.h"

namespace ombrwiz {

MailRequest MakeMailRequest(std::string_view packageName, const std::string& packagePath,
                            const std::function<bool(const std::string&)>& fileExists) {
  MailRequest request{std::string(packageName), {packagePath}};
  for (unsigned k = 2;; ++k) {
    std::string cabinet = CabinetPath(packagePath, k);
    if (!fileExists(cabinet)) break;
    request.attachments.push_back(std::move(cabinet));
  }
  return request;
}

}  // namespace ombrwiz
