// The board's users and what it keeps per user: passwords, new-files
// dates, variables, access flags, conference flags, last-read pointers.
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"
#include "board/tables.h"
#include "server/server.h"

namespace obrix::board {

using admin::RequireConference;
using admin::RequireUser;
using admin::UserKey;
using admin::WriteScope;

int32_t BoardAdmin::AddUser(const std::string& name, const std::string& password,
                            const std::string& title) {
  // Check the name before spending the time on the hash.
  admin::CheckAccountName(UserKey(name));
  if (!password.empty()) admin::CheckPasswordWord(password);
  if (admin::FindUser(db_, name)) {
    throw std::invalid_argument("user " + UserKey(name) + " already exists");
  }
  const std::string hash = password.empty() ? std::string() : HashPassword(password, hashCost_);
  WriteScope scope(db_);
  const int32_t id = admin::InsertUser(db_, name, hash, title);
  scope.Commit();
  return id;
}

void BoardAdmin::SetPassword(const std::string& name, const std::string& password) {
  const auto user = RequireUser(db_, name);
  if (!password.empty()) admin::CheckPasswordWord(password);
  if (user.name == kDefaultAccount && !password.empty()) {
    throw std::invalid_argument(
        "the DEFAULT account holds the board-wide defaults and cannot"
        " log in");
  }
  const std::string hash = password.empty() ? std::string() : HashPassword(password, hashCost_);
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

namespace {

admin::UserRow RequireAccount(Database& db, const std::string& name, const char* doing) {
  auto user = RequireUser(db, name);
  if (user.name == kDefaultAccount) {
    throw std::invalid_argument(std::string("the DEFAULT account holds the board-wide defaults; it"
                                            " cannot be ") +
                                doing);
  }
  return user;
}

void RunForUser(Database& db, const char* sql, int32_t userId) {
  auto statement = db.Prepare(sql);
  statement->Bind(1, int64_t{userId});
  statement->Run();
}

}  // namespace

void BoardAdmin::DeleteUser(const std::string& name) {
  WriteScope scope(db_);
  const auto user = RequireAccount(db_, name, "deleted");
  for (const char* sql :
       {"DELETE FROM user_vars WHERE user_id = ?", "DELETE FROM object_flags WHERE user_id = ?",
        "DELETE FROM node_activity WHERE user_id = ?", "DELETE FROM conf_flags WHERE user_id = ?",
        "DELETE FROM last_read WHERE user_id = ?", "DELETE FROM conf_readers WHERE user_id = ?",
        // The record of his last download, which names him.
        "DELETE FROM delivery_messages WHERE user_id = ?",
        "DELETE FROM delivery_pointers WHERE user_id = ?",
        "DELETE FROM deliveries WHERE user_id = ?",
        // His id may be given to the next account: his
        // messages keep his name but no longer his id.
        "UPDATE messages SET from_id = 0 WHERE from_id = ?",
        "UPDATE messages SET to_id = 0 WHERE to_id = ?", "DELETE FROM users WHERE id = ?"}) {
    RunForUser(db_, sql, user.id);
  }
  scope.Commit();
}

void BoardAdmin::RenameUser(const std::string& oldName, const std::string& newName) {
  const std::string key = UserKey(newName);
  admin::CheckAccountName(key);
  if (key == kDefaultAccount) {
    throw std::invalid_argument("DEFAULT is the account of the board-wide defaults");
  }
  WriteScope scope(db_);
  const auto user = RequireAccount(db_, oldName, "renamed");
  if (admin::FindUser(db_, key)) throw std::invalid_argument("user " + key + " already exists");
  for (const char* sql : {"UPDATE users SET name = ?2 WHERE id = ?1",
                          "UPDATE messages SET from_name = ?2 WHERE from_id = ?1",
                          "UPDATE messages SET to_name = ?2 WHERE to_id = ?1"}) {
    auto statement = db_.Prepare(sql);
    statement->Bind(1, int64_t{user.id}).Bind(2, key);
    statement->Run();
  }
  scope.Commit();
}

void BoardAdmin::SetTitle(const std::string& name, const std::string& title) {
  admin::CheckLength("title", title, admin::kUserTitleWidth);
  WriteScope scope(db_);
  const auto user = RequireUser(db_, name);
  auto update = db_.Prepare("UPDATE users SET title = ? WHERE id = ?");
  update->Bind(1, title).Bind(2, int64_t{user.id});
  update->Run();
  scope.Commit();
}

void BoardAdmin::SetNewFilesDate(const std::string& name, FILETIME date) {
  WriteScope scope(db_);
  const auto user = RequireUser(db_, name);
  auto update = db_.Prepare("UPDATE users SET newfiles_time = ? WHERE id = ?");
  update->Bind(1, static_cast<int64_t>(date.Ticks())).Bind(2, int64_t{user.id});
  update->Run();
  scope.Commit();
}

std::optional<std::string> BoardAdmin::GetVar(const std::string& user, const std::string& key) {
  return UserVariable(db_, RequireUser(db_, user).id, kProfileSection, key);
}

void BoardAdmin::SetVar(const std::string& user, const std::string& key, const std::string& value) {
  if (key.empty()) throw std::invalid_argument("a variable name must not be empty");
  WriteScope scope(db_);
  PutUserVariable(db_, RequireUser(db_, user).id, kProfileSection, key, value);
  scope.Commit();
}

void BoardAdmin::Grant(const std::string& user, uint32_t object, uint32_t flags) {
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  admin::PutObjectFlags(db_, row.id, object, flags);
  scope.Commit();
}

uint32_t BoardAdmin::GetFlags(const std::string& user, int32_t conference) {
  const auto flags = ConferenceFlags(db_, RequireUser(db_, user).id, conference);
  if (!flags) throw std::invalid_argument("no conference " + Decimal(conference));
  return *flags;
}

void BoardAdmin::SetFlags(const std::string& user, int32_t conference, uint32_t flags) {
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  RequireConference(db_, conference);
  PutConferenceFlags(db_, row.id, conference, flags);
  scope.Commit();
}

int32_t BoardAdmin::GetLastRead(const std::string& user, int32_t conference) {
  const auto row = RequireUser(db_, user);
  RequireConference(db_, conference);
  return LastRead(db_, row.id, conference);
}

void BoardAdmin::SetLastRead(const std::string& user, int32_t conference, int32_t id) {
  if (id < 0) throw std::invalid_argument("a message id cannot be negative");
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  RequireConference(db_, conference);
  PutLastRead(db_, row.id, conference, id);
  scope.Commit();
}

std::optional<RestoredDelivery> BoardAdmin::UndoLastDownload(const std::string& user) {
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  const std::optional<RestoredDelivery> restored = RestoreDelivery(db_, row.id, true);
  scope.Commit();
  return restored;
}

}  // namespace obrix::board
