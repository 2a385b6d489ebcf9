// The set-up the packet-file tests share: the kit's standard board of the
// test's kind, a work directory in a fresh temporary folder, and a run context
// whose server is that board with a user (or the system account) logged in.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "admin/board_admin.h"
#include "board/board.h"
#include "platform/files.h"
#include "run/activity_log.h"
#include "run/run_context.h"
#include "support/test_board.h"
#include "support/test_support.h"

namespace obrix::testing {

class QwkBoardTest : public BoardTest {
 protected:
  static constexpr const char* kUser = testing::kUser;
  static constexpr const char* kPassword = kUserPassword;

  void SetUp() override {
    boardPath_ = test_.name();
    state_.QwkPath = (dir_ / "Qwk") + PathSeparator();
    ASSERT_TRUE(CreateDirectory(dir_ / "Qwk"));
  }

  void TearDown() override {
    if (connected_) {
      board_.LogoutUser();
      board_.WildcatServerDeleteContext();
    }
  }

  board::BoardAdmin Admin() { return board::BoardAdmin::Open(boardPath_); }

  // Connects and logs in as the system account.
  void LogInSystem() {
    ASSERT_TRUE(board_.vbWildcatServerConnect(boardPath_.c_str()));
    ASSERT_TRUE(board_.WildcatServerCreateContext());
    connected_ = true;
    ASSERT_TRUE(board_.LoginSystem());
  }

  // Connects and logs in as kUser, as a run does; fills the run state.
  void LogInUser() {
    state_.UserId = test_.LogIn(board_, kUser, kPassword);
    state_.UserName = kUser;
    connected_ = true;
  }

  std::string Work(const std::string& name) const { return state_.QwkPath + name; }
  std::vector<std::string> Log() { return LogMessages(log_.path()); }

  TempDir dir_;
  TestBoard test_{{}, backend()};
  std::string boardPath_;
  board::Board board_;
  ActivityLog log_{dir_ / "obrix.log"};
  RunState state_;
  RunContext context_{board_, log_, state_};

 private:
  bool connected_ = false;
};

}  // namespace obrix::testing
