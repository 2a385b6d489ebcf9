// The board's connection, context, log-in, users and configuration.
#include "board/board.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <system_error>

#include "board/board_impl.h"
#include "board/deliveries.h"
#include "board/passwords.h"
#include "board/schema.h"
#include "board/tables.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace obrix::board {

std::string DefaultBoardPath() {
  const char* fromEnvironment = std::getenv("OBRIX_BOARD");
  if (fromEnvironment && *fromEnvironment) return fromEnvironment;
  const std::string folder = ProgramDirectory();
  if (IsInstalledProgramFolder(folder)) {
    throw Failure(kFailureServer,
                  "no board named: set OBRIX_BOARD to the board (an installed "
                  "program keeps no board in its own folder, " +
                      folder + ")");
  }
  return folder + PathSeparator() + "board.db";
}

std::string WithoutFill(std::string_view field) {
  const auto last = field.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string() : std::string(field.substr(0, last + 1));
}

// ---------------------------------------------------------------------------
// Impl guards

Database& Board::Impl::Connected(const char* operation) {
  if (!db || !context) {
    lastError = kServerNoConnection;
    throw Failure(kFailureServer, std::string(operation) + ": not connected to the board");
  }
  return *db;
}

Database& Board::Impl::LoggedIn(const char* operation) {
  Database& database = Connected(operation);
  if (login == Login::kNobody) {
    throw Failure(kFailureNotLoggedIn, std::string(operation) + ": nobody is logged in");
  }
  return database;
}

int32_t Board::Impl::User(const char* operation) {
  LoggedIn(operation);
  if (login != Login::kUser) {
    throw Failure(kFailureNotLoggedIn, std::string(operation) + ": needs a user log-in");
  }
  return userId;
}

ConferenceAccess Board::Impl::AccessTo(int32_t conference) {
  const ConferenceState* state = nullptr;
  if (KnownConference(conference, state)) {
    if (!state) return ConferenceAccess::kMissing;
    return state->readable ? ConferenceAccess::kReadable : ConferenceAccess::kDenied;
  }
  if (inBatch) {
    const auto known = batchAccess.find(conference);
    if (known != batchAccess.end()) return known->second;
  }
  auto row = db->Prepare(
      "SELECT restricted, EXISTS (SELECT 1 FROM conf_readers WHERE conference = ?1 AND "
      "user_id = ?2) FROM conferences WHERE number = ?1");
  row->Bind(1, conference).Bind(2, userId);
  const ConferenceAccess access =
      row->Step() ? AccessFrom(row->Int(0) != 0, row->Int(1) != 0) : ConferenceAccess::kMissing;
  if (inBatch) batchAccess.emplace(conference, access);
  return access;
}

// ---------------------------------------------------------------------------
// Connection and context

Board::Board() : impl_(std::make_unique<Impl>()) {}
Board::~Board() = default;

bool Board::vbWildcatServerConnect(const char* server) {
  Impl& impl = *impl_;
  impl.EndLogin();
  impl.context = false;
  impl.db.reset();
  impl.connectFailure.clear();
  std::string path;
  try {
    path = server && *server ? std::string(server) : DefaultBoardPath();
  } catch (const Failure& failure) {
    impl.connectFailure = "cannot open the board: " + failure.description();
    return impl.Fail(kServerNoConnection, false);
  }
  if (const std::string unfit = KindOf(path).Unfit(path); !unfit.empty()) {
    impl.connectFailure = "cannot open the board " + path + ": " + unfit;
    return impl.Fail(kServerNoConnection, false);
  }
  try {
    impl.db = OpenBoardDatabase(path);
  } catch (const Failure& failure) {
    // A connection that fails names the board already.
    const std::string& why = failure.description();
    const std::string opening = "cannot open the board ";
    impl.connectFailure =
        why.starts_with(opening) ? why : opening + DescribeBoardName(path) + ": " + why;
    return impl.Fail(kServerNoConnection, false);
  }
  return impl.Succeed(true);
}

