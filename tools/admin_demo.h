// The demo board: a small, complete board that a sysop would recognise,
// for trying the door out (scripts/demo) and for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace obrix::board {

// The accounts of the demo board (README names them).
inline constexpr const char* kDemoCaller = "DEMO CALLER";
inline constexpr const char* kDemoCallerPassword = "DEMO";
inline constexpr const char* kDemoSysop = "SYSOP";
inline constexpr const char* kDemoSysopPassword = "SYSOP";
inline constexpr const char* kDemoPacketId = "OBRIXDEM";

// Creates the demo board at `path` (refusing an existing file; nothing is
// left behind when it fails) and returns a short description of it, one
// line per entry.
std::vector<std::string> CreateDemoBoard(const std::string& path);

}  // namespace obrix::board
