// obrix: the QWK offline-mail door. One run, one job for one user.
#include <string>

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
  return obrix::RunMain(context, arguments);
}
