#include "driver/run_sequence.h"

namespace obrix {

bool OpenSession(RunContext&, const std::string&) { return false; }
int Main(RunContext&, const std::string&) { return kExitCommandLine; }

}  // namespace obrix
