// Files that only their owner may read and write (the board holds password
// hashes).
#pragma once

#include <string>

namespace obrix {

// Creates a new, empty plain file at `path` that only its owner may read
// and write. Fails (false, nothing created) when anything already has the
// name or the file cannot be created; `reason` then says why.
bool CreateOwnerOnlyFile(const std::string& path, std::string& reason);

}  // namespace obrix
