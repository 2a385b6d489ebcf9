// Files and folders that only their owner may use (the board holds password
// hashes; the work directory holds the callers' mail).
#pragma once

#include <string>

namespace obrix {

// Creates a new, empty plain file at `path` that only its owner may read
// and write. Fails (false, nothing created) when anything already has the
// name or the file cannot be created; `reason` then says why.
bool CreateOwnerOnlyFile(const std::string& path, std::string& reason);

// Makes the plain file `path` readable and writable by its owner only (a
// file the door keeps that someone else wrote). False when it is not a
// plain file or its mode cannot be set; `reason` then says why.
bool RestrictToOwner(const std::string& path, std::string& reason);

// Creates one folder level at `path` that only its owner may list, enter
// and write. False when it cannot be created; `reason` then says why.
bool CreateOwnerOnlyDirectory(const std::string& path, std::string& reason);

// True when the existing folder `path` lets users other than its owner
// create, rename or remove entries in it (on POSIX: the group's or others'
// write bit), so that they could slip a file under a name the door reads.
bool WritableByOthers(const std::string& path);

}  // namespace obrix
