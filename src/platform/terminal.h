// Whether a person is watching: progress lines are shown only on a terminal.
#pragma once

namespace obrix {

// True when the process's standard error is a terminal.
bool StandardErrorIsTerminal();

}  // namespace obrix
