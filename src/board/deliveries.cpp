#include "board/deliveries.h"

namespace obrix::board {

void StartDelivery(Database& db, int32_t userId, uint64_t madeTime,
                   const std::string& packetDigest) {
  for (const char* sql : {"DELETE FROM delivery_pointers WHERE user_id = ?1",
                          "DELETE FROM delivery_messages WHERE user_id = ?1"}) {
    auto row = db.Prepare(sql);
    row->Bind(1, userId);
    row->Run();
  }
  auto row = db.Prepare(
      "INSERT INTO deliveries (user_id, made_time, finished, packet_digest) "
      "VALUES (?1, ?2, 0, ?3) ON CONFLICT (user_id) DO UPDATE SET made_time = "
      "excluded.made_time, finished = 0, packet_digest = excluded.packet_digest");
  row->Bind(1, userId).Bind(2, static_cast<int64_t>(madeTime));
  if (packetDigest.empty()) {
    row->BindNull(3);
  } else {
    row->BindBlob(3, packetDigest);
  }
  row->Run();
}

void NotePointer(Database& db, int32_t userId, int32_t conference, int32_t before, int32_t after) {
  auto row = db.Prepare(
      "INSERT INTO delivery_pointers (user_id, conference, before_id, after_id) "
      "VALUES (?1, ?2, ?3, ?4) "
      "ON CONFLICT (user_id, conference) DO UPDATE SET after_id = excluded.after_id");
  row->Bind(1, userId).Bind(2, conference).Bind(3, before).Bind(4, after);
  row->RunLater();
}

void NoteMessage(Database& db, int32_t userId, int32_t messageId, DeliveredMessage change) {
  auto row = db.Prepare(
      "INSERT INTO delivery_messages (user_id, message_id, kind) VALUES (?1, ?2, ?3) "
      "ON CONFLICT (user_id, message_id) DO UPDATE SET kind = excluded.kind");
  row->Bind(1, userId).Bind(2, messageId).Bind(3, static_cast<int64_t>(change));
  row->RunLater();
}

void FinishDelivery(Database& db, int32_t userId) {
  auto row = db.Prepare("UPDATE deliveries SET finished = 1 WHERE user_id = ?1");
  row->Bind(1, userId);
  row->Run();
}

bool HasUnfinishedDelivery(Database& db, int32_t userId) {
  auto row = db.Prepare("SELECT 1 FROM deliveries WHERE user_id = ?1 AND finished = 0");
  row->Bind(1, userId);
  return row->Step();
}

std::optional<int32_t> DeliveryOfPacket(Database& db, const std::string& packetDigest) {
  if (packetDigest.empty()) return std::nullopt;
  auto row = db.Prepare("SELECT user_id FROM deliveries WHERE finished = 1 AND packet_digest = ?1");
  row->BindBlob(1, packetDigest);
  if (!row->Step()) return std::nullopt;
  return static_cast<int32_t>(row->Int(0));
}

namespace {

// Runs one statement about the user (bound at ?1) and returns how many
// rows it changed.
int32_t Change(Database& db, const char* sql, int32_t userId) {
  auto row = db.Prepare(sql);
  row->Bind(1, userId);
  row->Run();
  return db.Changes();
}

}  // namespace

std::optional<RestoredDelivery> RestoreDelivery(Database& db, int32_t userId, bool evenFinished) {
  RestoredDelivery restored;
  {
    auto row = db.Prepare("SELECT made_time, finished FROM deliveries WHERE user_id = ?1");
    row->Bind(1, userId);
    if (!row->Step()) return std::nullopt;
    restored.madeTime = static_cast<uint64_t>(row->Int(0));
    restored.finished = row->Int(1) != 0;
  }
  if (restored.finished && !evenFinished) return std::nullopt;
  // A pointer moved since (by a later download or by hand) stays.
  restored.pointers = Change(db,
                             "UPDATE last_read SET message_id = (SELECT before_id FROM "
                             "delivery_pointers p WHERE p.user_id = ?1 AND p.conference = "
                             "last_read.conference) WHERE user_id = ?1 AND EXISTS (SELECT 1 FROM "
                             "delivery_pointers p WHERE p.user_id = ?1 AND p.conference = "
                             "last_read.conference AND p.after_id = last_read.message_id)",
                             userId);
  // A receipt its addressee has read stays: he has seen it.
  restored.receipts = Change(db,
                             "DELETE FROM messages WHERE received = 0 AND id IN (SELECT "
                             "message_id FROM delivery_messages WHERE user_id = ?1 AND kind = 2) "
                             "AND id NOT IN (SELECT message_id FROM server_files WHERE "
                             "message_id IS NOT NULL)",
                             userId);
  // The message it answers stays received: a receipt goes out once.
  restored.readMarks = Change(db,
                              "UPDATE messages SET received = 0, read_time = 0 WHERE to_id = ?1 "
                              "AND received = 1 AND id IN (SELECT message_id FROM "
                              "delivery_messages WHERE user_id = ?1 AND kind = 1) AND id NOT IN "
                              "(SELECT r.reference FROM messages r JOIN delivery_messages d ON "
                              "d.message_id = r.id WHERE d.user_id = ?1 AND d.kind = 2)",
                              userId);
  Change(db, "DELETE FROM delivery_pointers WHERE user_id = ?1", userId);
  Change(db, "DELETE FROM delivery_messages WHERE user_id = ?1", userId);
  Change(db, "DELETE FROM deliveries WHERE user_id = ?1", userId);
  return restored;
}

}  // namespace obrix::board
