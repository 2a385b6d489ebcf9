// Helpers of the reliability tests: the board's messages read whole, a
// read-only look at a board while other processes write it, a folder's
// names.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "admin/board_admin.h"
#include "board/database.h"
#include "support/test_support.h"

namespace obrix::testing {

// Every message on the board, whole, in id order.
inline std::vector<board::MessageSummary> BoardMessages(const std::string& boardPath) {
  board::BoardAdmin admin = board::BoardAdmin::Open(boardPath);
  std::vector<board::MessageSummary> messages;
  for (const board::MessageSummary& listed : admin.ListMessages(std::nullopt, std::nullopt)) {
    messages.push_back(admin.Show(listed.id).value());
  }
  return messages;
}

// A second connection to a board, for looking at it while a run writes it:
// every query is one statement outside any transaction, so it never holds
// the run up.
class BoardProbe {
 public:
  explicit BoardProbe(const std::string& path) : db_(board::OpenDatabase(path, false)) {}

  // The integer in the first column of the first row of `sql`, with the
  // given values bound at ?1, ?2, ...
  int64_t Number(const std::string& sql, const std::vector<int64_t>& values = {}) {
    auto row = db_->Prepare(sql);
    for (size_t i = 0; i < values.size(); ++i) row->Bind(static_cast<int>(i + 1), values[i]);
    return row->Step() ? row->Int(0) : 0;
  }

 private:
  std::unique_ptr<board::Database> db_;
};

}  // namespace obrix::testing
