#include "driver/work_directory.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "platform/file_mode.h"
#include "platform/files.h"
#include "server/packet_id.h"
#include "upload/kept_packet.h"

namespace obrix {

namespace {

struct WorkDirectory {
  std::string path;     // as named, perhaps with a trailing separator
  bool chosen = false;  // named by OBRIX_WORK
};

// The folder named by OBRIX_WORK, or Qwk beside the program when the
// variable is unset or empty.
WorkDirectory ChooseWorkDirectory(const RunState& state) {
  const char* value = std::getenv(kWorkVariable);
  if (value && *value) {
    return {value, true};
  }
  return {state.programDirectory + PathSeparator() + kWorkDirectoryName, false};
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// Why `work` cannot serve as the work directory (creating it when `create`
// is set and nothing has its name); empty when it can.
std::string WorkDirectoryProblem(const WorkDirectory& work, bool create) {
  if (work.chosen && !std::filesystem::path(work.path).is_absolute()) {
    return std::string(kWorkVariable) + " must be an absolute path, not \"" + work.path + "\"";
  }
  if (IsFolder(work.path)) return {};
  std::error_code ec;
  if (std::filesystem::symlink_status(work.path, ec).type() !=
      std::filesystem::file_type::not_found) {
    return work.path + " is not a folder";
  }
  if (!create) return work.path + " does not exist";
  std::string reason;
  if (CreateOwnerOnlyDirectory(work.path, reason)) return {};
  return "cannot create " + work.path + ": " + reason;
}

// Sets QwkPath and checks the folder. A folder named by OBRIX_WORK that
// cannot be used is logged with the reason; Qwk beside the program fails
// silently, leaving the run sequence's summary line alone in the log.
bool PrepareWorkDirectory(RunContext& context, bool create) {
  const WorkDirectory work = ChooseWorkDirectory(context.state);
  const bool ended = !work.path.empty() && work.path.back() == PathSeparator();
  context.state.QwkPath = ended ? work.path : work.path + PathSeparator();
  if (!work.chosen && IsInstalledProgramFolder(context.state.programDirectory)) {
    context.log.Line(std::string("Cannot use the work directory: set ") + kWorkVariable +
                     " to the node's work directory (an installed program keeps no files in "
                     "its own folder, " +
                     context.state.programDirectory + ")");
    return false;
  }
  const std::string problem = WorkDirectoryProblem(work, create);
  if (!problem.empty()) {
    if (work.chosen) context.log.Line("Cannot use the work directory: " + problem);
    return false;
  }
  // Whoever may write the folder could leave a file under a name the door
  // reads or writes (a REP under the pickup name, the packet's parts).
  if (WritableByOthers(work.path)) {
    context.log.Line("Cannot use the work directory: writable by others");
    return false;
  }
  return true;
}

// The board's packet id, which names the packet files and goes to the
// archivers; nullopt (logged) when it breaks the rule.
std::optional<std::string> UsablePacketId(RunContext& context) {
  MakewildRecord board;
  context.server.vbGetMakewild(board);
  std::string packetId = board.packetId.Trimmed();
  if (IsValidPacketId(packetId)) return packetId;
  context.log.Line("Cannot use the board's packet id \"" + LogSafe(packetId) + "\": it must be " +
                   kPacketIdRule);
  return std::nullopt;
}

// Takes the work directory's lock for the rest of the run.
bool LockWorkDirectory(RunContext& context) {
  const std::string path = context.state.QwkPath + kWorkLockName;
  // A lock file that cannot be opened (a folder this run may not write)
  // is no sign of another run, and no wait would help.
  // Nor is anything but a plain file under its name: a FIFO there would
  // hold the run for ever.
  try {
    LocalFile::OpenAppend(path, /*create=*/true).Close();
  } catch (const Failure& failure) {
    context.log.Line("Cannot use the work directory: " + (failure.number() == kFailurePathAccess
                                                              ? "not a regular file: " + path
                                                              : failure.description()));
    return false;
  }
  auto lock = FileLock::Acquire(path, WorkLockWaitSeconds());
  if (!lock) {
    context.log.Line("Work directory in use by another run.");
    return false;
  }
  context.state.workLock = std::move(lock);
  return true;
}

}  // namespace

double WorkLockWaitSeconds() {
  const char* value = std::getenv("OBRIX_LOCK_WAIT");
  if (value && *value) {
    char* end = nullptr;
    const double seconds = std::strtod(value, &end);
    if (end && *end == '\0' && seconds >= 0) return seconds;
  }
  return 30;
}

bool InitDownload(RunContext& context) {
  try {
    if (!PrepareWorkDirectory(context, /*create=*/true)) return false;
    if (!LockWorkDirectory(context)) return false;
    const std::optional<std::string> packetId = UsablePacketId(context);
    if (!packetId) return false;
    // The download keeps a new pointer per conference.
    if (context.server.GetConferenceCount() <= 0) return false;
    // A REP at the pickup name now is no caller's who is here: left by a
    // run that never took it, it must not wait for the next upload.
    if (!KeepStrayReplyPackets(context, *packetId)) return false;
    context.log.Line("Starting QWK Download process...");
    return true;
  } catch (const Failure&) {
    return false;
  }
}

bool InitUpload(RunContext& context) {
  try {
    if (!PrepareWorkDirectory(context, /*create=*/false)) return false;
    if (!LockWorkDirectory(context)) return false;
    if (!UsablePacketId(context)) return false;
    context.log.Line("Starting QWK Upload process...");
    return true;
  } catch (const Failure&) {
    return false;
  }
}

}  // namespace obrix
