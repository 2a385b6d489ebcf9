#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/staging.h"

namespace obrix {

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

bool RunningAsSuperuser() { return geteuid() == 0; }

bool GiveToUser(const std::string& path, unsigned id) { return lchown(path.c_str(), id, id) == 0; }

bool MakeFifo(const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }

bool MakeSymlink(const std::string& target, const std::string& link) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

}  // namespace obrix
