// A small program the tests start in place of the system's own tools, so
// that the same test runs on Linux and on Windows:
//   obrix_test_helper exit N          exits with status N
//   obrix_test_helper sleep SECONDS   sleeps, then exits 0
//   obrix_test_helper touch FILE...   creates each file (empty), exits 0
//   obrix_test_helper echo WORD...    prints the words, blank-separated
//   obrix_test_helper fill FILE N     writes N bytes to FILE; 1 when it cannot
//   obrix_test_helper copy-input FILE copies its standard input to FILE
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "exit" && argc == 3) return std::stoi(argv[2]);
  if (verb == "sleep" && argc == 3) {
    std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(argv[2])));
    return 0;
  }
  if (verb == "touch") {
    for (int i = 2; i < argc; ++i) std::ofstream(argv[i], std::ios::binary | std::ios::app);
    return 0;
  }
  if (verb == "echo") {
    for (int i = 2; i < argc; ++i) std::cout << (i > 2 ? " " : "") << argv[i];
    return 0;
  }
  if (verb == "fill" && argc == 4) {
    std::ofstream out(argv[2], std::ios::binary);
    const std::string block(1024, '\0');
    for (long left = std::stol(argv[3]); left > 0 && out; left -= 1024) {
      out.write(block.data(), static_cast<std::streamsize>(std::min(left, 1024L)));
    }
    out.flush();
    return out ? 0 : 1;
  }
  if (verb == "copy-input" && argc == 3) {
    std::ofstream out(argv[2], std::ios::binary);
    out << std::cin.rdbuf();
    return 0;
  }
  std::cerr << "usage: obrix_test_helper exit|sleep|touch|echo|fill|copy-input ...\n";
  return 2;
}
