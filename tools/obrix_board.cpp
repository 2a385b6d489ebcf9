// obrix-board: the sysop's command for the board. Placeholder.
#include <cstdio>

int main() {
  std::fprintf(stderr, "obrix-board: not available yet\n");
  return 1;
}
