// The board's conferences: count, walk, descriptions and per-user flags.
#include "board/board.h"
#include "board/board_impl.h"
#include "board/tables.h"

namespace obrix::board {

namespace {

// The first conference after `after` that the user may read and whose
// flags for him share a bit with `mask`; -1 when there is none.
int32_t NextOffered(Database& db, int32_t user, int64_t after, uint32_t mask) {
  auto row = db.Prepare(
      "SELECT c.number FROM conferences c "
      "LEFT JOIN conf_flags f ON f.user_id = ?1 AND f.conference = c.number "
      "WHERE c.number > ?2 "
      "AND (c.restricted = 0 OR EXISTS (SELECT 1 FROM conf_readers r "
      "WHERE r.conference = c.number AND r.user_id = ?1)) "
      "AND (COALESCE(f.flags, c.default_flags) & ?3) != 0 "
      "ORDER BY c.number LIMIT 1");
  row->Bind(1, user).Bind(2, after).Bind(3, static_cast<int64_t>(mask));
  return row->Step() ? static_cast<int32_t>(row->Int(0)) : -1;
}

}  // namespace

int32_t Board::GetConferenceCount() {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    auto row = impl.Connected("GetConferenceCount")
                   .Prepare("SELECT COALESCE(MAX(number) + 1, 0) FROM conferences");
    return impl.Succeed(row->Step() ? static_cast<int32_t>(row->Int(0)) : 0);
  });
}

int32_t Board::GetFirstConference(int32_t /*kind*/, uint32_t mask) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("GetFirstConference");
    const int32_t first = NextOffered(*impl.db, user, -1, mask);
    return first < 0 ? impl.Fail(kServerNotFound, first) : impl.Succeed(first);
  });
}

int32_t Board::GetNextConference(int32_t /*kind*/, uint32_t mask, int32_t current) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("GetNextConference");
    const int32_t next = NextOffered(*impl.db, user, current, mask);
    return next < 0 ? impl.Fail(kServerNotFound, next) : impl.Succeed(next);
  });
}

bool Board::vbGetConfDesc(int32_t conference, ConfDescRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("vbGetConfDesc");
    record.number = conference;
    record.name.Clear();
    record.mode = 0;
    record.objectId = 0;
    // The access and the description in one statement.
    auto row = db.Prepare(
        "SELECT name, mode, restricted, EXISTS (SELECT 1 FROM conf_readers WHERE "
        "conference = ?1 AND user_id = ?2) FROM conferences WHERE number = ?1");
    row->Bind(1, conference).Bind(2, impl.userId);
    const ConferenceAccess access = row->Step()
                                        ? impl.AccessFrom(row->Int(2) != 0, row->Int(3) != 0)
                                        : ConferenceAccess::kMissing;
    if (access != ConferenceAccess::kReadable) {
      impl.RecordRefusal(access);
      return false;
    }
    record.name.Set(row->Text(0));
    record.mode = static_cast<int32_t>(row->Int(1));
    record.objectId = kConferenceObjectBase + static_cast<uint32_t>(conference);
    return impl.Succeed(true);
  });
}

uint32_t Board::GetConfFlags(int32_t conference) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("GetConfFlags");
    const ConferenceAccess access = impl.AccessTo(conference);
    if (access != ConferenceAccess::kReadable) {
      impl.RecordRefusal(access);
      return 0u;
    }
    return impl.Succeed(ConferenceFlags(*impl.db, user, conference).value_or(0u));
  });
}

bool Board::SetConfFlags(int32_t conference, uint32_t flags) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("SetConfFlags");
    Transaction transaction(*impl.db);
    const ConferenceAccess access = impl.AccessTo(conference);
    if (access != ConferenceAccess::kReadable) {
      impl.RecordRefusal(access);
      return false;
    }
    PutConferenceFlags(*impl.db, user, conference, flags);
    transaction.Commit();
    return impl.Succeed(true);
  });
}

}  // namespace obrix::board
