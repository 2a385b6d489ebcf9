// The board's private state, shared by the files that implement Board:
// board.cpp (connection, log-in, users, configuration), board_conferences.cpp,
// board_messages.cpp and board_files.cpp (file areas and server files).
//
// One Impl is one connection and one context. Who is logged in decides what
// every read sees: SYSTEM sees everything, a user sees what docs/board.md
// calls visible. Operations record their outcome in `lastError` (0 after a
// success, a ServerError code after a refusal) and raise Failure for a
// failure of the database itself.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "board/board.h"
#include "board/database.h"

namespace obrix::board {

enum class Login { kNobody, kSystem, kUser };

// What the logged-in viewer may do with a conference.
enum class ConferenceAccess { kMissing, kDenied, kReadable };

// Which message a read picks relative to an id: that one, the first at or
// after it, the first after it.
enum class MessagePick { kExact, kAtLeast, kAfter };

// A server file opened with WcCreateFile: the row that holds it and how
// far it has been read.
struct OpenServerFile {
  int64_t row = 0;
  int64_t offset = 0;
};

// The column list that FillMessage reads, in its order.
inline constexpr const char* kMessageColumns =
    "id, conference, number, from_id, from_name, from_title, to_id, to_name, to_title, subject, "
    "private, received, receipt_requested, reference, entry_time, message_time, read_time, "
    "uploader_id_text, "
    "CASE typeof(text) WHEN 'blob' THEN length(text) ELSE length(CAST(text AS BLOB)) END";
inline constexpr int kMessageColumnCount = 19;

// The visibility test of a message row for the viewer bound at ?1 (a user
// id, or -1 for SYSTEM) with ?2 = 1 for SYSTEM: public messages, and the
// private messages the viewer sent or received. The conference's own
// access is checked separately (Impl::AccessTo).
inline constexpr const char* kVisible = "(?2 OR private = 0 OR from_id = ?1 OR to_id = ?1)";

// How many messages a read ahead fetches at once.
inline constexpr int kReadAheadPage = 256;

// The visible messages of one conference after an id, read ahead in one
// statement inside a snapshot: headers (unread links filled) and texts.
struct MessagePage {
  // The snapshot they were read in (Database::ReadAheadSnapshot); 0: no
  // page.
  uint64_t snapshot = 0;
  int32_t conference = 0;
  int64_t viewer = 0;
  // The page holds the messages with ids above `after`, in id order...
  int64_t after = 0;
  // ...every one of them when the conference held no more, else the
  // first kReadAheadPage.
  bool complete = false;
  struct Entry {
    MessageRecord record;
    std::string text;
  };
  std::vector<Entry> messages;
};

// What a user's download asks of every conference, read ahead for all of
// them in one statement inside a snapshot: the walk, the descriptions, the
// access, the user's flags and pointer, the highest visible message.
struct ConferenceState {
  std::string name;
  int32_t mode = 0;
  bool readable = false;
  uint32_t flags = 0;        // the user's, or the conference's defaults
  int32_t lastRead = 0;      // the user's last-read pointer
  int32_t highNumber = 0;    // the highest visible number, 0 when none
  int32_t highNumberId = 0;  // the id of that message
  int64_t lastId = 0;        // the highest visible id, 0 when none
};

struct ConferenceStates {
  uint64_t snapshot = 0;  // 0: none read
  int32_t user = 0;
  std::map<int32_t, ConferenceState> byNumber;  // every conference
};

struct Board::Impl {
  std::unique_ptr<Database> db;
  bool context = false;
  Login login = Login::kNobody;
  int32_t userId = 0;  // the logged-in user when login == kUser
  uint32_t lastError = kServerOk;
  // Why the last vbWildcatServerConnect failed (see Server::ConnectFailure).
  std::string connectFailure;
  std::map<int32_t, OpenServerFile> files;
  int32_t nextHandle = 1;
  // A delivery is being noted (from BeginDelivery to the end of its batch).
  bool notingDelivery = false;
  // The messages and the conferences last read ahead (see ReadsAhead).
  MessagePage page;
  ConferenceStates conferences;
  // Inside a batch the board's write lock is held and nobody else changes
  // who may read a conference; the door's operations never do. What the
  // batch's operations asked of it is kept until the batch ends.
  bool inBatch = false;
  std::map<int32_t, ConferenceAccess> batchAccess;
  // What marking a message read asks of it, for the messages the batch
  // read (by id): its conference, addressee and read state.
  struct ReadState {
    int32_t conference = 0;
    int32_t addressee = 0;
    bool received = false;
    int64_t readTime = 0;
  };
  std::map<int32_t, ReadState> batchMessages;
  void SetInBatch(bool open) {
    inBatch = open;
    batchAccess.clear();
    batchMessages.clear();
  }

