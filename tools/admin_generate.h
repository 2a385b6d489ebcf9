// A large synthetic board for benchmarks and load tests: users, conferences
// and messages made up from a seed, so that the same options always give
// the same board content.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "admin/board_admin.h"

namespace obrix::board {

struct GenerateOptions {
  // Users "USER 1" .. "USER n"; those that exist already are used as they
  // are. With 0, the board's existing users (DEFAULT aside) write the mail.
  int32_t users = 0;
  // Conferences 0 .. n-1 ("Conference n"), existing ones kept. With 0, the
  // messages go to the board's existing conferences.
  int32_t conferences = 0;
  int64_t messages = 0;
  // Text size of each message in bytes, evenly spread between the two.
  int32_t minSize = 200;
  int32_t maxSize = 2000;
  // The share (0..1) of messages addressed to the user `to`, who is made
  // when he does not exist.
  std::string to;
  double toShare = 0;
  uint64_t seed = 1;
  // The password of every user this call makes (hashed once for all).
  std::string password = "GENERATED";
};

struct GenerateReport {
  int32_t usersAdded = 0;
  int32_t conferencesAdded = 0;
  int64_t messagesAdded = 0;
  int64_t messagesToUser = 0;  // of them, addressed to `to`
  int32_t firstId = 0;         // ids of the first and last message added
  int32_t lastId = 0;
};

// Called now and then with the messages done so far and the total.
using GenerateProgress = std::function<void(int64_t done, int64_t total)>;

// Raises std::invalid_argument when the options make no sense.
void CheckGenerateOptions(const GenerateOptions& options);

// Adds the synthetic content to the board, committing every 10,000
// messages. Raises std::invalid_argument for bad options (before anything
// is written) and Failure when the database fails.
GenerateReport Generate(BoardAdmin& admin, const GenerateOptions& options,
                        const GenerateProgress& progress = {});

}  // namespace obrix::board
