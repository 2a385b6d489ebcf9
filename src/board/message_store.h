// Storing a message on the board: the one insert path shared by the
// server's vbAddMessage and the sysop's post command.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "board/sqlite.h"

namespace obrix::board {

// A message as the board stores it. Names, title and subject are kept
// without the blanks that fill the record fields.
struct StoredMessage {
  int32_t conference = 0;
  int32_t fromId = 0;
  std::string fromName;
  std::string fromTitle;
  int32_t toId = 0;
  std::string toName;
  std::string toTitle;
  std::string subject;
  bool isPrivate = false;
  bool receiptRequested = false;
  int32_t reference = 0;
  uint64_t entryTime = 0;    // FILETIME ticks
  uint64_t messageTime = 0;  // FILETIME ticks
  std::string uploaderIdText;
  std::string text;  // stored byte for byte
};

// Where a stored message went.
struct PostResult {
  int32_t id = 0;
  int32_t number = 0;
};

// The hash kept beside each text for the duplicate check (FNV-1a, 64-bit).
int64_t MessageTextHash(std::string_view text);

// Inserts `message` inside the caller's write transaction (BEGIN IMMEDIATE
// already taken) and assigns its id (board-wide, increasing, never reused)
// and its number (per conference, increasing, never reused). Raises
// std::invalid_argument when the conference does not exist.
PostResult StoreMessage(Database& db, const StoredMessage& message);

// StoreMessage with the conference's next number already read (its
// `next_number`, in the same write transaction). Raises
// std::invalid_argument when the conference has no numbers left.
PostResult StoreNumberedMessage(Database& db, const StoredMessage& message, int64_t number);

}  // namespace obrix::board
