// The board's messages: numbers and ids, pointers, the unread chain,
// reading, posting and marking read. Every read applies the visibility
// rule of board_impl.h: a message the viewer may not see behaves as absent.
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "board/board.h"
#include "board/board_impl.h"
#include "board/deliveries.h"
#include "board/message_store.h"
#include "board/tables.h"
#include "platform/clock.h"
#include "server/server_path.h"

namespace obrix::board {

void FillMessage(const Statement& row, MessageRecord& record) {
  auto ticks = [&](int column) {
    return FILETIME::FromTicks(static_cast<uint64_t>(row.Int(column)));
  };
  auto flag = [&](int column) { return row.Int(column) != 0 ? kTrue32 : kFalse32; };
  record.id = static_cast<int32_t>(row.Int(0));
  record.conference = static_cast<int32_t>(row.Int(1));
  record.number = static_cast<int32_t>(row.Int(2));
  record.from.id = static_cast<int32_t>(row.Int(3));
  record.from.name.Set(row.Text(4));
  record.from.title.Set(row.Text(5));
  record.to.id = static_cast<int32_t>(row.Int(6));
  record.to.name.Set(row.Text(7));
  record.to.title.Set(row.Text(8));
  record.subject.Set(row.Text(9));
  record.isPrivate = flag(10);
  record.received = flag(11);
  record.receiptRequested = flag(12);
  record.reference = static_cast<int32_t>(row.Int(13));
  record.entryTime = ticks(14);
  record.messageTime = ticks(15);
  record.readTime = ticks(16);
  record.UploaderIdText.Set(row.Text(17));
  record.textLength = static_cast<int32_t>(row.Int(18));
}

namespace {

std::string Sql(std::string_view head, std::string_view tail) {
  return std::string(head) + std::string(tail);
}

// The unread link of message m, the next one (`order` ">") or the previous
// one ("<") addressed to its addressee and visible to the viewer; 0 for a
// message to nobody in particular.
std::string UnreadLink(const char* order, const char* direction) {
  return std::string(
             "CASE WHEN m.to_id = 0 THEN 0 ELSE COALESCE((SELECT n.id FROM messages n "
             "WHERE n.to_id = m.to_id AND n.conference = m.conference AND n.id ") +
         order + " m.id AND (?2 OR n.private = 0 OR n.from_id = ?1 OR n.to_id = ?1) " +
         "ORDER BY n.id" + direction + " LIMIT 1), 0) END";
}

// The visible messages of conference ?3 against the id bound at ?4 for the
// viewer, with their unread links after kMessageColumns (and their texts
// before the links when `withText`).
std::string VisibleMessages(const char* test, bool withText, const std::string& tail) {
  return std::string("SELECT ") + kMessageColumns + (withText ? ", text, " : ", ") +
         UnreadLink(">", "") + ", " + UnreadLink("<", " DESC") +
         " FROM messages m WHERE conference = ?3 AND " + test + " AND " + kVisible + tail;
}

// The visible-message query for `pick`, unread links included.
const std::string& MessageQuery(MessagePick pick) {
  static const std::string exact = VisibleMessages("id = ?4", false, "");
  static const std::string atLeast = VisibleMessages("id >= ?4", false, " ORDER BY id LIMIT 1");
  static const std::string after = VisibleMessages("id > ?4", false, " ORDER BY id LIMIT 1");
  switch (pick) {
    case MessagePick::kExact:
      return exact;
    case MessagePick::kAtLeast:
      return atLeast;
    case MessagePick::kAfter:
      break;
  }
  return after;
}

// A page of the visible messages of conference ?3 after id ?4 for the
// viewer, with their texts and unread links.
const std::string& PageQuery() {
  static const std::string sql =
      VisibleMessages("id > ?4", true, " ORDER BY id LIMIT " + std::to_string(kReadAheadPage));
  return sql;
}

constexpr uint64_t kLastValidTime = 0x7FFFFFFFFFFFFFFFull;

// The message that vbAddMessage stores for a record: the fill after the
// names, titles and subject removed, a zero entry time taken as now and a
// zero message time as the entry time.
StoredMessage ToStored(const MessageRecord& record, const std::string& text) {
  StoredMessage message;
  message.conference = record.conference;
  message.fromId = record.from.id;
  message.fromName = WithoutFill(record.from.name.View());
  message.fromTitle = WithoutFill(record.from.title.View());
  message.toId = record.to.id;
  message.toName = WithoutFill(record.to.name.View());
  message.toTitle = WithoutFill(record.to.title.View());
  message.subject = WithoutFill(record.subject.View());
  message.isPrivate = record.isPrivate != 0;
  message.receiptRequested = record.receiptRequested != 0;
  message.reference = record.reference;
  message.entryTime =
      record.entryTime.IsZero() ? LocalNowFileTime().Ticks() : record.entryTime.Ticks();
  message.messageTime =
      record.messageTime.IsZero() ? message.entryTime : record.messageTime.Ticks();
  message.uploaderIdText = WithoutFill(record.UploaderIdText.View());
  message.text = text;
  return message;
}

// The checks of a message that need no look-up: a conference number, both
// names, valid times.
bool HasValidFields(const StoredMessage& message) {
  return message.conference >= 0 && !message.fromName.empty() && !message.toName.empty() &&
         message.entryTime <= kLastValidTime && message.messageTime <= kLastValidTime;
}

// StoreCheckedMessage's checks asked one by one, the duplicate check
// exactly: why a message was refused, or that it was no duplicate after
// all; nullopt when the conference does not exist.
struct Placement {
  int64_t number = 0;  // the conference's next message number
  bool duplicate = false;
  bool restricted = false;
  bool reader = false;      // the viewer is among the conference's readers
  bool knownUsers = false;  // a non-zero sender or addressee id names a user
};

// A duplicate is the same sender, addressee, subject and text, with the
// same date and time unless `anyTime` (?8 NULL).
std::optional<Placement> Place(Database& db, int64_t viewer, const StoredMessage& message,
                               bool anyTime) {
  auto row = db.Prepare(
      "SELECT next_number, EXISTS (SELECT 1 FROM messages WHERE conference = ?1 "
      "AND text_hash = ?2 AND from_id = ?3 "
      "AND CAST(from_name AS BLOB) = CAST(?4 AS BLOB) AND CAST(to_name AS BLOB) = CAST(?5 AS BLOB) "
      "AND CAST(subject AS BLOB) = CAST(?6 AS BLOB) AND CAST(text AS BLOB) = CAST(?7 AS BLOB) "
      "AND (message_time = ?8 OR ?8 IS NULL)), restricted, "
      "EXISTS (SELECT 1 FROM conf_readers WHERE conference = ?1 AND user_id = ?9), "
      "(?3 = 0 OR EXISTS (SELECT 1 FROM users WHERE id = ?3)) "
      "AND (?10 = 0 OR EXISTS (SELECT 1 FROM users WHERE id = ?10)) "
      "FROM conferences WHERE number = ?1");
  row->Bind(1, message.conference).Bind(2, MessageTextHash(message.text));
  row->Bind(3, message.fromId).Bind(4, message.fromName).Bind(5, message.toName);
  row->Bind(6, message.subject).BindBlob(7, message.text);
  if (anyTime) {
    row->BindNull(8);
  } else {
    row->Bind(8, static_cast<int64_t>(message.messageTime));
  }
  row->Bind(9, viewer).Bind(10, message.toId);
  if (!row->Step()) return std::nullopt;
  return Placement{row->Int(0), row->Int(1) != 0, row->Int(2) != 0, row->Int(3) != 0,
                   row->Int(4) != 0};
}

}  // namespace

bool Board::Impl::Readable(int32_t conference) {
  const ConferenceAccess access = AccessTo(conference);
  if (access == ConferenceAccess::kReadable) return true;
  RecordRefusal(access);
  return false;
}

bool Board::Impl::FromPage(int32_t conference, int64_t after,
                           const MessagePage::Entry*& found) const {
  if (page.snapshot == 0 || page.snapshot != db->ReadAheadSnapshot() ||
      page.conference != conference || page.viewer != ViewerId() || after < page.after) {
    return false;
  }
  // A page cut short at kReadAheadPage tells nothing past its last id.
  if (!page.complete && (page.messages.empty() || after >= page.messages.back().record.id)) {
    return false;
  }
  const auto next = std::upper_bound(
      page.messages.begin(), page.messages.end(), after,
      [](int64_t id, const MessagePage::Entry& entry) { return id < entry.record.id; });
  found = next == page.messages.end() ? nullptr : &*next;
  return true;
}

void Board::Impl::ReadPage(int32_t conference, int64_t after) {
  page = MessagePage{};
  MessagePage read;
  read.conference = conference;
  read.viewer = ViewerId();
  read.after = after;
  auto row = db->Prepare(PageQuery());
  row->Bind(1, ViewerId()).Bind(2, ViewerIsSystem()).Bind(3, conference).Bind(4, after);
  constexpr int kText = kMessageColumnCount;
  while (row->Step()) {
    MessagePage::Entry& entry = read.messages.emplace_back();
    FillMessage(*row, entry.record);
    entry.text = row->Text(kText);
    entry.record.nextUnread = static_cast<int32_t>(row->Int(kText + 1));
    entry.record.prevUnread = static_cast<int32_t>(row->Int(kText + 2));
  }
  read.complete = read.messages.size() < static_cast<size_t>(kReadAheadPage);
  read.snapshot = db->ReadAheadSnapshot();
  page = std::move(read);
}

bool Board::Impl::ReadMessage(int32_t conference, int64_t id, MessagePick pick,
                              MessageRecord& record) {
  // A message of a conference the viewer may not read is as absent as any
  // other invisible one.
  if (AccessTo(conference) != ConferenceAccess::kReadable) return Fail(kServerNotFound, false);
  if (ReadsAhead()) {
    // Every pick reads as "the first message above an id".
    const int64_t after = pick == MessagePick::kAfter ? id : id - 1;
    // Nothing above the conference's highest visible id: no page to read.
    const ConferenceState* state = nullptr;
    if (KnownConference(conference, state) && state && after >= state->lastId) {
      return Fail(kServerNotFound, false);
    }
    const MessagePage::Entry* found = nullptr;
    bool known = FromPage(conference, after, found);
    // A walk reads the next page; a single look-up outside the page does
    // not fetch one.
    if (!known && pick != MessagePick::kExact) {
      ReadPage(conference, after);
      known = FromPage(conference, after, found);
    }
    if (known) {
      if (!found || (pick == MessagePick::kExact && found->record.id != id)) {
        return Fail(kServerNotFound, false);
      }
      record = found->record;
      return Succeed(true);
    }
  }
  MessageRecord found;
  {
    auto row = db->Prepare(MessageQuery(pick));
    row->Bind(1, ViewerId()).Bind(2, ViewerIsSystem()).Bind(3, conference).Bind(4, id);
    if (!row->Step()) return Fail(kServerNotFound, false);
    FillMessage(*row, found);
    found.nextUnread = static_cast<int32_t>(row->Int(kMessageColumnCount));
    found.prevUnread = static_cast<int32_t>(row->Int(kMessageColumnCount + 1));
  }
  if (inBatch) {
    batchMessages[found.id] = ReadState{found.conference, found.to.id, found.received != 0,
                                        static_cast<int64_t>(found.readTime.Ticks())};
  }
  record = found;
  return Succeed(true);
}

std::optional<int64_t> Board::Impl::VisibleScalar(int32_t conference, const std::string& sql,
                                                  std::optional<int64_t> fourth) {
  auto row = db->Prepare(sql);
  row->Bind(1, ViewerId()).Bind(2, ViewerIsSystem()).Bind(3, conference);
  if (fourth) row->Bind(4, *fourth);
  if (!row->Step()) return std::nullopt;
  return row->Int(0);
}

int32_t Board::GetHighMessageNumber(int32_t conference) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("GetHighMessageNumber");
    if (!impl.Readable(conference)) return 0;
    static const std::string sql =
        Sql("SELECT number FROM messages WHERE conference = ?3 AND ", kVisible) +
        " ORDER BY number DESC LIMIT 1";
    // A conference without (visible) messages has the high number 0.
    const ConferenceState* state = nullptr;
    if (impl.KnownConference(conference, state)) return impl.Succeed(state->highNumber);
    return impl.Succeed(
        static_cast<int32_t>(impl.VisibleScalar(conference, sql, std::nullopt).value_or(0)));
  });
}

