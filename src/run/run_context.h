// The state of one run, and what every operation is handed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/disk_sync.h"
#include "platform/file_lock.h"
#include "run/activity_log.h"
#include "server/server.h"

namespace obrix {

// The one program-wide record of a run.
struct RunState {
  std::string UserName;   // from the command line, upper case, trimmed
  std::string Operation;  // "DOWNLOAD" or "UPLOAD"
  bool Overwrite = false;
  int32_t UserId = 0;   // set after the user's log-in
  std::string QwkPath;  // the work directory, ending with the separator

  // The folder of the program file; the default work directory lies inside it.
  std::string programDirectory;
  // The character set of the command line's name and password (OBRIX_CHARSET,
  // else the locale's); empty: Windows-1252 bytes, as the board keeps them.
  std::string argumentCharset;
  // The work directory's lock, held from the initialiser to the end of the run.
  std::optional<FileLock> workLock;
  // Where the upload kept REP packets: the caller's because replies in it
  // were refused or it could not be read to its end, or every one that
  // answered to the pickup name when more than one did. Empty when it
  // kept none.
  std::vector<std::string> keptReplyPackets;
};

// What an operation works with: the server, the log, the run state and
// the outside world (the local clock, the archivers, the disk's syncs),
// which are the machine's own unless a test hands in others.
struct RunContext {
  Server& server;
  ActivityLog& log;
  RunState& state;
  const Clock& clock = SystemClock();
  ProcessRunner& processes = SystemProcessRunner();
  DiskSync& disk = SystemDiskSync();
};

}  // namespace obrix
