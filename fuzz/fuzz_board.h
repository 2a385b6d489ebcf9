// What the fuzz targets share: a private temporary folder holding a real
// board with ten conferences and one logged-in caller, created once per
// process and removed at its end, and the run context over it. Nothing is
// written outside that folder.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "admin/board_admin.h"
#include "board/board.h"
#include "platform/files.h"
#include "run/run_context.h"

namespace obrix::fuzzing {

class FuzzBoard {
 public:
  static FuzzBoard& Get() {
    static FuzzBoard board;
    return board;
  }

  RunContext& context() { return context_; }
  // A path inside the private folder.
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }
  // Keeps the log from growing over a long run.
  void ForgetLog() { RemoveFile(log_.path()); }

 private:
  static constexpr const char* kCallerPassword = "SECRET";

  FuzzBoard()
      : folder_(CreateFolder()), log_(folder_ + "/obrix.log"), context_{board_, log_, state_} {
    try {
      const std::string path = Path("board.db");
      board::BoardAdmin::Create(path, board::BoardConfig{}, "SYSOPPW");
      board::BoardAdmin admin = board::BoardAdmin::Open(path);
      for (int32_t n = 0; n < 10; ++n)
        admin.AddConference(n, "Conference " + std::to_string(n), board::kDefaultConferenceFlags,
                            {});
      state_.UserId = admin.AddUser("FUZZ CALLER", kCallerPassword, "Caller");
      UserRecord user;
      if (!board_.vbWildcatServerConnect(path.c_str()) || !board_.WildcatServerCreateContext() ||
          !board_.vbLoginUserEx(state_.UserId, kCallerPassword, 1, "Obrix", user)) {
        Abort("cannot log in on the fuzz board");
      }
    } catch (const std::exception& failure) {
      Abort(failure.what());
    }
  }
  ~FuzzBoard() { RemoveTree(folder_); }

  [[noreturn]] void Abort(const char* why) {
    std::fprintf(stderr, "fuzz board: %s\n", why);
    RemoveTree(folder_);
    std::abort();
  }

  static std::string CreateFolder() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 16; ++attempt) {
      const std::filesystem::path folder = base / ("obrix-fuzz-" + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(folder, ec)) return folder.string();
    }
    std::fprintf(stderr, "fuzz board: cannot create a temporary folder\n");
    std::abort();
  }

  std::string folder_;
  board::Board board_;
  ActivityLog log_;
  RunState state_;
  RunContext context_;
};

}  // namespace obrix::fuzzing