std::string Board::ConnectFailure() { return impl_->connectFailure; }

bool Board::WildcatServerCreateContext() {
  Impl& impl = *impl_;
  if (!impl.db) return impl.Fail(kServerNoConnection, false);
  impl.context = true;
  return impl.Succeed(true);
}

bool Board::WildcatServerDeleteContext() {
  Impl& impl = *impl_;
  impl.EndLogin();
  if (!impl.context) return impl.Fail(kServerNoConnection, false);
  impl.context = false;
  return impl.Succeed(true);
}

int32_t Board::GetWildcatVersion() {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const std::optional<std::string> text =
        MetaValue(impl.Connected("GetWildcatVersion"), kConfigVersion);
    return impl.Succeed(text ? static_cast<int32_t>(LeadingNumber(*text)) : kDefaultServerVersion);
  });
}

bool Board::SetNodeActivity(const std::string& text) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("SetNodeActivity");
    const auto now = static_cast<int64_t>(LocalNowFileTime().Ticks());
    Transaction transaction(*impl.db);
    {
      auto row = impl.db->Prepare(
          "INSERT INTO node_activity (user_id, text, time) VALUES (?1, ?2, ?3) "
          "ON CONFLICT (user_id) DO UPDATE SET text = excluded.text, time = excluded.time");
      row->Bind(1, user).Bind(2, text).Bind(3, now);
      row->Run();
    }
    PutUserVariable(*impl.db, user, kActivitySection, text, std::to_string(now));
    transaction.Commit();
    return impl.Succeed(true);
  });
}

// ---------------------------------------------------------------------------
// Log-in

bool Board::LoginSystem() {
  Impl& impl = *impl_;
  impl.EndLogin();
  if (!impl.db || !impl.context) return impl.Fail(kServerNoConnection, false);
  impl.login = Login::kSystem;
  return impl.Succeed(true);
}

namespace {

// Fills `user` from a row of "id, name, title, newfiles_time".
void FillUser(const Statement& row, UserRecord& user) {
  user.info.id = static_cast<int32_t>(row.Int(0));
  user.info.name.Set(row.Text(1));
  user.info.title.Set(row.Text(2));
  user.newFilesDate = FILETIME::FromTicks(static_cast<uint64_t>(row.Int(3)));
}

}  // namespace

bool Board::vbLoginUserEx(int32_t userId, const std::string& password, int32_t /*flags*/,
                          const std::string& /*application*/, UserRecord& user) {
  Impl& impl = *impl_;
  impl.EndLogin();
  if (!impl.db || !impl.context) return impl.Fail(kServerNoConnection, false);
  return impl.Guard([&] {
    UserRecord found;
    std::optional<std::string> hash;
    {
      auto row = impl.db->Prepare(
          "SELECT id, name, title, newfiles_time, password_hash FROM users WHERE id = ?1");
      row->Bind(1, userId);
      if (!row->Step()) return impl.Fail(kServerNotFound, false);
      FillUser(*row, found);
      if (!row->IsNull(4)) hash = row->Text(4);
    }  // the slow password check below holds no read open
    if (!hash) return impl.Fail(kServerAccessDenied, false);
    if (!CheckPassword(*hash, password)) return impl.Fail(kServerBadPassword, false);
    user = found;
    impl.login = Login::kUser;
    impl.userId = userId;
    return impl.Succeed(true);
  });
}

bool Board::LogoutUser() {
  Impl& impl = *impl_;
  const bool someone = impl.login != Login::kNobody;
  impl.EndLogin();
  return someone ? impl.Succeed(true) : impl.Fail(kServerNotLoggedIn, false);
}

// ---------------------------------------------------------------------------
// Users

