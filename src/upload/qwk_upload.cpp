#include "upload/qwk_upload.h"

#include "server/failure.h"

namespace obrix {

// Placeholder until the upload lands.
bool QwkUpload(RunContext& context) {
  const Failure failure(kFailureNotAvailable, "the upload is not available yet");
  context.log.Line("(QwkUpload) - Error #" + std::to_string(failure.number()) + ": " +
                   failure.description());
  return false;
}

}  // namespace obrix