int32_t Board::GetMsgIdFromNumber(int32_t conference, int32_t number) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("GetMsgIdFromNumber");
    if (!impl.Readable(conference)) return 0;
    const ConferenceState* state = nullptr;
    if (impl.KnownConference(conference, state) && number == state->highNumber && number != 0) {
      return impl.Succeed(state->highNumberId);
    }
    static const std::string sql =
        Sql("SELECT id FROM messages WHERE conference = ?3 AND number = ?4 AND ", kVisible);
    const auto id = impl.VisibleScalar(conference, sql, number);
    return id ? impl.Succeed(static_cast<int32_t>(*id)) : impl.Fail(kServerNotFound, 0);
  });
}

int32_t Board::GetMsgNumberFromId(int32_t conference, int32_t id) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("GetMsgNumberFromId");
    if (!impl.Readable(conference)) return 0;
    static const std::string sql =
        Sql("SELECT number FROM messages WHERE conference = ?3 AND id <= ?4 AND ", kVisible) +
        " ORDER BY id DESC LIMIT 1";
    const auto number = impl.VisibleScalar(conference, sql, id);
    return number ? impl.Succeed(static_cast<int32_t>(*number)) : impl.Fail(kServerNotFound, 0);
  });
}

int32_t Board::GetLastRead(int32_t conference) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("GetLastRead");
    if (!impl.Readable(conference)) return 0;
    const ConferenceState* state = nullptr;
    if (impl.KnownConference(conference, state)) return impl.Succeed(state->lastRead);
    return impl.Succeed(LastRead(*impl.db, user, conference));
  });
}

