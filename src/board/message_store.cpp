#include "board/message_store.h"

#include <cstdint>
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

PostResult StoreNumberedMessage(Database& db, const StoredMessage& message, int64_t number) {
  if (number > INT32_MAX) {
    throw std::invalid_argument("conference " + Decimal(message.conference) +
                                " has no message numbers left");
  }
  {
    // Sent with the insert that follows: one round trip to a server.
    auto bump = db.Prepare("UPDATE conferences SET next_number = ? WHERE number = ?");
    bump->Bind(1, number + 1).Bind(2, int64_t{message.conference});
    bump->RunLater();
  }
  auto insert = db.Prepare(
      "INSERT INTO messages (conference, number, from_id, from_name, from_title, to_id, to_name,"
      " to_title, subject, private, receipt_requested, reference, entry_time, message_time,"
      " uploader_id_text, text, text_hash)"
      " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
  insert->Bind(1, int64_t{message.conference})
      .Bind(2, number)
      .Bind(3, int64_t{message.fromId})
      .Bind(4, message.fromName)
      .Bind(5, message.fromTitle)
      .Bind(6, int64_t{message.toId})
      .Bind(7, message.toName)
      .Bind(8, message.toTitle)
      .Bind(9, message.subject)
      .Bind(10, int64_t{message.isPrivate ? 1 : 0})
      .Bind(11, int64_t{message.receiptRequested ? 1 : 0})
      .Bind(12, int64_t{message.reference})
      .Bind(13, static_cast<int64_t>(message.entryTime))
      .Bind(14, static_cast<int64_t>(message.messageTime))
      .Bind(15, message.uploaderIdText)
      .BindBlob(16, message.text)
      .Bind(17, MessageTextHash(message.text));
  if (!insert->Step()) throw Failure(kFailureServer, "board database error: no message id");
  return PostResult{static_cast<int32_t>(insert->Int(0)), static_cast<int32_t>(number)};
}

}  // namespace obrix::board
