// A real board, made by the kit with the sysop Sara Sysop, of the kind the
// test's parameter names, and Board connections to it: the ground of the
// BoardServer* suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "admin/board_admin.h"
#include "board/board.h"
#include "support/test_board.h"

namespace obrix::board {

class BoardServerFixture : public testing::BoardTest {
 protected:
  static constexpr const char* kPassword = "Secret";

  BoardAdmin& admin() { return test_.Admin(); }
  const std::string& name() const { return test_.name(); }

  // A connection with a context and nobody logged in.
  std::unique_ptr<Board> Connect() { return test_.Connect(); }
  std::unique_ptr<Board> System() { return test_.System(); }
  std::unique_ptr<Board> LogIn(const std::string& name) {
    auto board = Connect();
    UserRecord user;
    EXPECT_TRUE(board->vbLoginUserEx(admin().UserId(name), kPassword, 1, "Obrix", user)) << name;
    return board;
  }

  int32_t AddUser(const std::string& name) { return test_.AddUser({name, kPassword, ""}); }

  int32_t Post(int32_t conference, const std::string& from, const std::string& to,
               const std::string& subject, bool isPrivate = false,
               const std::string& text = "Some text\r\n") {
    return test_.Post({.conference = conference,
                       .from = from,
                       .to = to,
                       .subject = subject,
                       .isPrivate = isPrivate,
                       .text = text});
  }

 private:
  testing::TestBoard test_{{.sysop = "Sara Sysop", .sysopPassword = kPassword, .users = {}},
                           backend()};
};

}  // namespace obrix::board
