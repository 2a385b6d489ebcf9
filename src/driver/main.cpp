// obrix: the QWK offline-mail door. One run, one job for one user.
#include <clocale>
#include <cstdlib>
#include <string>

#include "board/board.h"
#include "driver/run_sequence.h"
#include "platform/charset.h"
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
  // The caller's name and password come in the BBS's character set: the
  // locale's (its character type only: nothing else of the locale may
  // change how the door reads numbers), unless OBRIX_CHARSET names another.
  std::setlocale(LC_CTYPE, "");
  const char* named = std::getenv("OBRIX_CHARSET");
  state.argumentCharset = named && *named ? named : obrix::ArgumentCharset();
  obrix::RunContext context{board, log, state};
  return obrix::RunMain(context, arguments);
}