bool Board::vbGetUserByName(std::string& name, UserRecord& user, int32_t& position) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    auto row = impl.LoggedIn("vbGetUserByName")
                   .Prepare("SELECT id, name, title, newfiles_time FROM users WHERE name = ?1");
    row->Bind(1, ToUpper(Trim(name)));
    if (!row->Step()) return impl.Fail(kServerNotFound, false);
    FillUser(*row, user);
    name = row->Text(1);
    position = user.info.id;
    return impl.Succeed(true);
  });
}

bool Board::vbGetUserById(int32_t id, UserRecord& user, int32_t& position) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    auto row = impl.LoggedIn("vbGetUserById")
                   .Prepare("SELECT id, name, title, newfiles_time FROM users WHERE id = ?1");
    row->Bind(1, id);
    if (!row->Step()) return impl.Fail(kServerNotFound, false);
    FillUser(*row, user);
    position = user.info.id;
    return impl.Succeed(true);
  });
}

bool Board::vbLookupName(std::string& name, UserInfo& info) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    auto row =
        impl.LoggedIn("vbLookupName").Prepare("SELECT id, name, title FROM users WHERE name = ?1");
    row->Bind(1, ToUpper(Trim(name)));
    if (!row->Step()) return impl.Fail(kServerNotFound, false);
    info.id = static_cast<int32_t>(row->Int(0));
    info.name.Set(row->Text(1));
    info.title.Set(row->Text(2));
    name = info.name.Str();
    return impl.Succeed(true);
  });
}

bool Board::LookupNamePrefix(const std::string& prefix, UserInfo& info) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("LookupNamePrefix");
    const std::string key = ToUpper(Trim(prefix));
    if (key.empty()) return impl.Fail(kServerNotFound, false);
    // Names are compared as bytes (they are Windows-1252, not UTF-8).
    auto row = db.Prepare(
        "SELECT id, name, title FROM users WHERE length(CAST(name AS BLOB)) > ?2 AND "
        "substr(CAST(name AS BLOB), 1, ?2) = CAST(?1 AS BLOB) LIMIT 2");
    row->Bind(1, key).Bind(2, static_cast<int64_t>(key.size()));
    if (!row->Step()) return impl.Fail(kServerNotFound, false);
    UserInfo found;
    found.id = static_cast<int32_t>(row->Int(0));
    found.name.Set(row->Text(1));
    found.title.Set(row->Text(2));
    if (row->Step()) return impl.Fail(kServerNotFound, false);  // not one user
    info = found;
    return impl.Succeed(true);
  });
}

bool Board::LookupNameSpelled(const std::string& spelled, const NameSpelling& spelling,
                              UserInfo& info) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("LookupNameSpelled");
    const std::string key = ToUpper(Trim(spelled));
    if (key.empty()) return impl.Fail(kServerNotFound, false);
    auto rows = db.Prepare("SELECT id, name, title FROM users ORDER BY id");
    std::optional<UserInfo> match;
    while (rows->Step()) {
      const std::string name = ToUpper(spelling(rows->Text(1)));
      const bool cut = key.size() == kQwkNameWidth && name.size() > kQwkNameWidth;
      if (name != key && !(cut && name.compare(0, kQwkNameWidth, key) == 0)) continue;
      if (match) return impl.Fail(kServerNotFound, false);  // not one user
      match.emplace();
      match->id = static_cast<int32_t>(rows->Int(0));
      match->name.Set(rows->Text(1));
      match->title.Set(rows->Text(2));
    }
    if (!match) return impl.Fail(kServerNotFound, false);
    info = *match;
    return impl.Succeed(true);
  });
}

bool Board::Impl::MayUseVariables(int32_t user, bool write) {
  if (IsSystem() || user == userId) return true;
  if (write) return false;
  auto row = db->Prepare("SELECT 1 FROM users WHERE id = ?1 AND name = ?2");
  row->Bind(1, user).Bind(2, kDefaultAccount);
  return row->Step();
}

