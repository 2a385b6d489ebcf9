#include "board/message_store.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

#include "base/failure.h"
#include "base/text.h"

namespace obrix::board {

int64_t MessageTextHash(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a offset basis
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;  // FNV prime
  }
  return static_cast<int64_t>(hash);  // kept in SQLite's signed integer as the same bits
}

PostResult StoreMessage(Database& db, const StoredMessage& message) {
  int64_t number = 0;
  {
    auto next = db.Prepare("SELECT next_number FROM conferences WHERE number = ?");
    next->Bind(1, int64_t{message.conference});
    if (!next->Step()) {
      throw std::invalid_argument("no conference " + Decimal(message.conference));
    }
    number = next->Int(0);
  }
  return StoreNumberedMessage(db, message, number);
}

namespace {

// The columns of a stored message but its number, bound at ?1 to ?16 by
// BindStored; the number is the seventeenth column.
constexpr const char* kStoredColumns =
    "conference, from_id, from_name, from_title, to_id, to_name, to_title, subject, private,"
    " receipt_requested, reference, entry_time, message_time, uploader_id_text, text, text_hash,"
    " number";
constexpr const char* kStoredValues =
    "?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16";

void BindStored(Statement& statement, const StoredMessage& message) {
  statement.Bind(1, int64_t{message.conference})
      .Bind(2, int64_t{message.fromId})
      .Bind(3, message.fromName)
      .Bind(4, message.fromTitle)
      .Bind(5, int64_t{message.toId})
      .Bind(6, message.toName)
      .Bind(7, message.toTitle)
      .Bind(8, message.subject)
      .Bind(9, int64_t{message.isPrivate ? 1 : 0})
      .Bind(10, int64_t{message.receiptRequested ? 1 : 0})
      .Bind(11, int64_t{message.reference})
      .Bind(12, static_cast<int64_t>(message.entryTime))
      .Bind(13, static_cast<int64_t>(message.messageTime))
      .Bind(14, message.uploaderIdText)
      .BindBlob(15, message.text)
      .Bind(16, MessageTextHash(message.text));
}

// Moves the conference's next number past `number`. Sent with the
// statement that follows: no round trip of its own to a server.
void TakeNumber(Database& db, int32_t conference, int64_t number) {
  auto bump = db.Prepare("UPDATE conferences SET next_number = ? WHERE number = ?");
  bump->Bind(1, number + 1).Bind(2, int64_t{conference});
  bump->RunLater();
}

}  // namespace

PostResult StoreNumberedMessage(Database& db, const StoredMessage& message, int64_t number) {
  if (number > INT32_MAX) {
    throw std::invalid_argument("conference " + Decimal(message.conference) +
                                " has no message numbers left");
  }
  TakeNumber(db, message.conference, number);
  static const std::string sql = std::string("INSERT INTO messages (") + kStoredColumns +
                                 ") VALUES (" + kStoredValues + ", ?17) RETURNING id";
  auto insert = db.Prepare(sql);
  BindStored(*insert, message);
  insert->Bind(17, number);
  if (!insert->Step()) throw Failure(kFailureServer, "board database error: no message id");
  return PostResult{static_cast<int32_t>(insert->Int(0)), static_cast<int32_t>(number)};
}

std::optional<PostResult> StoreCheckedMessage(Database& db, const StoredMessage& message,
                                              const PostingCheck& check) {
  // The checks that vbAddMessage's refusals come from, in the insert
  // itself: a reply that passes them costs one round trip to a server. Of
  // the duplicate check it asks only what needs no bytes compared (the
  // text's hash, the sender, the addressee's id, the time); a message
  // that matches those goes to the caller's exact check.
  static const std::string sql =
      std::string("INSERT INTO messages (") + kStoredColumns + ") SELECT " + kStoredValues +
      ", next_number FROM conferences WHERE number = ?1 AND next_number <= 2147483647"
      " AND (?17 OR restricted = 0"
      " OR EXISTS (SELECT 1 FROM conf_readers WHERE conference = ?1 AND user_id = ?18))"
      // (a column before the 0, so that a server takes the value for one)
      " AND (EXISTS (SELECT 1 FROM users WHERE id = ?2) OR ?2 = 0)"
      " AND (EXISTS (SELECT 1 FROM users WHERE id = ?5) OR ?5 = 0)"
      " AND NOT EXISTS (SELECT 1 FROM messages WHERE conference = ?1 AND text_hash = ?16"
      " AND from_id = ?2 AND to_id = ?5 AND (?19 <> 0 OR message_time = ?13))"
      " RETURNING id, number";
  PostResult stored;
  {
    auto insert = db.Prepare(sql);
    BindStored(*insert, message);
    insert->Bind(17, int64_t{check.system ? 1 : 0})
        .Bind(18, int64_t{check.viewer})
        .Bind(19, int64_t{check.anyTime ? 1 : 0});
    if (!insert->Step()) return std::nullopt;
    stored = PostResult{static_cast<int32_t>(insert->Int(0)), static_cast<int32_t>(insert->Int(1))};
  }
  TakeNumber(db, message.conference, stored.number);
  return stored;
}

}  // namespace obrix::board