bool Board::SetLastRead(int32_t conference, int32_t id) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("SetLastRead");
    if (id < 0) return impl.Fail(kServerBadRecord, false);
    Transaction transaction(*impl.db);
    if (!impl.Readable(conference)) return false;
    if (impl.notingDelivery) {
      NotePointer(*impl.db, user, conference, LastRead(*impl.db, user, conference), id);
    }
    PutLastRead(*impl.db, user, conference, id);
    transaction.Commit();
    return impl.Succeed(true);
  });
}

int32_t Board::GetFirstUnread(int32_t conference) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("GetFirstUnread");
    if (!impl.Readable(conference)) return 0;
    // Messages addressed to the user are always visible to him.
    auto row = impl.db->Prepare(
        "SELECT id FROM messages WHERE to_id = ?1 AND conference = ?2 AND received = 0 "
        "ORDER BY id LIMIT 1");
    row->Bind(1, user).Bind(2, conference);
    if (!row->Step()) return impl.Fail(kServerNotFound, 0);
    return impl.Succeed(static_cast<int32_t>(row->Int(0)));
  });
}

bool Board::vbGetMessageById(int32_t conference, int32_t id, MessageRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("vbGetMessageById");
    return impl.ReadMessage(conference, id, MessagePick::kExact, record);
  });
}