  // Runs one operation: on a raised Failure, records its code as the last
  // error (kServerNotLoggedIn, kServerNoConnection or kServerDatabase)
  // and passes the failure on. An operation whose transaction lost a
  // conflict with another connection runs again, up to kConflictRetries
  // times, unless it was part of a batch (whose owner must roll back);
  // past that the conflict is a failure of the board like any other.
  template <typename F>
  auto Guard(F&& operation) -> decltype(operation()) {
    for (int attempt = 0;; ++attempt) {
      try {
        return operation();
      } catch (const Failure& failure) {
        const bool conflict = failure.number() == kFailureServerConflict;
        if (conflict && attempt < kConflictRetries && db && !db->InTransaction()) continue;
        if (failure.number() == kFailureNotLoggedIn) {
          lastError = kServerNotLoggedIn;
        } else if (!db || !context) {
          lastError = kServerNoConnection;
        } else {
          lastError = kServerDatabase;
        }
        if (conflict) throw Failure(kFailureServer, failure.description());
        throw;
      }
    }
  }

  // The connection of an open context; raises Failure(kFailureServer)
  // when the board is not connected or no context was created.
  Database& Connected(const char* operation);
  // The connection, for an operation that needs someone (SYSTEM or a
  // user) logged in; raises Failure(kFailureNotLoggedIn) otherwise.
  Database& LoggedIn(const char* operation);
  // The logged-in user's id, for an operation that acts for the user;
  // raises Failure(kFailureNotLoggedIn) when nobody or SYSTEM is logged in.
  int32_t User(const char* operation);

  bool IsSystem() const { return login == Login::kSystem; }
  // The viewer bound at ?1 and ?2 of kVisible.
  int64_t ViewerId() const { return IsSystem() ? -1 : userId; }
  int64_t ViewerIsSystem() const { return IsSystem() ? 1 : 0; }

  // Whether the viewer may read the conference (SYSTEM: every existing one).
  ConferenceAccess AccessTo(int32_t conference);
  // The access to an existing conference that its restricted flag and the
  // viewer's place among its readers give.
  ConferenceAccess AccessFrom(bool restricted, bool reader) const {
    return IsSystem() || !restricted || reader ? ConferenceAccess::kReadable
                                               : ConferenceAccess::kDenied;
  }
  // Records the refusal that goes with an access other than kReadable.
  void RecordRefusal(ConferenceAccess access) {
    lastError = access == ConferenceAccess::kMissing ? kServerNotFound : kServerAccessDenied;
  }

  // True when the viewer may read the conference; otherwise records the
  // refusal as the last error.
  bool Readable(int32_t conference);
  // Whether the viewer may read (write false) or write (write true) the
  // variables of `user`.
  bool MayUseVariables(int32_t user, bool write);

  // Reads the first visible message of `conference` that `pick` allows
  // relative to `id` into `record`, unread links included; false (record
  // untouched, last error set) when there is none.
  bool ReadMessage(int32_t conference, int64_t id, MessagePick pick, MessageRecord& record);
  // True when message reads are answered from pages read ahead: inside a
  // snapshot of a database that asks for it (Database::ReadAheadSnapshot).
  bool ReadsAhead() const { return db && db->ReadAheadSnapshot() != 0; }
  // Every conference's state for the logged-in user, read ahead when
  // reads are (ReadsAhead); null when they are not, or for SYSTEM.
  const std::map<int32_t, ConferenceState>* Conferences();
  // The state of one conference from Conferences(): `state` is null when
  // it does not exist; false when conferences are not read ahead.
  bool KnownConference(int32_t conference, const ConferenceState*& state);
  // The page's first message with an id above `after`, for the viewer:
  // `found` is that message or null when the page holds none; false when
  // the page cannot tell (another conference, viewer or snapshot, or an id
  // outside the ids it covers).
  bool FromPage(int32_t conference, int64_t after, const MessagePage::Entry*& found) const;
  // Reads the page of `conference` after `after` for the viewer.
  void ReadPage(int32_t conference, int64_t after);
  // The first column of the first row of a visible-message query about
  // `conference` (?3), with `fourth` bound at ?4 when given.
  std::optional<int64_t> VisibleScalar(int32_t conference, const std::string& sql,
                                       std::optional<int64_t> fourth);

  // The row and size in bytes of the server file at `path` when it exists
  // and the viewer may see it.
  struct FoundFile {
    int64_t row = 0;
    int64_t size = 0;
  };
  std::optional<FoundFile> FindVisibleFile(const std::string& path);

  // Forgets the log-in and closes the server files opened under it.
  void EndLogin() {
    login = Login::kNobody;
    userId = 0;
    files.clear();
  }

  template <typename T>
  T Fail(ServerError code, T result) {
    lastError = code;
    return result;
  }
  template <typename T>
  T Succeed(T result) {
    lastError = kServerOk;
    return result;
  }
};

// Fills `record` from a row selected with kMessageColumns, starting at
// column 0; the unread links are left for the caller.
void FillMessage(const Statement& row, MessageRecord& record);

// The text without the blanks that fill a record field (trailing only).
std::string WithoutFill(std::string_view field);

}  // namespace obrix::board
