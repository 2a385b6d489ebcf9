// Changing and removing messages and conferences on a live board. Every
// change runs in one write transaction, so the nodes see it whole or not
// at all. The unread chains need no repair: the board finds them from the
// messages that exist. The last-read pointers are kept naming messages.
#include <stdexcept>
#include <utility>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"
#include "board/message_store.h"

namespace obrix::board {

using admin::CheckLength;
using admin::RequireConference;
using admin::RequireUser;
using admin::WriteScope;

namespace {

int64_t Count(Database& db, const char* sql, int64_t key) {
  auto count = db.Prepare(sql);
  count->Bind(1, key);
  return count->Step() ? count->Int(0) : 0;
}

void Run(Database& db, const char* sql, int64_t key) {
  auto statement = db.Prepare(sql);
  statement->Bind(1, key);
  statement->Run();
}

// The conference of message `id`; raises invalid_argument when there is none.
int32_t ConferenceOf(Database& db, int32_t id) {
  auto find = db.Prepare("SELECT conference FROM messages WHERE id = ?");
  find->Bind(1, int64_t{id});
  if (!find->Step()) throw std::invalid_argument("no message " + Decimal(id));
  return static_cast<int32_t>(find->Int(0));
}

// Moves the pointers that name message `id` of `conference` (deleted) to
// the message before it, 0 when none is left before it.
void StepPointersBack(Database& db, int32_t conference, int32_t id) {
  auto update = db.Prepare(
      "UPDATE last_read SET message_id = coalesce((SELECT max(id) FROM messages"
      " WHERE conference = ?1 AND id < ?2), 0) WHERE conference = ?1 AND message_id = ?2");
  update->Bind(1, int64_t{conference}).Bind(2, int64_t{id});
  update->Run();
}

void ReplaceReaders(Database& db, int32_t number, const std::vector<std::string>& readers) {
  std::vector<int32_t> ids;
  ids.reserve(readers.size());
  for (const std::string& reader : readers) ids.push_back(RequireUser(db, reader).id);
  Run(db, "DELETE FROM conf_readers WHERE conference = ?", number);
  for (const int32_t id : ids) {
    auto insert = db.Prepare(
        "INSERT INTO conf_readers (conference, user_id) VALUES (?, ?) ON CONFLICT DO NOTHING");
    insert->Bind(1, int64_t{number}).Bind(2, int64_t{id});
    insert->Run();
  }
  auto restrict = db.Prepare("UPDATE conferences SET restricted = ? WHERE number = ?");
  restrict->Bind(1, int64_t{ids.empty() ? 0 : 1}).Bind(2, int64_t{number});
  restrict->Run();
}

}  // namespace

void BoardAdmin::DeleteMessages(const std::vector<int32_t>& ids) {
  WriteScope scope(db_);
  std::vector<std::pair<int32_t, int32_t>> deleted;  // conference, id
  deleted.reserve(ids.size());
  for (const int32_t id : ids) deleted.emplace_back(ConferenceOf(db_, id), id);
  for (const auto& [conference, id] : deleted) {
    Run(db_, "DELETE FROM server_files WHERE message_id = ?", id);
    Run(db_, "DELETE FROM messages WHERE id = ?", id);
  }
  // After all are gone, so that a pointer steps back past every one.
  for (const auto& [conference, id] : deleted) StepPointersBack(db_, conference, id);
  scope.Commit();
}

void BoardAdmin::EditMessage(int32_t id, const MessageEdit& edit) {
  if (edit.subject) CheckLength("subject", *edit.subject, admin::kSubjectWidth);
  WriteScope scope(db_);
  ConferenceOf(db_, id);
  if (edit.subject) {
    auto update = db_.Prepare("UPDATE messages SET subject = ? WHERE id = ?");
    update->Bind(1, *edit.subject).Bind(2, int64_t{id});
    update->Run();
  }
  if (edit.text) {
    auto update = db_.Prepare("UPDATE messages SET text = ?, text_hash = ? WHERE id = ?");
    update->BindBlob(1, *edit.text).Bind(2, MessageTextHash(*edit.text)).Bind(3, int64_t{id});
    update->Run();
  }
  if (edit.isPrivate) {
    auto update = db_.Prepare("UPDATE messages SET private = ? WHERE id = ?");
    update->Bind(1, int64_t{*edit.isPrivate ? 1 : 0}).Bind(2, int64_t{id});
    update->Run();
  }
  scope.Commit();
}

void BoardAdmin::EditConference(int32_t number, const ConferenceEdit& edit) {
  if (edit.name) {
    if (Trim(*edit.name).empty())
      throw std::invalid_argument("a conference name must not be empty");
    CheckLength("conference name", *edit.name, admin::kConferenceNameWidth);
  }
  if (edit.mode) admin::CheckConferenceMode(*edit.mode);
  WriteScope scope(db_);
  RequireConference(db_, number);
  if (edit.mode) {
    auto update = db_.Prepare("UPDATE conferences SET mode = ? WHERE number = ?");
    update->Bind(1, int64_t{*edit.mode}).Bind(2, int64_t{number});
    update->Run();
  }
  if (edit.name) {
    auto update = db_.Prepare("UPDATE conferences SET name = ? WHERE number = ?");
    update->Bind(1, *edit.name).Bind(2, int64_t{number});
    update->Run();
  }
  if (edit.defaultFlags) {
    auto update = db_.Prepare("UPDATE conferences SET default_flags = ? WHERE number = ?");
    update->Bind(1, int64_t{*edit.defaultFlags}).Bind(2, int64_t{number});
    update->Run();
  }
  if (edit.readers) ReplaceReaders(db_, number, *edit.readers);
  scope.Commit();
}

void BoardAdmin::DeleteConference(int32_t number, bool withMessages) {
  WriteScope scope(db_);
  RequireConference(db_, number);
  const int64_t messages = Count(db_, "SELECT count(*) FROM messages WHERE conference = ?", number);
  if (messages > 0 && !withMessages) {
    throw std::invalid_argument("conference " + Decimal(number) + " holds " + Decimal(messages) +
                                " messages; give --with-messages to delete them with it");
  }
  static constexpr const char* kAttachments =
      "DELETE FROM server_files WHERE message_id IN"
      " (SELECT id FROM messages WHERE conference = ?)";
  for (const char* sql :
       {kAttachments, "DELETE FROM messages WHERE conference = ?",
        "DELETE FROM conf_flags WHERE conference = ?", "DELETE FROM last_read WHERE conference = ?",
        "DELETE FROM conf_readers WHERE conference = ?",
        "DELETE FROM conferences WHERE number = ?"}) {
    Run(db_, sql, number);
  }
  scope.Commit();
}

}  // namespace obrix::board
