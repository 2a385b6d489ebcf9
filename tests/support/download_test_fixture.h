// The set-up the download tests share: the kit's standard board of the
// test's kind, and helpers to post and to log a user in on a Board
// object as a run does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "admin/board_admin.h"
#include "board/board.h"
#include "support/test_board.h"
#include "support/test_support.h"

namespace obrix::testing {

class DownloadBoardTest : public BoardTest {
 protected:
  static constexpr const char* kUser = testing::kUser;
  static constexpr const char* kPassword = kUserPassword;
  static constexpr const char* kOther = testing::kOther;
  static constexpr const char* kOtherPassword = testing::kOtherPassword;

  void SetUp() override {
    boardPath_ = test_.name();
    userId_ = test_.UserId(kUser);
    otherId_ = test_.UserId(kOther);
  }

  void TearDown() override {
    if (connected_) {
      board_.LogoutUser();
      board_.WildcatServerDeleteContext();
    }
  }

  board::BoardAdmin& Admin() { return test_.Admin(); }

  // Connects the Board object (once) and logs `user` in, as a run does.
  void LogIn(const std::string& user = kUser, const std::string& password = kPassword) {
    if (connected_) board_.LogoutUser();
    test_.LogIn(board_, user, password, connected_);
    connected_ = true;
  }

  static std::string MessageText(const std::string& subject, const std::string& from,
                                 const std::string& to) {
    return testing::MessageText(subject, from, to);
  }

  int32_t Post(int32_t conference, const std::string& from, const std::string& to,
               const std::string& subject = "Subject", bool isPrivate = false,
               bool receipt = false) {
    return test_.Post({.conference = conference,
                       .from = from,
                       .to = to,
                       .subject = subject,
                       .isPrivate = isPrivate,
                       .receipt = receipt});
  }

  TempDir dir_;
  TestBoard test_{{}, backend()};
  std::string boardPath_;
  int32_t userId_ = 0;
  int32_t otherId_ = 0;
  board::Board board_;

 private:
  bool connected_ = false;
};

}  // namespace obrix::testing
