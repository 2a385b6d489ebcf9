// A real board file in a temporary folder, filled through BoardAdmin, and
// Board connections to it: the ground of the BoardServer* suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "admin/board_admin.h"
#include "board/board.h"
#include "support/test_support.h"

namespace obrix::board {

class BoardServerFixture : public ::testing::Test {
 protected:
  static constexpr const char* kPassword = "Secret";

  BoardServerFixture() : path_(dir_ / "board.db") {
    BoardConfig config;
    config.sysop = "Sara Sysop";
    BoardAdmin::Create(path_, config, kPassword);
    admin_.emplace(BoardAdmin::Open(path_));
  }

  BoardAdmin& admin() { return *admin_; }
  const std::string& path() const { return path_; }

  // A connection with a context and nobody logged in.
  std::unique_ptr<Board> Connect() {
    auto board = std::make_unique<Board>();
    EXPECT_TRUE(board->vbWildcatServerConnect(path_.c_str()));
    EXPECT_TRUE(board->WildcatServerCreateContext());
    return board;
  }
  std::unique_ptr<Board> System() {
    auto board = Connect();
    EXPECT_TRUE(board->LoginSystem());
    return board;
  }
  std::unique_ptr<Board> LogIn(const std::string& name) {
    auto board = Connect();
    UserRecord user;
    EXPECT_TRUE(board->vbLoginUserEx(admin().UserId(name), kPassword, 1, "Obrix", user)) << name;
    return board;
  }

  int32_t AddUser(const std::string& name) { return admin().AddUser(name, kPassword, ""); }

  int32_t Post(int32_t conference, const std::string& from, const std::string& to,
               const std::string& subject, bool isPrivate = false,
               const std::string& text = "Some text\r\n") {
    PostRequest request;
    request.conference = conference;
    request.from = from;
    request.to = to;
    request.subject = subject;
    request.isPrivate = isPrivate;
    request.text = text;
    return admin().Post(request).id;
  }

 private:
  testing::TempDir dir_;
  std::string path_;
  std::optional<BoardAdmin> admin_;
};

}  // namespace obrix::board
