// The "/UPLOAD" operation.
#pragma once

#include "run/run_context.h"

namespace obrix {

// Posts the replies of the logged-in user's REP packet found in QwkPath and
// acts on its control messages. True when the reply file was read to its
// end; false when the upload stopped early (its reason is in the log).
//
// The REP is moved into QwkPath + "kept/" before it is read (see
// upload/kept_packet.h) and removed there once every reply was posted or
// found to be a duplicate. When a reply was refused or skipped unread, or
// the upload stopped early after taking the REP, it stays there, the log
// says so ("Reply packet kept as " + its path) and the run state's
// keptReplyPackets names it. A REP the door cannot read is left where it
// was, with the log line "Cannot read " + its path + ": " + why.
//
// When more than one file answers to the pickup name (in different letter
// cases), nobody can tell which is the caller's: each is logged ("Not
// posting " + its path + ...), none is posted, and every one is kept under
// its name for a REP of no known caller (upload/kept_packet.h). The upload
// then ends true, with keptReplyPackets naming them all.
bool QwkUpload(RunContext& context);

}  // namespace obrix
