// bench_catch_up: moves a user's last-read pointer in every conference of a
// board to that conference's newest message, so that nothing on the board
// is new for him. The benchmarks then post the few messages they want him
// to find, or leave him with nothing to download.
//
//   bench_catch_up BOARD USER
//
// Prints the number of conferences set.
#include <cstdint>
#include <iostream>
#include <string>

#include "admin/board_admin.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: bench_catch_up BOARD USER\n";
    return 2;
  }
  try {
    obrix::board::BoardAdmin admin = obrix::board::BoardAdmin::Open(argv[1]);
    int count = 0;
    for (const auto& conference : admin.ListConferences()) {
      auto newest = admin.database().Prepare(
          "SELECT coalesce(max(id), 0) FROM messages WHERE conference = ?");
      newest->Bind(1, int64_t{conference.number});
      const int64_t id = newest->Step() ? newest->Int(0) : 0;
      admin.SetLastRead(argv[2], conference.number, static_cast<int32_t>(id));
      ++count;
    }
    std::cout << count << "\n";
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "bench_catch_up: " << error.what() << "\n";
    return 1;
  }
}
