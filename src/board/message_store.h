// Storing a message on the board: the one insert path shared by the
// server's vbAddMessage and the sysop's post command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/database.h"

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

// Who posts, for StoreCheckedMessage.
struct PostingCheck {
  bool system = false;   // the system log-in, which may post in any conference
  int32_t viewer = 0;    // the user logged in, who must be among a restricted one's readers
  bool anyTime = false;  // the duplicate check ignores the message's time
};

// Stores `message` with its conference's next number, in one statement,
// when every check a post must pass holds: the conference exists, has
// numbers left and is open to the poster, a non-zero sender and addressee
// id name users, and no message of the same sender and addressee ids, the
// same text hash and the same time (unless anyTime) is there. nullopt when
// one fails; nothing is stored then. That last check refuses every
// duplicate and a few messages that are none (another name or subject,
// a text of the same hash): the caller tells them apart.
std::optional<PostResult> StoreCheckedMessage(Database& db, const StoredMessage& message,
                                              const PostingCheck& check);

}  // namespace obrix::board