bool Board::vbSearchMessageById(int32_t conference, int32_t id, MessageRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("vbSearchMessageById");
    return impl.ReadMessage(conference, id, MessagePick::kAtLeast, record);
  });
}

bool Board::vbGetNextMessage(MessageRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    impl.LoggedIn("vbGetNextMessage");
    return impl.ReadMessage(record.conference, record.id, MessagePick::kAfter, record);
  });
}

std::string Board::vbGetText(const std::string& path) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("vbGetText");
    const auto target = ParseMessagePath(path);
    if (!target) return impl.Fail(kServerNotFound, std::string());
    if (impl.AccessTo(target->conference) != ConferenceAccess::kReadable) {
      return impl.Fail(kServerNotFound, std::string());
    }
    const MessagePage::Entry* found = nullptr;
    if (impl.ReadsAhead() && impl.FromPage(target->conference, int64_t{target->id} - 1, found)) {
      if (!found || found->record.id != target->id)
        return impl.Fail(kServerNotFound, std::string());
      return impl.Succeed(found->text);
    }
    static const std::string sql =
        Sql("SELECT text FROM messages WHERE conference = ?3 AND id = ?4 AND ", kVisible);
    auto row = db.Prepare(sql);
    row->Bind(1, impl.ViewerId()).Bind(2, impl.ViewerIsSystem());
    row->Bind(3, target->conference).Bind(4, target->id);
    if (!row->Step()) return impl.Fail(kServerNotFound, std::string());
    return impl.Succeed(row->Text(0));
  });
}

