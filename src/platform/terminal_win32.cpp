#include <io.h>
#include <stdio.h>

#include "platform/terminal.h"

namespace obrix {

bool StandardErrorIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

}  // namespace obrix
