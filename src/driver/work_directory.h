// The work directory: the folder named by the environment variable
// OBRIX_WORK (an absolute path), else "Qwk" beside the program file. It is
// shared by every run that finds the same folder, and created for a
// download when missing, readable by its owner only.
//
// Each initialiser sets QwkPath and takes an exclusive lock on the
// directory's lock file, held until the run ends, so that runs for
// different users never build or unpack packets in the folder at the same
// time. A run waits up to OBRIX_LOCK_WAIT seconds (default 30) for it.
//
// An existing folder that users other than its owner may write is refused
// ("Cannot use the work directory: writable by others"), as is a board
// whose packet id breaks its rule (server/packet_id.h): no archiver is ever
// run with it. A download moves any REP it finds at the pickup name into
// "kept/" (upload/kept_packet.h): no caller present uploaded it.
#pragma once

#include "run/run_context.h"

namespace obrix {

inline constexpr const char* kWorkDirectoryName = "Qwk";
inline constexpr const char* kWorkVariable = "OBRIX_WORK";
inline constexpr const char* kWorkLockName = "obrix.lock";

// Prepares the work directory for a download (creating it when missing)
// and checks that the board has conferences. False on any failure.
bool InitDownload(RunContext& context);

// Checks that the work directory exists. False when it does not (nothing
// is created then, and only a folder named by OBRIX_WORK is reported) or
// when it is in use.
bool InitUpload(RunContext& context);

// How long a run waits for the work directory's lock, in seconds.
double WorkLockWaitSeconds();

}  // namespace obrix
