#include "driver/work_directory.h"

#include <cstdlib>
#include <filesystem>

#include "base/failure.h"
#include "platform/files.h"

namespace obrix {

namespace {

std::string WorkDirectoryPath(const RunState& state) {
  return state.programDirectory + PathSeparator() + kWorkDirectoryName;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// Takes the work directory's lock for the rest of the run.
bool LockWorkDirectory(RunContext& context) {
  const std::string path = context.state.QwkPath + kWorkLockName;
  // A lock file that cannot be opened (a folder this run may not write)
  // is no sign of another run, and no wait would help.
  try {
    LocalFile::OpenAppend(path, /*create=*/true).Close();
  } catch (const Failure& failure) {
    context.log.Line("Cannot use the work directory: " + failure.description());
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
  RunState& state = context.state;
  try {
    const std::string directory = WorkDirectoryPath(state);
    state.QwkPath = directory + PathSeparator();
    if (!IsFolder(directory) && !CreateDirectory(directory)) return false;
    if (!LockWorkDirectory(context)) return false;
    // The download keeps a new pointer per conference.
    if (context.server.GetConferenceCount() <= 0) return false;
    context.log.Line("Starting QWK Download process...");
    return true;
  } catch (const Failure&) {
    return false;
  }
}

bool InitUpload(RunContext& context) {
  RunState& state = context.state;
  try {
    const std::string directory = WorkDirectoryPath(state);
    state.QwkPath = directory + PathSeparator();
    if (!IsFolder(directory)) return false;
    if (!LockWorkDirectory(context)) return false;
    context.log.Line("Starting QWK Upload process...");
    return true;
  } catch (const Failure&) {
    return false;
  }
}

}  // namespace obrix
