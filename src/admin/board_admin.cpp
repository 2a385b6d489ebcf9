// Creating and opening boards, and their configuration; the other
// BoardAdmin operations live in admin_users.cpp, admin_messages.cpp and
// admin_files.cpp.
#include "admin/board_admin.h"

#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "admin/admin_internal.h"
#include "base/failure.h"
#include "base/text.h"
#include "board/schema.h"
#include "server/packet_id.h"
#include "server/server.h"

namespace obrix::board {

using admin::UserKey;
using admin::WholeNumber;
using admin::WriteScope;

namespace admin {

WriteScope::WriteScope(Database& db) {
  if (!db.InTransaction()) transaction_.emplace(db);
}

void WriteScope::Commit() {
  if (transaction_) transaction_->Commit();
}

std::string UserKey(std::string_view name) { return ToUpper(Trim(name)); }

void CheckUserName(const std::string& key) {
  if (key.empty()) throw std::invalid_argument("a user name must not be empty");
  if (key.size() > kUserNameMost) {
    throw std::invalid_argument("user name " + key + " is longer than " + Decimal(kUserNameMost) +
                                " characters (the width of a QWK header's names)");
  }
  if (key.find('/') != std::string::npos) {
    throw std::invalid_argument("user name " + key +
                                " may not hold \"/\" (the door's command line ends the name"
                                " there)");
  }
  for (const char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      throw std::invalid_argument("a user name may not hold control characters");
    }
  }
}

void CheckAccountName(const std::string& key) {
  CheckUserName(key);
  if (key == kEveryone) {
    throw std::invalid_argument(
        "ALL addresses every caller; no user may be named so (he would take every reply to "
        "ALL, private ones included, as his own)");
  }
  if (IsControlName(key)) {
    throw std::invalid_argument(key +
                                " is a control name (replies to it change the sender's "
                                "conferences); no user may be named so");
  }
}

void CheckPasswordWord(const std::string& password) {
  if (password.empty()) throw std::invalid_argument("a password must not be empty");
  for (const char c : password) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      throw std::invalid_argument(
          "a password is one word: no blanks or control characters (the door's command line"
          " ends it at a blank)");
    }
  }
}

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

bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

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
  CheckUserName(key);
  if (title.size() > kUserTitleWidth) {
    throw std::invalid_argument("title \"" + std::string(title) + "\" is longer than " +
                                Decimal(kUserTitleWidth) + " characters");
  }
  if (FindUser(db, key)) throw std::invalid_argument("user " + key + " already exists");
  auto insert =
      db.Prepare("INSERT INTO users (name, title, password_hash) VALUES (?, ?, ?) RETURNING id");
  insert->Bind(1, key).Bind(2, title);
  if (passwordHash.empty()) {
    insert->BindNull(3);
  } else {
    insert->Bind(3, passwordHash);
  }
  if (!insert->Step()) throw Failure(kFailureServer, "board database error: no user id");
  return static_cast<int32_t>(insert->Int(0));
}

bool ConferenceExists(Database& db, int32_t number) {
  auto find = db.Prepare("SELECT 1 FROM conferences WHERE number = ?");
  find->Bind(1, int64_t{number});
  return find->Step();
}

void CheckLength(const std::string& what, const std::string& value, size_t most) {
  if (value.size() > most) {
    throw std::invalid_argument(what + " \"" + value + "\" is longer than " + Decimal(most) +
                                " characters");
  }
}

void RequireConference(Database& db, int32_t number) {
  if (!ConferenceExists(db, number)) {
    throw std::invalid_argument("no conference " + Decimal(number));
  }
}

void PutObjectFlags(Database& db, int32_t userId, uint32_t object, uint32_t flags) {
  auto put = db.Prepare(
      "INSERT INTO object_flags (user_id, object, flags) VALUES (?, ?, ?)"
      " ON CONFLICT (user_id, object) DO UPDATE SET flags = excluded.flags");
  put->Bind(1, int64_t{userId}).Bind(2, int64_t{object}).Bind(3, int64_t{flags});
  put->Run();
}

}  // namespace admin

