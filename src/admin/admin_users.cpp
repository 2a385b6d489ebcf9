// The board's users and what it keeps per user: passwords, new-files
// dates, variables, access flags, conference flags, last-read pointers.
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"

namespace obrix::board {

using admin::RequireConference;
using admin::RequireUser;
using admin::UserKey;
using admin::WriteScope;

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
    throw std::invalid_argument(
        "the DEFAULT account holds the board-wide defaults and cannot"
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
  auto read =
      db_.Prepare("SELECT value FROM user_vars WHERE user_id = ? AND section = ? AND key = ?");
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
  admin::PutObjectFlags(db_, row.id, object, flags);
  scope.Commit();
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
  auto read = db_.Prepare("SELECT message_id FROM last_read WHERE user_id = ? AND conference = ?");
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

}  // namespace obrix::board