bool Board::vbAddMessage(MessageRecord& record, const std::string& text) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("vbAddMessage");
    const StoredMessage message = ToStored(record, text);
    if (!HasValidFields(message)) return impl.Fail(kServerBadRecord, false);

    // A record without a date of its own is dated now, and a second upload
    // of it must still be recognised as a duplicate.
    const bool anyTime = record.messageTime.IsZero() && record.entryTime.IsZero();
    Transaction transaction(db);
    std::optional<PostResult> stored =
        StoreCheckedMessage(db, message, PostingCheck{impl.IsSystem(), impl.userId, anyTime});
    if (!stored) {
      const std::optional<Placement> place = Place(db, impl.userId, message, anyTime);
      const ConferenceAccess access =
          place ? impl.AccessFrom(place->restricted, place->reader) : ConferenceAccess::kMissing;
      if (access != ConferenceAccess::kReadable) {
        impl.RecordRefusal(access);
        return false;
      }
      if (!place->knownUsers) return impl.Fail(kServerBadRecord, false);
      if (place->duplicate) return impl.Fail(kServerDuplicate, false);
      try {
        stored = StoreNumberedMessage(db, message, place->number);
      } catch (const std::invalid_argument&) {
        return impl.Fail(kServerNotFound, false);
      }
    }
    if (impl.notingDelivery && impl.login == Login::kUser) {
      NoteMessage(db, impl.userId, stored->id, DeliveredMessage::kReceipt);
    }
    transaction.Commit();
    record.id = stored->id;
    record.number = stored->number;
    record.entryTime = FILETIME::FromTicks(message.entryTime);
    record.messageTime = FILETIME::FromTicks(message.messageTime);
    record.textLength = static_cast<int32_t>(text.size());
    return impl.Succeed(true);
  });
}

bool Board::vbMarkMessageRead(MessageRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("vbMarkMessageRead");
    Transaction transaction(*impl.db);
    if (impl.AccessTo(record.conference) != ConferenceAccess::kReadable) {
      return impl.Fail(kServerNotFound, false);
    }
    Impl::ReadState state;
    // A message the batch read is as it was read: the batch holds the
    // board's write lock.
    const auto known = impl.batchMessages.find(record.id);
    if (impl.inBatch && known != impl.batchMessages.end() &&
        known->second.conference == record.conference) {
      state = known->second;
    } else {
      auto row = impl.db->Prepare(
          "SELECT to_id, received, read_time FROM messages WHERE id = ?1 AND conference = ?2");
      row->Bind(1, record.id).Bind(2, record.conference);
      if (!row->Step()) return impl.Fail(kServerNotFound, false);
      state = Impl::ReadState{record.conference, static_cast<int32_t>(row->Int(0)),
                              row->Int(1) != 0, row->Int(2)};
    }
    if (state.addressee != user) return impl.Fail(kServerAccessDenied, false);
    const bool received = state.received;
    int64_t readTime = state.readTime;
    if (!received) {
      readTime = static_cast<int64_t>(LocalNowFileTime().Ticks());
      auto row = impl.db->Prepare("UPDATE messages SET received = 1, read_time = ?2 WHERE id = ?1");
      row->Bind(1, record.id).Bind(2, readTime);
      row->RunLater();
      if (impl.notingDelivery) {
        NoteMessage(*impl.db, user, record.id, DeliveredMessage::kMarkedRead);
      }
    }
    transaction.Commit();
    if (impl.inBatch) {
      impl.batchMessages[record.id] = Impl::ReadState{record.conference, user, true, readTime};
    }
    record.received = kTrue32;
    record.readTime = FILETIME::FromTicks(static_cast<uint64_t>(readTime));
    return impl.Succeed(true);
  });
}

}  // namespace obrix::board