std::string Board::vbGetUserVariable(int32_t userId, const std::string& section,
                                     const std::string& key, const std::string& defaultValue) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("vbGetUserVariable");
    // Whether the user exists and the variable's value, in one statement.
    auto row = db.Prepare(
        "SELECT (SELECT value FROM user_vars WHERE user_id = ?1 AND section = ?2 AND key = ?3) "
        "FROM users WHERE id = ?1");
    row->Bind(1, userId).Bind(2, section).Bind(3, key);
    if (!row->Step()) return impl.Fail(kServerNotFound, defaultValue);
    if (!impl.MayUseVariables(userId, false)) return impl.Fail(kServerAccessDenied, defaultValue);
    return impl.Succeed(row->IsNull(0) ? defaultValue : row->Text(0));
  });
}

bool Board::SetUserVariable(int32_t userId, const std::string& section, const std::string& key,
                            const std::string& value) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("SetUserVariable");
    if (!impl.MayUseVariables(userId, true)) return impl.Fail(kServerAccessDenied, false);
    Transaction transaction(db);
    if (!UserExists(db, userId)) return impl.Fail(kServerNotFound, false);
    PutUserVariable(db, userId, section, key, value);
    transaction.Commit();
    return impl.Succeed(true);
  });
}

// ---------------------------------------------------------------------------
// Board configuration

namespace {

// A limit from the configuration: its leading number, or `fallback` when
// none is kept or the text holds no number.
int32_t MetaLimit(Database& db, const char* key, int32_t fallback) {
  const std::optional<std::string> text = MetaValue(db, key);
  if (!text || Trim(*text).empty()) return fallback;
  const double value = LeadingNumber(*text);
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return fallback;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

bool Board::vbGetMakewild(MakewildRecord& record) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.Connected("vbGetMakewild");
    // The board's few settings, read in one statement.
    std::map<std::string, std::string> settings;
    auto rows = db.Prepare("SELECT key, value FROM meta");
    while (rows->Step()) settings.emplace(rows->Text(0), rows->Text(1));
    const auto setting = [&](const char* key, const char* fallback) {
      const auto found = settings.find(key);
      return found == settings.end() ? std::string(fallback) : found->second;
    };
    record.boardName.Set(setting(kConfigName, ""));
    record.sysopName.Set(setting(kConfigSysop, ""));
    record.city.Set(setting(kConfigCity, ""));
    record.phoneNumber.Set(setting(kConfigPhone, ""));
    record.packetId.Set(setting(kConfigPacketId, ""));
    record.serialNumber.Set(setting(kConfigSerial, ""));
    record.charset.Set(setting(kConfigCharset, kPacketCharsetCp437));
    return impl.Succeed(true);
  });
}

bool Board::GetQwkBaudLimits(int32_t& packetLimit, int32_t& conferenceLimit) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.Connected("GetQwkBaudLimits");
    packetLimit = MetaLimit(db, kConfigPacketLimit, kDefaultBoardPacketLimit);
    conferenceLimit = MetaLimit(db, kConfigConferenceLimit, kDefaultBoardConferenceLimit);
    return impl.Succeed(true);
  });
}

uint32_t Board::GetObjectFlags(uint32_t object) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.LoggedIn("GetObjectFlags");
    if (impl.IsSystem()) return impl.Succeed(kAllObjectFlags);
    auto row = db.Prepare("SELECT flags FROM object_flags WHERE user_id = ?1 AND object = ?2");
    row->Bind(1, impl.userId).Bind(2, static_cast<int64_t>(object));
    return impl.Succeed(row->Step() ? static_cast<uint32_t>(row->Int(0)) : 0u);
  });
}

uint32_t Board::GetLastError() { return impl_->lastError; }

// ---------------------------------------------------------------------------
// Batches: one write transaction around several operations, whose own
// transactions become savepoints inside it (see Transaction).