namespace {

// The configuration keys in the order `config` shows them.
constexpr const char* kConfigKeys[] = {kConfigName,    kConfigSysop,       kConfigCity,
                                       kConfigPhone,   kConfigPacketId,    kConfigSerial,
                                       kConfigVersion, kConfigPacketLimit, kConfigConferenceLimit,
                                       kConfigCharset, kConfigMaxMessage,  kConfigNodeTimeout};

std::string ConfigDefault(const std::string& key) {
  const BoardConfig defaults;
  if (key == kConfigName) return defaults.name;
  if (key == kConfigSysop) return defaults.sysop;
  if (key == kConfigCity) return defaults.city;
  if (key == kConfigPhone) return defaults.phone;
  if (key == kConfigPacketId) return defaults.packetId;
  if (key == kConfigSerial) return defaults.serial;
  if (key == kConfigVersion) return Decimal(defaults.version);
  if (key == kConfigPacketLimit) return Decimal(defaults.packetLimit);
  if (key == kConfigConferenceLimit) return Decimal(defaults.confLimit);
  if (key == kConfigCharset) return defaults.charset;
  if (key == kConfigMaxMessage) return Decimal(defaults.maxMessage);
  if (key == kConfigNodeTimeout) return Decimal(kDefaultLostNodeTimeout);
  throw std::invalid_argument("unknown configuration key \"" + key +
                              "\" (keys: name, sysop, city, phone, packet-id, serial, version,"
                              " packet-limit, conf-limit, charset, max-message, node-timeout)");
}

void CheckPacketId(const std::string& value) {
  if (!IsValidPacketId(value)) {
    throw std::invalid_argument("packet id \"" + value + "\" must be " + kPacketIdRule +
                                " (it names the packet files)");
  }
}

// The packets' character set, in any letter case, as it is stored.
std::string CharsetSetting(const std::string& value) {
  std::string lower = Trim(value);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower != kPacketCharsetCp437 && lower != kPacketCharsetAsStored) {
    throw std::invalid_argument("charset must be " + std::string(kPacketCharsetCp437) + " or " +
                                kPacketCharsetAsStored + ", not \"" + value + "\"");
  }
  return lower;
}

// A numeric configuration value as it is stored. The limits and the
// largest message are at least 1: a limit of 0 would leave every packet
// (or conference) empty.
std::string ValidConfigNumber(const std::string& key, const std::string& value) {
  const auto number = WholeNumber(value);
  if (!number) {
    throw std::invalid_argument(key + " must be a whole number, not \"" + value + "\"");
  }
  if (key != kConfigVersion && *number < 1) {
    throw std::invalid_argument(key + " must be at least 1, not " + Decimal(*number));
  }
  if (key == kConfigNodeTimeout && *number > kLongestLostNodeTimeout) {
    throw std::invalid_argument(key + " must be at most " + Decimal(kLongestLostNodeTimeout) +
                                " seconds, not " + Decimal(*number));
  }
  return Decimal(*number);
}

// Checks a configuration value and returns it as it is stored.
std::string ValidConfigValue(const std::string& key, const std::string& value) {
  ConfigDefault(key);  // refuses an unknown key
  if (ConfigHoldsNumber(key)) return ValidConfigNumber(key, value);
  if (key == kConfigPacketId) {
    CheckPacketId(value);
  } else if (key == kConfigName) {
    if (Trim(value).empty()) throw std::invalid_argument("the board name must not be empty");
    admin::CheckLength("board name", value, admin::kBoardNameWidth);
  } else if (key == kConfigSysop) {
    if (Trim(value).empty()) throw std::invalid_argument("the sysop name must not be empty");
    admin::CheckLength("sysop name", value, admin::kSysopNameWidth);
  } else if (key == kConfigCity) {
    admin::CheckLength("city", value, admin::kCityWidth);
  } else if (key == kConfigPhone) {
    admin::CheckLength("phone number", value, admin::kPhoneWidth);
  } else if (key == kConfigSerial) {
    admin::CheckLength("serial number", value, admin::kSerialWidth);
  } else if (key == kConfigCharset) {
    return CharsetSetting(value);
  }
  return value;
}

std::vector<std::pair<std::string, std::string>> ConfigValues(const BoardConfig& config) {
  return {{kConfigName, config.name},
          {kConfigSysop, config.sysop},
          {kConfigCity, config.city},
          {kConfigPhone, config.phone},
          {kConfigPacketId, config.packetId},
          {kConfigSerial, config.serial},
          {kConfigVersion, Decimal(config.version)},
          {kConfigPacketLimit, Decimal(config.packetLimit)},
          {kConfigConferenceLimit, Decimal(config.confLimit)},
          {kConfigCharset, config.charset},
          {kConfigMaxMessage, Decimal(config.maxMessage)}};
}

