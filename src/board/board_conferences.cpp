// The board's conferences: count, walk, descriptions and per-user flags.
#include <algorithm>
#include <map>
#include <string>

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

// The first conference after `after` in `states` that the user may read
// and whose flags share a bit with `mask`; -1 when there is none.
int32_t NextOffered(const std::map<int32_t, ConferenceState>& states, int64_t after,
                    uint32_t mask) {
  for (auto it = states.upper_bound(static_cast<int32_t>(std::max<int64_t>(after, INT32_MIN)));
       it != states.end(); ++it) {
    if (it->second.readable && (it->second.flags & mask) != 0) return it->first;
  }
  return -1;
}

// The highest visible message of conference c by `order` (number or id),
// as a subquery for the conference states.
std::string Highest(const char* column, const char* order) {
  return std::string("COALESCE((SELECT ") + column +
         " FROM messages m WHERE m.conference = c.number AND (m.private = 0 OR m.from_id = ?1 "
         "OR m.to_id = ?1) ORDER BY " +
         order + " DESC LIMIT 1), 0)";
}

}  // namespace

const std::map<int32_t, ConferenceState>* Board::Impl::Conferences() {
  if (!ReadsAhead() || login != Login::kUser) return nullptr;
  const uint64_t snapshot = db->ReadAheadSnapshot();
  if (conferences.snapshot == snapshot && conferences.user == userId) {
    return &conferences.byNumber;
  }
  static const std::string sql =
      "SELECT c.number, c.name, c.mode, c.restricted = 0 OR EXISTS (SELECT 1 FROM conf_readers r "
      "WHERE r.conference = c.number AND r.user_id = ?1), COALESCE(f.flags, c.default_flags), "
      "COALESCE(l.message_id, 0), " +
      Highest("m.number", "m.number") + ", " + Highest("m.id", "m.number") + ", " +
      Highest("m.id", "m.id") +
      " FROM conferences c LEFT JOIN conf_flags f ON f.user_id = ?1 AND f.conference = c.number "
      "LEFT JOIN last_read l ON l.user_id = ?1 AND l.conference = c.number";
  ConferenceStates read;
  auto row = db->Prepare(sql);
  row->Bind(1, userId);
  while (row->Step()) {
    ConferenceState& state = read.byNumber[static_cast<int32_t>(row->Int(0))];
    state.name = row->Text(1);
    state.mode = static_cast<int32_t>(row->Int(2));
    state.readable = row->Int(3) != 0;
    state.flags = static_cast<uint32_t>(row->Int(4));
    state.lastRead = static_cast<int32_t>(row->Int(5));
    state.highNumber = static_cast<int32_t>(row->Int(6));
    state.highNumberId = static_cast<int32_t>(row->Int(7));
    state.lastId = row->Int(8);
  }
  read.snapshot = snapshot;
  read.user = userId;
  conferences = std::move(read);
  return &conferences.byNumber;
}

bool Board::Impl::KnownConference(int32_t conference, const ConferenceState*& state) {
  const auto* states = Conferences();
  if (!states) return false;
  const auto found = states->find(conference);
  state = found == states->end() ? nullptr : &found->second;
  return true;
}

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
    const auto* states = impl.Conferences();
    const int32_t first =
        states ? NextOffered(*states, -1, mask) : NextOffered(*impl.db, user, -1, mask);
    return first < 0 ? impl.Fail(kServerNotFound, first) : impl.Succeed(first);
  });
}

int32_t Board::GetNextConference(int32_t /*kind*/, uint32_t mask, int32_t current) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("GetNextConference");
    const auto* states = impl.Conferences();
    const int32_t next =
        states ? NextOffered(*states, current, mask) : NextOffered(*impl.db, user, current, mask);
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
    const ConferenceState* state = nullptr;
    if (impl.KnownConference(conference, state)) {
      if (!state || !state->readable) {
        impl.RecordRefusal(state ? ConferenceAccess::kDenied : ConferenceAccess::kMissing);
        return false;
      }
      record.name.Set(state->name);
      record.mode = state->mode;
      record.objectId = kConferenceObjectBase + static_cast<uint32_t>(conference);
      return impl.Succeed(true);
    }
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
    const ConferenceState* state = nullptr;
    if (impl.KnownConference(conference, state)) return impl.Succeed(state->flags);
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
