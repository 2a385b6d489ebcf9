#include <unistd.h>

#include "platform/terminal.h"

namespace obrix {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace obrix
