// The set-up the packet-file tests share: a real board in a fresh
// temporary folder, a work directory beside it, and a run context whose
// server is that board with a user (or the system account) logged in.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "admin/board_admin.h"
#include "board/board.h"
#include "platform/files.h"
#include "run/activity_log.h"
#include "run/run_context.h"
#include "support/test_support.h"

namespace obrix::testing {

class QwkBoardTest : public ::testing::Test {
 protected:
  static constexpr const char* kUser = "ALICE CALLER";
  static constexpr const char* kPassword = "password";  // logged in upper-cased

  void SetUp() override {
    boardPath_ = dir_ / "board.db";
    board::BoardAdmin::Create(boardPath_, board::BoardConfig{}, "sysop-pw");
    Admin().AddUser(kUser, kPassword, "Tester");
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
    Connect();
    ASSERT_TRUE(board_.LoginSystem());
  }

  // Connects and logs in as kUser, as a run does; fills the run state.
  void LogInUser() {
    Connect();
    ASSERT_TRUE(board_.LoginSystem());
    std::string name = kUser;
    UserRecord found;
    int32_t position = 0;
    ASSERT_TRUE(board_.vbGetUserByName(name, found, position));
    ASSERT_TRUE(board_.LogoutUser());
    UserRecord user;
    ASSERT_TRUE(board_.vbLoginUserEx(found.info.id, "PASSWORD", 1, "Obrix", user));
    state_.UserName = kUser;
    state_.UserId = found.info.id;
  }

  std::string Work(const std::string& name) const { return state_.QwkPath + name; }
  std::vector<std::string> Log() { return LogMessages(log_.path()); }

  TempDir dir_;
  std::string boardPath_;
  board::Board board_;
  ActivityLog log_{dir_ / "obrix.log"};
  RunState state_;
  RunContext context_{board_, log_, state_};

 private:
  void Connect() {
    ASSERT_TRUE(board_.vbWildcatServerConnect(boardPath_.c_str()));
    ASSERT_TRUE(board_.WildcatServerCreateContext());
    connected_ = true;
  }
  bool connected_ = false;
};

}  // namespace obrix::testing
