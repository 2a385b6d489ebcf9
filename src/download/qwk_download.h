// The "/DOWNLOAD" operation.
#pragma once

#include "run/run_context.h"

namespace obrix {

// Builds the logged-in user's QWK packet in QwkPath and moves his pointers
// past what it holds. True when a packet was built or there was nothing to
// send; false when the download stopped early (its reason is in the log).
bool QwkDownload(RunContext& context);

}  // namespace obrix
