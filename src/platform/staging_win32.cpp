#include <windows.h>

#include <cstdlib>

#include "platform/staging.h"

namespace obrix {

unsigned long CurrentProcessId() { return ::GetCurrentProcessId(); }

// A Windows administrator is still refused files whose access list
// excludes him; nothing here reads anything regardless.
bool RunningAsSuperuser() { return false; }

bool GiveToUser(const std::string&, unsigned) { return false; }

bool MakeFifo(const std::string&) { return false; }

bool MakeSymlink(const std::string& target, const std::string& link) {
  return ::CreateSymbolicLinkA(link.c_str(), target.c_str(), 0) != 0;
}

// _putenv_s keeps the C runtime's copy, which getenv reads, in step with
// the process's own; an empty value removes the variable.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
  ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

}  // namespace obrix