void Board::BeginBatch() {
  Impl& impl = *impl_;
  impl.Guard([&] {
    impl.Connected("BeginBatch").BeginWrite();
    impl.SetInBatch(true);
    impl.Succeed(true);
  });
}

void Board::CommitBatch() {
  Impl& impl = *impl_;
  impl.notingDelivery = false;
  impl.SetInBatch(false);
  impl.Guard([&] {
    impl.Connected("CommitBatch").Commit();
    impl.Succeed(true);
  });
}

void Board::RollbackBatch() {
  Impl& impl = *impl_;
  impl.notingDelivery = false;
  impl.SetInBatch(false);
  if (!impl.db || !impl.db->InTransaction()) return;
  impl.Guard([&] {
    impl.db->Rollback();
    impl.Succeed(true);
  });
}

// ---------------------------------------------------------------------------
// Delivery records (deliveries.h): noted inside the download's batch.

void Board::BeginDelivery(const std::string& packetDigest) {
  Impl& impl = *impl_;
  impl.Guard([&] {
    const int32_t user = impl.User("BeginDelivery");
    if (!impl.db->InTransaction()) {
      throw Failure(kFailureServer, "BeginDelivery: needs a batch");
    }
    StartDelivery(*impl.db, user, LocalNowFileTime().Ticks(), packetDigest);
    impl.notingDelivery = true;
    impl.Succeed(true);
  });
}

void Board::FinishDelivery() {
  Impl& impl = *impl_;
  impl.Guard([&] {
    const int32_t user = impl.User("FinishDelivery");
    Transaction transaction(*impl.db);
    board::FinishDelivery(*impl.db, user);
    transaction.Commit();
    impl.Succeed(true);
  });
}

bool Board::RestoreDelivery() {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("RestoreDelivery");
    // The common case, nothing to put back, takes no write lock.
    if (!HasUnfinishedDelivery(*impl.db, user)) return impl.Succeed(false);
    Transaction transaction(*impl.db);
    const bool restored = board::RestoreDelivery(*impl.db, user, false).has_value();
    transaction.Commit();
    return impl.Succeed(restored);
  });
}

PacketOwner Board::RestorePacketLeft(const std::string& packetDigest) {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    const int32_t user = impl.User("RestorePacketLeft");
    // The common case, no such packet, takes no write lock.
    if (!DeliveryOfPacket(*impl.db, packetDigest)) return impl.Succeed(PacketOwner::kNobody);
    Transaction transaction(*impl.db);
    const std::optional<int32_t> owner = DeliveryOfPacket(*impl.db, packetDigest);
    if (owner) board::RestoreDelivery(*impl.db, *owner, true);
    transaction.Commit();
    if (!owner) return impl.Succeed(PacketOwner::kNobody);
    return impl.Succeed(*owner == user ? PacketOwner::kTheUser : PacketOwner::kAnotherUser);
  });
}

void Board::SyncCommits() {
  Impl& impl = *impl_;
  impl.Guard([&] {
    impl.Connected("SyncCommits").SyncJournal();
    impl.Succeed(true);
  });
}

int32_t Board::GetMaxMessageSize() {
  Impl& impl = *impl_;
  return impl.Guard([&] {
    Database& db = impl.Connected("GetMaxMessageSize");
    return impl.Succeed(MetaLimit(db, kConfigMaxMessage, kDefaultMaxMessage));
  });
}

// ---------------------------------------------------------------------------
// Snapshots: one read transaction around many reads.

void Board::BeginSnapshot() {
  Impl& impl = *impl_;
  impl.Guard([&] {
    Database& db = impl.Connected("BeginSnapshot");
    db.BeginSnapshot();
    impl.Succeed(true);
  });
}

void Board::EndSnapshot() {
  Impl& impl = *impl_;
  if (!impl.db || !impl.db->InTransaction()) return;
  impl.Guard([&] {
    impl.db->Commit();
    impl.Succeed(true);
  });
}

}  // namespace obrix::board
