// Conferences and messages as the sysop makes them.
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"
#include "board/message_store.h"
#include "platform/clock.h"
#include "server/server_path.h"

namespace obrix::board {

using admin::CheckLength;
using admin::ConferenceExists;
using admin::RequireConference;
using admin::RequireUser;
using admin::WriteScope;

namespace {

void CheckConferenceNumber(int32_t number) {
  if (number < 0 || number > admin::kHighestConference) {
    throw std::invalid_argument("conference number " + Decimal(number) + " is outside 0.." +
                                Decimal(admin::kHighestConference));
  }
}

MessageSummary ReadSummary(Statement& row) {
  MessageSummary m;
  m.id = static_cast<int32_t>(row.Int(0));
  m.conference = static_cast<int32_t>(row.Int(1));
  m.number = static_cast<int32_t>(row.Int(2));
  m.from = row.Text(3);
  m.to = row.Text(4);
  m.subject = row.Text(5);
  m.isPrivate = row.Int(6) != 0;
  m.received = row.Int(7) != 0;
  m.receiptRequested = row.Int(8) != 0;
  m.reference = static_cast<int32_t>(row.Int(9));
  m.messageTime = FILETIME::FromTicks(static_cast<uint64_t>(row.Int(10)));
  m.fromId = static_cast<int32_t>(row.Int(11));
  m.toId = static_cast<int32_t>(row.Int(12));
  return m;
}

constexpr const char* kSummaryColumns =
    "id, conference, number, from_name, to_name, subject, private, received,"
    " receipt_requested, reference, message_time, from_id, to_id";
}  // namespace

namespace admin {

void CheckConferenceMode(int32_t mode) {
  if (mode < 0 || mode > 7) {
    throw std::invalid_argument("conference mode " + Decimal(mode) + " is outside 0..7");
  }
}

}  // namespace admin

void BoardAdmin::AddConference(int32_t number, const std::string& name, uint32_t defaultFlags,
                               const std::vector<std::string>& readers, int32_t mode) {
  CheckConferenceNumber(number);
  admin::CheckConferenceMode(mode);
  if (Trim(name).empty()) throw std::invalid_argument("a conference name must not be empty");
  CheckLength("conference name", name, admin::kConferenceNameWidth);
  WriteScope scope(db_);
  if (ConferenceExists(db_, number)) {
    throw std::invalid_argument("conference " + Decimal(number) + " already exists");
  }
  std::vector<int32_t> readerIds;
  readerIds.reserve(readers.size());
  for (const std::string& reader : readers) readerIds.push_back(RequireUser(db_, reader).id);
  {
    auto insert = db_.Prepare(
        "INSERT INTO conferences (number, name, default_flags, restricted, mode)"
        " VALUES (?, ?, ?, ?, ?)");
    insert->Bind(1, int64_t{number})
        .Bind(2, name)
        .Bind(3, int64_t{defaultFlags})
        .Bind(4, int64_t{readerIds.empty() ? 0 : 1})
        .Bind(5, int64_t{mode});
    insert->Run();
  }
  for (const int32_t id : readerIds) {
    auto insert = db_.Prepare(
        "INSERT INTO conf_readers (conference, user_id) VALUES (?, ?) ON CONFLICT DO NOTHING");
    insert->Bind(1, int64_t{number}).Bind(2, int64_t{id});
    insert->Run();
  }
  scope.Commit();
}

std::vector<ConferenceSummary> BoardAdmin::ListConferences() {
  std::vector<ConferenceSummary> out;
  {
    auto list = db_.Prepare(
        "SELECT c.number, c.name, c.default_flags,"
        " (SELECT count(*) FROM messages m WHERE m.conference = c.number), c.mode"
        " FROM conferences c ORDER BY c.number");
    while (list->Step()) {
      ConferenceSummary conference;
      conference.number = static_cast<int32_t>(list->Int(0));
      conference.name = list->Text(1);
      conference.defaultFlags = static_cast<uint32_t>(list->Int(2));
      conference.messageCount = static_cast<int32_t>(list->Int(3));
      conference.mode = static_cast<int32_t>(list->Int(4));
      out.push_back(std::move(conference));
    }
  }
  for (ConferenceSummary& conference : out) {
    auto readers = db_.Prepare(
        "SELECT u.name FROM conf_readers r JOIN users u ON u.id = r.user_id"
        " WHERE r.conference = ? ORDER BY u.name");
    readers->Bind(1, int64_t{conference.number});
    while (readers->Step()) conference.readers.push_back(readers->Text(0));
  }
  return out;
}

// ---------------------------------------------------------------------------
// Messages

PostResult BoardAdmin::Post(const PostRequest& request) {
  if (Trim(request.from).empty()) throw std::invalid_argument("a message needs a sender");
  if (Trim(request.to).empty()) throw std::invalid_argument("a message needs an addressee");
  CheckLength("sender name", request.from, admin::kUserNameWidth);
  CheckLength("addressee name", request.to, admin::kUserNameWidth);
  CheckLength("subject", request.subject, admin::kSubjectWidth);

  StoredMessage message;
  message.conference = request.conference;
  message.subject = request.subject;
  message.isPrivate = request.isPrivate;
  message.receiptRequested = request.receipt;
  message.reference = request.reference;
  message.entryTime = LocalNowFileTime().Ticks();
  message.messageTime = request.date ? request.date->Ticks() : message.entryTime;
  message.text = request.text;

  WriteScope scope(db_);
  if (const auto from = admin::FindUser(db_, request.from)) {
    message.fromId = from->id;
    message.fromName = from->name;
    message.fromTitle = from->title;
  } else {
    message.fromName = request.from;
  }
  if (const auto to = admin::FindUser(db_, request.to)) {
    message.toId = to->id;
    message.toName = to->name;
    message.toTitle = to->title;
  } else {
    message.toName = request.to;
  }
  const PostResult result = StoreMessage(db_, message);
  scope.Commit();
  return result;
}

std::vector<MessageSummary> BoardAdmin::ListMessages(std::optional<int32_t> conference,
                                                     std::optional<std::string> user) {
  std::optional<int32_t> userId;
  if (user) userId = RequireUser(db_, *user).id;
  if (conference) RequireConference(db_, *conference);
  // One statement per filter, so that each uses its index.
  std::string sql = std::string("SELECT ") + kSummaryColumns + " FROM messages";
  if (conference && userId) {
    sql += " WHERE conference = ?1 AND (from_id = ?2 OR to_id = ?2)";
  } else if (conference) {
    sql += " WHERE conference = ?1";
  } else if (userId) {
    sql += " WHERE from_id = ?1 OR to_id = ?1";
  }
  sql += " ORDER BY id";
  auto list = db_.Prepare(sql);
  if (conference) list->Bind(1, int64_t{*conference});
  if (userId) list->Bind(conference ? 2 : 1, int64_t{*userId});
  std::vector<MessageSummary> out;
  while (list->Step()) out.push_back(ReadSummary(*list));
  return out;
}

std::optional<MessageSummary> BoardAdmin::Show(int32_t id) {
  auto read =
      db_.Prepare(std::string("SELECT ") + kSummaryColumns + ", text FROM messages WHERE id = ?");
  read->Bind(1, int64_t{id});
  if (!read->Step()) return std::nullopt;
  MessageSummary message = ReadSummary(*read);
  message.text = read->Text(13);
  return message;
}

void BoardAdmin::Attach(int32_t messageId, const std::string& bytes) {
  WriteScope scope(db_);
  int32_t conference = 0;
  {
    auto find = db_.Prepare("SELECT conference FROM messages WHERE id = ?");
    find->Bind(1, int64_t{messageId});
    if (!find->Step()) throw std::invalid_argument("no message " + Decimal(messageId));
    conference = static_cast<int32_t>(find->Int(0));
  }
  const std::string path = AttachmentPath(conference, messageId);
  auto put = db_.Prepare(
      "INSERT INTO server_files (path_key, path, message_id, data) VALUES (?, ?, ?, ?)"
      " ON CONFLICT (path_key) DO UPDATE SET path = excluded.path,"
      " message_id = excluded.message_id, data = excluded.data");
  put->Bind(1, ToUpper(path)).Bind(2, path).Bind(3, int64_t{messageId}).BindBlob(4, bytes);
  put->Run();
  scope.Commit();
}

}  // namespace obrix::board