void WriteConfig(Database& db, const std::string& key, const std::string& value) {
  auto put = db.Prepare(
      "INSERT INTO meta (key, value) VALUES (?, ?)"
      " ON CONFLICT (key) DO UPDATE SET value = excluded.value");
  put->Bind(1, key).Bind(2, value);
  put->Run();
}

}  // namespace

// ---------------------------------------------------------------------------
// Creating and opening

namespace {

// Makes the board's tables in `db` (which must hold no board yet), with its
// configuration, the "DEFAULT" account and the sysop's, in one transaction.
void FillNewBoard(Database& db, const std::vector<std::pair<std::string, std::string>>& values,
                  const std::string& sysop, const std::string& sysopHash) {
  db.SetUpConnection();
  Transaction transaction(db);
  if (db.HoldsBoard()) {
    throw std::invalid_argument(db.Describe() +
                                " already holds a board; a board is never"
                                " overwritten");
  }
  CreateSchema(db);
  for (const auto& [key, value] : values) WriteConfig(db, key, ValidConfigValue(key, value));
  const int32_t sysopId = admin::InsertUser(db, sysop, sysopHash, "Sysop");
  admin::InsertUser(db, kDefaultAccount, std::string(), "");
  admin::PutObjectFlags(db, sysopId, kSysopObject, kAllObjectFlags);
  transaction.Commit();
}

}  // namespace

void BoardAdmin::Create(const std::string& path, const BoardConfig& config,
                        const std::string& sysopPassword, HashCost cost) {
  const auto values = ConfigValues(config);
  for (const auto& [key, value] : values) ValidConfigValue(key, value);
  if (UserKey(config.sysop) == kDefaultAccount) {
    throw std::invalid_argument(
        "the sysop cannot be named DEFAULT: that account holds the"
        " board-wide defaults");
  }
  admin::CheckAccountName(UserKey(config.sysop));
  if (!sysopPassword.empty()) admin::CheckPasswordWord(sysopPassword);
  const DatabaseKind& kind = KindOf(path);
  kind.CheckNew(path);
  // Hash before anything is created: the slowest step cannot leave a file.
  const std::string sysopHash =
      sysopPassword.empty() ? std::string() : HashPassword(sysopPassword, cost);
  MakeBoard(path, [&](Database& db) { FillNewBoard(db, values, config.sysop, sysopHash); });
}

BoardAdmin BoardAdmin::Open(const std::string& path) {
  if (KindOf(path).Absent(path)) {
    throw std::invalid_argument("no board at " + path + MissingBoardHint(path));
  }
  try {
    return BoardAdmin(OpenBoardDatabase(path));
  } catch (const NotABoard& notABoard) {
    throw std::invalid_argument(DescribeBoardName(path) + " is " + notABoard.description());
  }
}

bool BoardAdmin::Missing(const std::string& path) { return KindOf(path).Missing(path); }

void BoardAdmin::RemoveNewBoard(const std::string& path) { KindOf(path).RemoveNew(path); }

// ---------------------------------------------------------------------------
// Configuration

bool ConfigHoldsNumber(const std::string& key) {
  return key == kConfigVersion || key == kConfigPacketLimit || key == kConfigConferenceLimit ||
         key == kConfigMaxMessage || key == kConfigNodeTimeout;
}

std::vector<std::string> ConfigKeys() { return {std::begin(kConfigKeys), std::end(kConfigKeys)}; }

std::vector<std::pair<std::string, std::string>> BoardAdmin::Config() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const char* key : kConfigKeys) out.emplace_back(key, GetConfig(key));
  return out;
}

std::string BoardAdmin::GetConfig(const std::string& key) {
  const std::string fallback = ConfigDefault(key);
  return MetaValue(db_, key).value_or(fallback);
}

void BoardAdmin::SetConfig(const std::string& key, const std::string& value) {
  const std::string stored = ValidConfigValue(key, value);
  WriteScope scope(db_);
  WriteConfig(db_, key, stored);
  scope.Commit();
}

// ---------------------------------------------------------------------------
// Dates

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

}  // namespace obrix::board
