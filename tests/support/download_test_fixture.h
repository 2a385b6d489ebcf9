// The set-up the download tests share: a real board in a fresh temporary
// folder, filled through the sysop's BoardAdmin, and helpers to post and
// to log a user in on a Board object as a run does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "admin/board_admin.h"
#include "base/text.h"
#include "board/board.h"
#include "server/records.h"
#include "support/test_support.h"

namespace obrix::testing {

class DownloadBoardTest : public ::testing::Test {
 protected:
  static constexpr const char* kUser = "ALICE CALLER";
  static constexpr const char* kPassword = "secret";
  static constexpr const char* kOther = "BOB WRITER";
  static constexpr const char* kOtherPassword = "other-pw";

  void SetUp() override {
    const Template& board = SharedTemplate();
    boardPath_ = dir_ / "board.db";
    std::filesystem::copy_file(board.path, boardPath_);
    admin_.emplace(board::BoardAdmin::Open(boardPath_));
    userId_ = board.userId;
    otherId_ = board.otherId;
  }

  void TearDown() override {
    if (connected_) {
      board_.LogoutUser();
      board_.WildcatServerDeleteContext();
    }
  }

  board::BoardAdmin& Admin() { return *admin_; }

  // Connects the Board object (once) and logs `user` in, as a run does.
  void LogIn(const std::string& user = kUser, const std::string& password = kPassword) {
    if (connected_) {
      board_.LogoutUser();
    } else {
      ASSERT_TRUE(board_.vbWildcatServerConnect(boardPath_.c_str()));
      ASSERT_TRUE(board_.WildcatServerCreateContext());
      connected_ = true;
    }
    ASSERT_TRUE(board_.LoginSystem());
    std::string name = user;
    UserRecord found;
    int32_t position = 0;
    ASSERT_TRUE(board_.vbGetUserByName(name, found, position));
    board_.LogoutUser();
    UserRecord loggedIn;
    ASSERT_TRUE(board_.vbLoginUserEx(found.info.id, ToUpper(password), 1, "Obrix", loggedIn));
  }

  static std::string MessageText(const std::string& subject, const std::string& from,
                                 const std::string& to) {
    return "Text of " + subject + " from " + from + " to " + to + "\nSecond line";
  }

  int32_t Post(int32_t conference, const std::string& from, const std::string& to,
               const std::string& subject = "Subject", bool isPrivate = false,
               bool receipt = false) {
    board::PostRequest request;
    request.conference = conference;
    request.from = from;
    request.to = to;
    request.subject = subject;
    request.isPrivate = isPrivate;
    request.receipt = receipt;
    request.text = MessageText(subject, from, to);
    return Admin().Post(request).id;
  }

  TempDir dir_;
  std::string boardPath_;
  std::optional<board::BoardAdmin> admin_;
  int32_t userId_ = 0;
  int32_t otherId_ = 0;
  board::Board board_;

 private:
  // A board with the two users, made once per test program: adding users
  // hashes their passwords, which is the slow part of a board's set-up.
  // Each test works on its own copy.
  struct Template {
    TempDir dir;
    std::string path;
    int32_t userId = 0;
    int32_t otherId = 0;
  };
  static const Template& SharedTemplate() {
    static Template made;
    static const bool ready = [] {
      made.path = made.dir / "template.db";
      board::BoardAdmin::Create(made.path, board::BoardConfig{}, "");  // sysop without log-in
      board::BoardAdmin admin = board::BoardAdmin::Open(made.path);
      made.userId = admin.AddUser(kUser, kPassword, "Caller");
      made.otherId = admin.AddUser(kOther, kOtherPassword, "Writer");
      return true;
    }();
    (void)ready;
    return made;
  }

  bool connected_ = false;
};

}  // namespace obrix::testing
