#include "engine/core/http_download.h"

namespace tavrel {

// Placeholder until the client is written.
HttpDownloadResult HttpDownload(MediaPort&, const HttpDownloadRequest&, const HttpProgress&,
                                const StillWanted&) {
  return {false, 0, "the HTTP client is not written yet"};
}

}  // namespace tavrel
