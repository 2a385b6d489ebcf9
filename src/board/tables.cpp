#include "board/tables.h"

#include <charconv>

namespace obrix::board {

std::optional<std::string> MetaValue(Database& db, std::string_view key) {
  auto row = db.Prepare("SELECT value FROM meta WHERE key = ?1");
  row->Bind(1, key);
  if (!row->Step()) return std::nullopt;
  return row->Text(0);
}

void ApplyNodeTimeout(Database& db) {
  const std::optional<std::string> text = MetaValue(db, kConfigNodeTimeout);
  int32_t seconds = kDefaultLostNodeTimeout;
  if (text) {
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), seconds);
    if (error != std::errc() || end != text->data() + text->size() || seconds < 1) {
      seconds = kDefaultLostNodeTimeout;
    }
  }
  db.SetLostNodeTimeout(seconds);
}

bool UserExists(Database& db, int32_t userId) {
  auto row = db.Prepare("SELECT 1 FROM users WHERE id = ?1");
  row->Bind(1, userId);
  return row->Step();
}

std::optional<uint32_t> ConferenceFlags(Database& db, int32_t userId, int32_t conference) {
  auto row = db.Prepare(
      "SELECT COALESCE((SELECT flags FROM conf_flags WHERE user_id = ?1 AND conference = ?2), "
      "default_flags) FROM conferences WHERE number = ?2");
  row->Bind(1, userId).Bind(2, conference);
  if (!row->Step()) return std::nullopt;
  return static_cast<uint32_t>(row->Int(0));
}

void PutConferenceFlags(Database& db, int32_t userId, int32_t conference, uint32_t flags) {
  auto row = db.Prepare(
      "INSERT INTO conf_flags (user_id, conference, flags) VALUES (?1, ?2, ?3) "
      "ON CONFLICT (user_id, conference) DO UPDATE SET flags = excluded.flags");
  row->Bind(1, userId).Bind(2, conference).Bind(3, int64_t{flags});
  row->Run();
}

int32_t LastRead(Database& db, int32_t userId, int32_t conference) {
  auto row = db.Prepare("SELECT message_id FROM last_read WHERE user_id = ?1 AND conference = ?2");
  row->Bind(1, userId).Bind(2, conference);
  return row->Step() ? static_cast<int32_t>(row->Int(0)) : 0;
}

void PutLastRead(Database& db, int32_t userId, int32_t conference, int32_t messageId) {
  auto row = db.Prepare(
      "INSERT INTO last_read (user_id, conference, message_id) VALUES (?1, ?2, ?3) "
      "ON CONFLICT (user_id, conference) DO UPDATE SET message_id = excluded.message_id");
  row->Bind(1, userId).Bind(2, conference).Bind(3, messageId);
  row->RunLater();
}

std::optional<std::string> UserVariable(Database& db, int32_t userId, std::string_view section,
                                        std::string_view key) {
  auto row =
      db.Prepare("SELECT value FROM user_vars WHERE user_id = ?1 AND section = ?2 AND key = ?3");
  row->Bind(1, userId).Bind(2, section).Bind(3, key);
  if (!row->Step()) return std::nullopt;
  return row->Text(0);
}

void PutUserVariable(Database& db, int32_t userId, std::string_view section, std::string_view key,
                     std::string_view value) {
  auto row = db.Prepare(
      "INSERT INTO user_vars (user_id, section, key, value) VALUES (?1, ?2, ?3, ?4) "
      "ON CONFLICT (user_id, section, key) DO UPDATE SET value = excluded.value");
  row->Bind(1, userId).Bind(2, section).Bind(3, key).Bind(4, value);
  row->Run();
}

}  // namespace obrix::board
