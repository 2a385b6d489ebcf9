// The "/UPLOAD" operation.
#pragma once

#include "run/run_context.h"

namespace obrix {

// Posts the replies of the logged-in user's REP packet found in QwkPath and
// acts on its control messages. True when the reply file was read to its
// end; false when the upload stopped early (its reason is in the log).
bool QwkUpload(RunContext& context);

}  // namespace obrix
