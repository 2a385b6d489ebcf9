// The one presence test of the packet steps, for local and server paths.
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "platform/files.h"
#include "qwk/qwk_files.h"

namespace obrix {

namespace {

// "WC:\" in any letter case, with blanks around the first four characters
// ignored: a path that starts with a blank is therefore local.
bool IsServerPath(const std::string& path) {
  return ToUpper(Trim(std::string_view(path).substr(0, 4))) == "WC:\\";
}

}  // namespace

bool FileExists(Server& server, std::string& path) {
  if (IsServerPath(path)) {
    try {
      return server.WcExistFile(path);
    } catch (const Failure&) {
      return false;
    }
  }
  // Links and anything but a plain file count as absent and are left alone.
  const int64_t size = PlainFileSize(path);
  if (size < 0) return false;
  // An empty file, or one that cannot be read, counts as absent and goes.
  if (size > 0 && LocalFile::OpenRead(path).has_value()) return true;
  RemoveFile(path);
  return false;
}

}  // namespace obrix
