// The pointer file: packet id + ".ptr" in the work directory.
//
// One CR LF line per conference the download looks at, in the order of
// the walk: the conference number, a comma, and the user's last-read
// message id as it stood before the download moved it. It travels in the
// packet; nothing in this program reads it back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"
#include "server/server.h"

namespace obrix {

class PointerFile {
 public:
  // Creates `path` afresh (whatever had the name is removed first, links
  // are not followed). Raises Failure when it cannot.
  static PointerFile Create(const std::string& path);

  // Appends the line of `conference`, asking the server for the user's
  // last-read id there. Raises Failure when the file cannot be written.
  void AddLine(Server& server, int32_t conference);

  // Closes the file; later calls do nothing. Raises Failure when the close
  // fails. A file still open at destruction is closed quietly.
  void Close();

 private:
  explicit PointerFile(LocalFile file) : file_(std::move(file)) {}
  std::optional<LocalFile> file_;
};

}  // namespace obrix
