#include "board/board_admin.h"

#include <sodium.h>
#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

#include "board/admin_internal.h"
#include "board/message_store.h"
#include "board/schema.h"
#include "platform/clock.h"
#include "platform/file_mode.h"
#include "platform/files.h"
#include "server/failure.h"
#include "server/text.h"

namespace obrix::board {

using admin::ConferenceExists;
using admin::RequireUser;
using admin::UserKey;
using admin::WriteScope;

namespace admin {

WriteScope::WriteScope(Database& db) {
  if (sqlite3_get_autocommit(db.handle()) != 0) transaction_.emplace(db);
}

void WriteScope::Commit() {
  if (transaction_) transaction_->Commit();
}

std::string UserKey(std::string_view name) { return ToUpper(Trim(name)); }

std::optional<UserRow> FindUser(Database& db, std::string_view name) {
  auto find = db.Prepare("SELECT id, name, title FROM users WHERE name = ?");
  find->Bind(1, UserKey(name));
  if (!find->Step()) return std::nullopt;
  return UserRow{static_cast<int32_t>(find->Int(0)), find->Text(1), find->Text(2)};
}

UserRow RequireUser(Database& db, std::string_view name) {
  auto user = FindUser(db, name);
  if (!user) throw std::invalid_argument("no user " + UserKey(name));
  return *user;
}

int32_t InsertUser(Database& db, std::string_view name, const std::string& passwordHash,
                   std::string_view title) {
  const std::string key = UserKey(name);
  if (key.empty()) throw std::invalid_argument("a user name must not be empty");
  if (key.size() > kUserNameWidth) {
    throw std::invalid_argument("user name " + key + " is longer than " +
                                Decimal(kUserNameWidth) + " characters");
  }
  if (title.size() > kUserTitleWidth) {
    throw std::invalid_argument("title \"" + std::string(title) + "\" is longer than " +
                                Decimal(kUserTitleWidth) + " characters");
  }
  if (FindUser(db, key)) throw std::invalid_argument("user " + key + " already exists");
  auto insert = db.Prepare("INSERT INTO users (name, title, password_hash) VALUES (?, ?, ?)");
  insert->Bind(1, key).Bind(2, title);
  if (passwordHash.empty()) {
    insert->BindNull(3);
  } else {
    insert->Bind(3, passwordHash);
  }
  insert->Run();
  return static_cast<int32_t>(db.LastInsertId());
}

bool ConferenceExists(Database& db, int32_t number) {
  auto find = db.Prepare("SELECT 1 FROM conferences WHERE number = ?");
  find->Bind(1, int64_t{number});
  return find->Step();
}

}  // namespace admin

namespace {

// The configuration keys in the order `config` shows them.
constexpr const char* kConfigKeys[] = {"name",    "sysop",        "city",
                                       "phone",   "packet-id",    "serial",
                                       "version", "packet-limit", "conf-limit"};

std::string ConfigDefault(const std::string& key) {
  const BoardConfig defaults;
  if (key == "name") return defaults.name;
  if (key == "sysop") return defaults.sysop;
  if (key == "city") return defaults.city;
  if (key == "phone") return defaults.phone;
  if (key == "packet-id") return defaults.packetId;
  if (key == "serial") return defaults.serial;
  if (key == "version") return Decimal(defaults.version);
  if (key == "packet-limit") return Decimal(defaults.packetLimit);
  if (key == "conf-limit") return Decimal(defaults.confLimit);
  throw std::invalid_argument("unknown configuration key \"" + key +
                              "\" (keys: name, sysop, city, phone, packet-id, serial, version,"
                              " packet-limit, conf-limit)");
}

void CheckLength(const std::string& what, const std::string& value, size_t most) {
  if (value.size() > most) {
    throw std::invalid_argument(what + " \"" + value + "\" is longer than " + Decimal(most) +
                                " characters");
  }
}

void CheckPacketId(const std::string& value) {
  if (value.empty() || value.size() > 8) {
    throw std::invalid_argument("packet id \"" + value + "\" must have 1 to 8 characters");
  }
  for (const char c : value) {
    const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!allowed) {
      throw std::invalid_argument("packet id \"" + value +
                                  "\" may hold only letters, digits, '-' and '_'"
                                  " (it names the packet files)");
    }
  }
}

// A whole decimal number in the 32-bit range, blanks around it allowed.
std::optional<int32_t> WholeNumber(const std::string& text) {
  const std::string trimmed = Trim(text);
  size_t i = 0;
  const bool negative = i < trimmed.size() && trimmed[i] == '-';
  if (negative || (i < trimmed.size() && trimmed[i] == '+')) ++i;
  if (i == trimmed.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < trimmed.size(); ++i) {
    if (trimmed[i] < '0' || trimmed[i] > '9') return std::nullopt;
    value = value * 10 + (trimmed[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// Checks a configuration value and returns it as it is stored.
std::string ValidConfigValue(const std::string& key, const std::string& value) {
  ConfigDefault(key);  // refuses an unknown key
  if (key == "version" || key == "packet-limit" || key == "conf-limit") {
    const auto number = WholeNumber(value);
    if (!number) {
      throw std::invalid_argument(key + " must be a whole number, not \"" + value + "\"");
    }
    return Decimal(*number);
  }
  if (key == "packet-id") {
    CheckPacketId(value);
  } else if (key == "name") {
    if (Trim(value).empty()) throw std::invalid_argument("the board name must not be empty");
    CheckLength("board name", value, 52);
  } else if (key == "sysop") {
    if (Trim(value).empty()) throw std::invalid_argument("the sysop name must not be empty");
    CheckLength("sysop name", value, 28);
  } else if (key == "city") {
    CheckLength("city", value, 32);
  } else if (key == "phone") {
    CheckLength("phone number", value, 28);
  } else if (key == "serial") {
    CheckLength("serial number", value, 8);
  }
  return value;
}

std::vector<std::pair<std::string, std::string>> ConfigValues(const BoardConfig& config) {
  return {{"name", config.name},
          {"sysop", config.sysop},
          {"city", config.city},
          {"phone", config.phone},
          {"packet-id", config.packetId},
          {"serial", config.serial},
          {"version", Decimal(config.version)},
          {"packet-limit", Decimal(config.packetLimit)},
          {"conf-limit", Decimal(config.confLimit)}};
}

void WriteConfig(Database& db, const std::string& key, const std::string& value) {
  auto put = db.Prepare(
      "INSERT INTO meta (key, value) VALUES (?, ?)"
      " ON CONFLICT (key) DO UPDATE SET value = excluded.value");
  put->Bind(1, key).Bind(2, value);
  put->Run();
}

void PutObjectFlags(Database& db, int32_t userId, uint32_t object, uint32_t flags) {
  auto put = db.Prepare(
      "INSERT INTO object_flags (user_id, object, flags) VALUES (?, ?, ?)"
      " ON CONFLICT (user_id, object) DO UPDATE SET flags = excluded.flags");
  put->Bind(1, int64_t{userId}).Bind(2, int64_t{object}).Bind(3, int64_t{flags});
  put->Run();
}

void RemoveBoardFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) RemoveFile(path + suffix);
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

void RequireConference(Database& db, int32_t number) {
  if (!ConferenceExists(db, number)) {
    throw std::invalid_argument("no conference " + Decimal(number));
  }
}

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

// ---------------------------------------------------------------------------
// Creating and opening

void BoardAdmin::Create(const std::string& path, const BoardConfig& config,
                        const std::string& sysopPassword) {
  const auto values = ConfigValues(config);
  for (const auto& [key, value] : values) ValidConfigValue(key, value);
  if (UserKey(config.sysop) == admin::kDefaultAccount) {
    throw std::invalid_argument("the sysop cannot be named DEFAULT: that account holds the"
                                " board-wide defaults");
  }
  if (PathExists(path)) {
    throw std::invalid_argument(path + " already exists; a board is never overwritten");
  }
  // Hash before anything is created: the slowest step cannot leave a file.
  const std::string sysopHash = sysopPassword.empty() ? std::string() : HashPassword(sysopPassword);

  std::string reason;
  if (!CreateOwnerOnlyFile(path, reason)) {
    throw std::invalid_argument("cannot create " + path + ": " + reason);
  }
  try {
    Database db = Database::Open(path, false);
    ConfigureConnection(db);
    CreateSchema(db);
    Transaction transaction(db);
    for (const auto& [key, value] : values) WriteConfig(db, key, value);
    const int32_t sysopId = admin::InsertUser(db, config.sysop, sysopHash, "Sysop");
    admin::InsertUser(db, admin::kDefaultAccount, std::string(), "");
    PutObjectFlags(db, sysopId, admin::kSysopObject, 0xFFFFFFFFu);
    transaction.Commit();
  } catch (...) {
    RemoveBoardFiles(path);
    throw;
  }
}

BoardAdmin BoardAdmin::Open(const std::string& path) {
  if (!PathExists(path)) throw std::invalid_argument("no board at " + path);
  Database db = Database::Open(path, false);
  int64_t version = 0;
  try {
    auto table = db.Prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'meta'");
    if (!table->Step()) throw std::invalid_argument(path + " is not a board (no board tables)");
  } catch (const Failure&) {
    throw std::invalid_argument(path + " is not a board (not a database file)");
  }
  {
    auto read = db.Prepare("SELECT value FROM meta WHERE key = 'schema_version'");
    if (!read->Step()) throw std::invalid_argument(path + " is not a board (no schema version)");
    const auto number = WholeNumber(read->Text(0));
    if (!number || *number < 1) {
      throw std::invalid_argument(path + " is not a board (bad schema version)");
    }
    version = *number;
  }
  if (version > kSchemaVersion) {
    throw std::invalid_argument(path + " is a board of schema version " + Decimal(version) +
                                "; this program knows version " + Decimal(kSchemaVersion) +
                                " at most");
  }
  ConfigureConnection(db);
  return BoardAdmin(std::move(db));
}

// ---------------------------------------------------------------------------
// Configuration

std::vector<std::pair<std::string, std::string>> BoardAdmin::Config() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const char* key : kConfigKeys) out.emplace_back(key, GetConfig(key));
  return out;
}

std::string BoardAdmin::GetConfig(const std::string& key) {
  const std::string fallback = ConfigDefault(key);
  auto read = db_.Prepare("SELECT value FROM meta WHERE key = ?");
  read->Bind(1, key);
  return read->Step() ? read->Text(0) : fallback;
}

void BoardAdmin::SetConfig(const std::string& key, const std::string& value) {
  const std::string stored = ValidConfigValue(key, value);
  WriteScope scope(db_);
  WriteConfig(db_, key, stored);
  scope.Commit();
}

// ---------------------------------------------------------------------------
// Users

int32_t BoardAdmin::AddUser(const std::string& name, const std::string& password,
                            const std::string& title) {
  // Check the name before spending the time on the hash.
  if (UserKey(name).empty()) throw std::invalid_argument("a user name must not be empty");
  if (admin::FindUser(db_, name)) {
    throw std::invalid_argument("user " + UserKey(name) + " already exists");
  }
  const std::string hash = password.empty() ? std::string() : HashPassword(password);
  WriteScope scope(db_);
  const int32_t id = admin::InsertUser(db_, name, hash, title);
  scope.Commit();
  return id;
}

void BoardAdmin::SetPassword(const std::string& name, const std::string& password) {
  const auto user = RequireUser(db_, name);
  if (user.name == admin::kDefaultAccount && !password.empty()) {
    throw std::invalid_argument("the DEFAULT account holds the board-wide defaults and cannot"
                                " log in");
  }
  const std::string hash = password.empty() ? std::string() : HashPassword(password);
  WriteScope scope(db_);
  auto update = db_.Prepare("UPDATE users SET password_hash = ? WHERE id = ?");
  if (hash.empty()) {
    update->BindNull(1);
  } else {
    update->Bind(1, hash);
  }
  update->Bind(2, int64_t{user.id});
  update->Run();
  scope.Commit();
}

std::vector<UserSummary> BoardAdmin::ListUsers() {
  std::vector<UserSummary> out;
  auto list = db_.Prepare(
      "SELECT id, name, title, password_hash IS NOT NULL, newfiles_time FROM users ORDER BY id");
  while (list->Step()) {
    UserSummary user;
    user.id = static_cast<int32_t>(list->Int(0));
    user.name = list->Text(1);
    user.title = list->Text(2);
    user.canLogIn = list->Int(3) != 0;
    user.newFilesDate = FILETIME::FromTicks(static_cast<uint64_t>(list->Int(4)));
    out.push_back(std::move(user));
  }
  return out;
}

int32_t BoardAdmin::UserId(const std::string& name) { return RequireUser(db_, name).id; }

void BoardAdmin::SetNewFilesDate(const std::string& name, FILETIME date) {
  WriteScope scope(db_);
  const auto user = RequireUser(db_, name);
  auto update = db_.Prepare("UPDATE users SET newfiles_time = ? WHERE id = ?");
  update->Bind(1, static_cast<int64_t>(date.Ticks())).Bind(2, int64_t{user.id});
  update->Run();
  scope.Commit();
}

std::optional<std::string> BoardAdmin::GetVar(const std::string& user, const std::string& key) {
  const auto row = RequireUser(db_, user);
  auto read = db_.Prepare(
      "SELECT value FROM user_vars WHERE user_id = ? AND section = ? AND key = ?");
  read->Bind(1, int64_t{row.id}).Bind(2, admin::kProfileSection).Bind(3, key);
  if (!read->Step()) return std::nullopt;
  return read->Text(0);
}

void BoardAdmin::SetVar(const std::string& user, const std::string& key, const std::string& value) {
  if (key.empty()) throw std::invalid_argument("a variable name must not be empty");
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  auto put = db_.Prepare(
      "INSERT INTO user_vars (user_id, section, key, value) VALUES (?, ?, ?, ?)"
      " ON CONFLICT (user_id, section, key) DO UPDATE SET value = excluded.value");
  put->Bind(1, int64_t{row.id}).Bind(2, admin::kProfileSection).Bind(3, key).Bind(4, value);
  put->Run();
  scope.Commit();
}

void BoardAdmin::Grant(const std::string& user, uint32_t object, uint32_t flags) {
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  PutObjectFlags(db_, row.id, object, flags);
  scope.Commit();
}

// ---------------------------------------------------------------------------
// Conferences

void BoardAdmin::AddConference(int32_t number, const std::string& name, uint32_t defaultFlags,
                               const std::vector<std::string>& readers) {
  CheckConferenceNumber(number);
  if (Trim(name).empty()) throw std::invalid_argument("a conference name must not be empty");
  CheckLength("conference name", name, admin::kConferenceNameWidth);
  WriteScope scope(db_);
  if (ConferenceExists(db_, number)) {
    throw std::invalid_argument("conference " + Decimal(number) + " already exists");
  }
  std::vector<int32_t> readerIds;
  for (const std::string& reader : readers) readerIds.push_back(RequireUser(db_, reader).id);
  {
    auto insert = db_.Prepare(
        "INSERT INTO conferences (number, name, default_flags, restricted) VALUES (?, ?, ?, ?)");
    insert->Bind(1, int64_t{number})
        .Bind(2, name)
        .Bind(3, int64_t{defaultFlags})
        .Bind(4, int64_t{readerIds.empty() ? 0 : 1});
    insert->Run();
  }
  for (const int32_t id : readerIds) {
    auto insert = db_.Prepare(
        "INSERT OR IGNORE INTO conf_readers (conference, user_id) VALUES (?, ?)");
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
        " (SELECT count(*) FROM messages m WHERE m.conference = c.number)"
        " FROM conferences c ORDER BY c.number");
    while (list->Step()) {
      ConferenceSummary conference;
      conference.number = static_cast<int32_t>(list->Int(0));
      conference.name = list->Text(1);
      conference.defaultFlags = static_cast<uint32_t>(list->Int(2));
      conference.messageCount = static_cast<int32_t>(list->Int(3));
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

uint32_t BoardAdmin::GetFlags(const std::string& user, int32_t conference) {
  const auto row = RequireUser(db_, user);
  auto read = db_.Prepare(
      "SELECT c.default_flags, f.flags FROM conferences c"
      " LEFT JOIN conf_flags f ON f.conference = c.number AND f.user_id = ?"
      " WHERE c.number = ?");
  read->Bind(1, int64_t{row.id}).Bind(2, int64_t{conference});
  if (!read->Step()) throw std::invalid_argument("no conference " + Decimal(conference));
  return static_cast<uint32_t>(read->IsNull(1) ? read->Int(0) : read->Int(1));
}

void BoardAdmin::SetFlags(const std::string& user, int32_t conference, uint32_t flags) {
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  RequireConference(db_, conference);
  auto put = db_.Prepare(
      "INSERT INTO conf_flags (user_id, conference, flags) VALUES (?, ?, ?)"
      " ON CONFLICT (user_id, conference) DO UPDATE SET flags = excluded.flags");
  put->Bind(1, int64_t{row.id}).Bind(2, int64_t{conference}).Bind(3, int64_t{flags});
  put->Run();
  scope.Commit();
}

int32_t BoardAdmin::GetLastRead(const std::string& user, int32_t conference) {
  const auto row = RequireUser(db_, user);
  RequireConference(db_, conference);
  auto read = db_.Prepare(
      "SELECT message_id FROM last_read WHERE user_id = ? AND conference = ?");
  read->Bind(1, int64_t{row.id}).Bind(2, int64_t{conference});
  return read->Step() ? static_cast<int32_t>(read->Int(0)) : 0;
}

void BoardAdmin::SetLastRead(const std::string& user, int32_t conference, int32_t id) {
  if (id < 0) throw std::invalid_argument("a message id cannot be negative");
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  RequireConference(db_, conference);
  auto put = db_.Prepare(
      "INSERT INTO last_read (user_id, conference, message_id) VALUES (?, ?, ?)"
      " ON CONFLICT (user_id, conference) DO UPDATE SET message_id = excluded.message_id");
  put->Bind(1, int64_t{row.id}).Bind(2, int64_t{conference}).Bind(3, int64_t{id});
  put->Run();
  scope.Commit();
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
    sql += " WHERE from_id = ?2 OR to_id = ?2";
  }
  sql += " ORDER BY id";
  auto list = db_.Prepare(sql);
  if (conference) list->Bind(1, int64_t{*conference});
  if (userId) list->Bind(2, int64_t{*userId});
  std::vector<MessageSummary> out;
  while (list->Step()) out.push_back(ReadSummary(*list));
  return out;
}

std::optional<MessageSummary> BoardAdmin::Show(int32_t id) {
  auto read = db_.Prepare(std::string("SELECT ") + kSummaryColumns +
                          ", text FROM messages WHERE id = ?");
  read->Bind(1, int64_t{id});
  if (!read->Step()) return std::nullopt;
  MessageSummary message = ReadSummary(*read);
  message.text = read->Text(13);
  return message;
}

// ---------------------------------------------------------------------------
// File areas and files

void BoardAdmin::AddArea(int32_t number, const std::string& name, bool exclude) {
  if (number < 1) throw std::invalid_argument("file areas are numbered from 1");
  if (Trim(name).empty()) throw std::invalid_argument("a file area name must not be empty");
  CheckLength("file area name", name, admin::kAreaNameWidth);
  WriteScope scope(db_);
  {
    auto find = db_.Prepare("SELECT 1 FROM file_areas WHERE number = ?");
    find->Bind(1, int64_t{number});
    if (find->Step()) {
      throw std::invalid_argument("file area " + Decimal(number) + " already exists");
    }
  }
  auto insert = db_.Prepare("INSERT INTO file_areas (number, name, exclude) VALUES (?, ?, ?)");
  insert->Bind(1, int64_t{number}).Bind(2, name).Bind(3, int64_t{exclude ? 1 : 0});
  insert->Run();
  scope.Commit();
}

std::vector<AreaSummary> BoardAdmin::ListAreas() {
  std::vector<AreaSummary> out;
  auto list = db_.Prepare(
      "SELECT a.number, a.name, a.exclude,"
      " (SELECT count(*) FROM files f WHERE f.area = a.number)"
      " FROM file_areas a ORDER BY a.number");
  while (list->Step()) {
    out.push_back(AreaSummary{static_cast<int32_t>(list->Int(0)), list->Text(1),
                              list->Int(2) != 0, static_cast<int32_t>(list->Int(3))});
  }
  return out;
}

void BoardAdmin::AddFile(int32_t area, const std::string& name, int32_t size,
                         const std::string& description, FILETIME date) {
  if (Trim(name).empty()) throw std::invalid_argument("a file name must not be empty");
  CheckLength("file name", name, admin::kFileNameWidth);
  CheckLength("file description", description, admin::kFileDescriptionWidth);
  if (size < 0) throw std::invalid_argument("a file size cannot be negative");
  WriteScope scope(db_);
  {
    auto find = db_.Prepare("SELECT 1 FROM file_areas WHERE number = ?");
    find->Bind(1, int64_t{area});
    if (!find->Step()) throw std::invalid_argument("no file area " + Decimal(area));
  }
  auto insert = db_.Prepare(
      "INSERT INTO files (area, name, description, size, upload_time) VALUES (?, ?, ?, ?, ?)");
  insert->Bind(1, int64_t{area})
      .Bind(2, name)
      .Bind(3, description)
      .Bind(4, int64_t{size})
      .Bind(5, static_cast<int64_t>(date.Ticks()));
  insert->Run();
  scope.Commit();
}

// ---------------------------------------------------------------------------
// Server files

void BoardAdmin::PutServerFile(const std::string& serverPath, const std::string& bytes) {
  if (Trim(serverPath).empty()) throw std::invalid_argument("a server path must not be empty");
  WriteScope scope(db_);
  auto put = db_.Prepare(
      "INSERT INTO server_files (path_key, path, message_id, data) VALUES (?, ?, NULL, ?)"
      " ON CONFLICT (path_key) DO UPDATE SET path = excluded.path, message_id = NULL,"
      " data = excluded.data");
  put->Bind(1, ToUpper(serverPath)).Bind(2, serverPath).BindBlob(3, bytes);
  put->Run();
  scope.Commit();
}

void BoardAdmin::Attach(int32_t messageId, const std::string& bytes) {
  WriteScope scope(db_);
  int64_t conference = 0;
  {
    auto find = db_.Prepare("SELECT conference FROM messages WHERE id = ?");
    find->Bind(1, int64_t{messageId});
    if (!find->Step()) throw std::invalid_argument("no message " + Decimal(messageId));
    conference = find->Int(0);
  }
  const std::string path =
      "wc:\\conf(" + Decimal(conference) + ")\\message(" + Decimal(messageId) + ")\\attach";
  auto put = db_.Prepare(
      "INSERT INTO server_files (path_key, path, message_id, data) VALUES (?, ?, ?, ?)"
      " ON CONFLICT (path_key) DO UPDATE SET path = excluded.path,"
      " message_id = excluded.message_id, data = excluded.data");
  put->Bind(1, ToUpper(path)).Bind(2, path).Bind(3, int64_t{messageId}).BindBlob(4, bytes);
  put->Run();
  scope.Commit();
}

// ---------------------------------------------------------------------------
// Node activity and bulk loading

std::vector<NodeActivity> BoardAdmin::Who() {
  std::vector<NodeActivity> out;
  auto list = db_.Prepare(
      "SELECT u.name, n.text, n.time FROM node_activity n JOIN users u ON u.id = n.user_id"
      " ORDER BY n.time, u.name");
  while (list->Step()) {
    out.push_back(NodeActivity{list->Text(0), list->Text(1),
                               FILETIME::FromTicks(static_cast<uint64_t>(list->Int(2)))});
  }
  return out;
}

void BoardAdmin::BeginBulk() { db_.Exec("BEGIN IMMEDIATE"); }

void BoardAdmin::CommitBulk() { db_.Exec("COMMIT"); }

// ---------------------------------------------------------------------------
// Dates and passwords

std::optional<FILETIME> ParseBoardDate(const std::string& text) {
  // "YYYY-MM-DD HH:MM"
  static constexpr char kShape[] = "dddd-dd-dd dd:dd";
  if (text.size() != sizeof kShape - 1) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  const auto field = [&text](size_t at, size_t length) {
    return static_cast<uint16_t>(std::stoi(text.substr(at, length)));
  };
  SYSTEMTIME st;
  st.wYear = field(0, 4);
  st.wMonth = field(5, 2);
  st.wDay = field(8, 2);
  st.wHour = field(11, 2);
  st.wMinute = field(14, 2);
  FILETIME out;
  if (!SystemTimeToFileTime(st, out)) return std::nullopt;
  return out;
}

namespace {
void InitSodium() {
  if (sodium_init() < 0) throw Failure(kFailureServer, "the password library cannot start");
}
}  // namespace

std::string HashPassword(const std::string& password) {
  InitSodium();
  const std::string upper = ToUpper(password);
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, upper.data(), upper.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw Failure(kFailureServer, "not enough memory to hash a password");
  }
  return std::string(hash);
}

bool CheckPassword(const std::string& hash, const std::string& password) {
  if (hash.empty()) return false;
  InitSodium();
  const std::string upper = ToUpper(password);
  return crypto_pwhash_str_verify(hash.c_str(), upper.data(), upper.size()) == 0;
}

}  // namespace obrix::board
