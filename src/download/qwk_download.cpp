#include "download/qwk_download.h"

#include "server/failure.h"

namespace obrix {

// Placeholder until the download lands.
bool QwkDownload(RunContext& context) {
  const Failure failure(kFailureNotAvailable, "the download is not available yet");
  context.log.Line("(QwkDownload) Error # " + std::to_string(failure.number()) + ": " +
                   failure.description());
  return false;
}

}  // namespace obrix
