// obrix: the QWK offline-mail door. One run, one job for one user.
#include <cstdio>
#include <string>

#include "base/failure.h"
#include "board/board.h"
#include "driver/run_sequence.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) arguments += ' ';
    arguments += argv[i];
  }
  obrix::board::Board board;
  obrix::ActivityLog log;
  obrix::RunState state;
  state.programDirectory = obrix::ProgramDirectory();
  obrix::RunContext context{board, log, state};
  try {
    return obrix::Main(context, arguments);
  } catch (const obrix::Failure& failure) {
    std::fprintf(stderr, "obrix: %s\n", failure.description().c_str());
    return failure.number() == obrix::kFailureLog ? obrix::kExitLog : obrix::kExitOperationFailed;
  }
}
