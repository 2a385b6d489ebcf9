// The state of one run, and what every operation is handed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_lock.h"
#include "run/activity_log.h"
#include "server/server.h"

namespace obrix {

struct PacketMessage {
  int32_t conference = 0;
  int32_t id = 0;
};

// The one program-wide record of a run.
struct RunState {
  std::string UserName;   // from the command line, upper case, trimmed
  std::string Operation;  // "DOWNLOAD" or "UPLOAD"
  bool Overwrite = false;
  int32_t UserId = 0;                         // set after the user's log-in
  std::string QwkPath;                        // the work directory, ending with the separator
  std::vector<PacketMessage> PacketMessages;  // taken messages addressed to the user
  std::vector<int32_t> ConfLastRead;          // new pointer per conference number

  // The folder of the program file; the default work directory lies inside it.
  std::string programDirectory;
  // The work directory's lock, held from the initialiser to the end of the run.
  std::optional<FileLock> workLock;
};

// What an operation works with: the server, the log and the run state.
struct RunContext {
  Server& server;
  ActivityLog& log;
  RunState& state;
};

}  // namespace obrix
