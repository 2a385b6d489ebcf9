// Delivery records: what a user's last download changed on the board (his
// last-read pointers, the read marks of his mail, the receipts posted for
// it), kept until his next download, so that a packet that was built but
// never handed over can be undone and its mail offered again.
//
// The server (Board) notes a download's changes as they are made and puts
// an unfinished one back before the user's next download; the sysop's
// side (BoardAdmin) undoes the last one by hand. Each function runs inside
// the caller's write transaction and checks no access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "board/database.h"

namespace obrix::board {

// What a delivery changed about one message.
enum class DeliveredMessage : int64_t {
  kMarkedRead = 1,  // marked as received by the user
  kReceipt = 2,     // a return receipt posted for the user's mail
};

// Starts the user's record anew (the record of his previous delivery
// goes), unfinished, made at `madeTime` (FILETIME ticks), for the packet
// whose digest is `packetDigest` (bytes; empty: none noted).
void StartDelivery(Database& db, int32_t userId, uint64_t madeTime,
                   const std::string& packetDigest = "");

// Notes that the delivery moved the user's pointer in `conference` from
// `before` to `after`; a conference moved twice keeps its first `before`.
void NotePointer(Database& db, int32_t userId, int32_t conference, int32_t before, int32_t after);

// Notes what the delivery did with the message `messageId`.
void NoteMessage(Database& db, int32_t userId, int32_t messageId, DeliveredMessage change);

// Marks the user's record as handed over.
void FinishDelivery(Database& db, int32_t userId);

// True when the user has a record that was not handed over.
bool HasUnfinishedDelivery(Database& db, int32_t userId);

// The user whose finished record was made for the packet with the digest
// `packetDigest`; nullopt when there is none.
std::optional<int32_t> DeliveryOfPacket(Database& db, const std::string& packetDigest);

// What RestoreDelivery put back.
struct RestoredDelivery {
  uint64_t madeTime = 0;  // when the delivery was made (FILETIME ticks)
  bool finished = false;  // its run had ended well
  int32_t pointers = 0;   // pointers moved back (those still where it left them)
  int32_t readMarks = 0;  // messages unread again
  int32_t receipts = 0;   // receipts removed (those not yet read)
};

// Puts back what the user's record noted and drops the record. A finished
// record is left alone unless `evenFinished`. nullopt when there was no
// record to put back. A message whose receipt stays on the board (its
// sender has read it) keeps its read mark, so that the receipt is never
// posted twice for it.
std::optional<RestoredDelivery> RestoreDelivery(Database& db, int32_t userId, bool evenFinished);

}  // namespace obrix::board
