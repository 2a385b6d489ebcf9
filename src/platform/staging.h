// What the test suite stages, where the system has it, to see the door
// cope with what a careless sysop or a hostile caller leaves behind: a FIFO
// under a file's name, a node's files owned by an unprivileged user.
#pragma once

#include <optional>
#include <string>

namespace obrix {

// The id of this process.
unsigned long CurrentProcessId();
// True when this process runs as the superuser, who reads anything.
bool RunningAsSuperuser();
// Makes the user and group `id` the owner of `path` itself (a link, not
// what it points to); false when it
// cannot (always on Windows, which has no numeric user ids).
bool GiveToUser(const std::string& path, unsigned id);
// Creates a FIFO at `path`; false when it cannot (Windows has none).
bool MakeFifo(const std::string& path);
// Creates a symbolic link `link` to `target`; false when it cannot (on
// Windows an ordinary user may not).
bool MakeSymlink(const std::string& target, const std::string& link);
// Sets the environment variable `name` of this process to `value`, or
// removes it when there is none.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

}  // namespace obrix
