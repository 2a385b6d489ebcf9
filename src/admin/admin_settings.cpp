// The users' packet settings: the variables of the "profile" section that
// the door reads, checked against their ranges, listed, removed, and
// DEFAULT's values carried to existing users.
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"
#include "board/tables.h"
#include "server/packet_settings.h"
#include "server/server.h"

namespace obrix::board {

using admin::RequireUser;
using admin::WriteScope;

namespace {

// The known key that `key` differs from only in letter case, if any.
const PacketSetting* SpelledOtherwise(const std::string& key) {
  for (const PacketSetting& setting : PacketSettings()) {
    if (ToUpper(key) == ToUpper(setting.key)) return &setting;
  }
  return nullptr;
}

// The value as it is stored: a whole number in the setting's range, or one
// of its words in the table's spelling, whatever the letter case given.
std::string CheckedValue(const PacketSetting& setting, const std::string& value) {
  if (!setting.words.empty()) {
    for (const std::string& word : setting.words) {
      if (ToUpper(Trim(value)) == ToUpper(word)) return word;
    }
    throw std::invalid_argument(setting.key + " must be one of " + AllowedValues(setting) +
                                ", not \"" + value + "\"");
  }
  const auto number = admin::WholeNumber(value);
  if (!number || *number < setting.lowest || *number > setting.highest) {
    throw std::invalid_argument(setting.key + " must be a whole number from " +
                                AllowedValues(setting) + ", not \"" + value + "\"");
  }
  return Decimal(*number);
}

void PutProfileValue(Database& db, int32_t userId, const std::string& key,
                     const std::string& value) {
  PutUserVariable(db, userId, kProfileSection, key, value);
}

}  // namespace

void BoardAdmin::SetSetting(const std::string& user, const std::string& key,
                            const std::string& value, bool force) {
  if (const PacketSetting* setting = FindPacketSetting(key)) {
    SetVar(user, key, CheckedValue(*setting, value));
    return;
  }
  if (!force) {
    const PacketSetting* near = SpelledOtherwise(key);
    throw std::invalid_argument("unknown setting \"" + key + "\"" +
                                (near ? " (did you mean " + near->key + "?)" : std::string()) +
                                "; give --force to store it all the same");
  }
  SetVar(user, key, value);
}

std::vector<std::pair<std::string, std::string>> BoardAdmin::ListVars(const std::string& user) {
  const int32_t id = RequireUser(db_, user).id;
  auto list = db_.Prepare(
      "SELECT key, value FROM user_vars WHERE user_id = ? AND section = ? ORDER BY key");
  list->Bind(1, int64_t{id}).Bind(2, kProfileSection);
  std::vector<std::pair<std::string, std::string>> out;
  while (list->Step()) out.emplace_back(list->Text(0), list->Text(1));
  return out;
}

void BoardAdmin::UnsetVar(const std::string& user, const std::string& key) {
  WriteScope scope(db_);
  const auto row = RequireUser(db_, user);
  auto remove = db_.Prepare("DELETE FROM user_vars WHERE user_id = ? AND section = ? AND key = ?");
  remove->Bind(1, int64_t{row.id}).Bind(2, kProfileSection).Bind(3, key);
  remove->Run();
  if (db_.Changes() == 0) throw std::invalid_argument(row.name + " has no setting " + key);
  scope.Commit();
}

int32_t BoardAdmin::ApplyDefaults(const std::vector<std::string>& users) {
  WriteScope scope(db_);
  const auto defaults = ListVars(kDefaultAccount);
  std::vector<int32_t> ids;
  if (users.empty()) {
    auto all = db_.Prepare("SELECT id FROM users WHERE name <> ? ORDER BY id");
    all->Bind(1, kDefaultAccount);
    while (all->Step()) ids.push_back(static_cast<int32_t>(all->Int(0)));
  }
  for (const std::string& name : users) {
    const auto row = RequireUser(db_, name);
    if (row.name == kDefaultAccount) {
      throw std::invalid_argument(std::string(kDefaultAccount) +
                                  "'s values are the defaults themselves");
    }
    ids.push_back(row.id);
  }
  for (const int32_t id : ids) {
    for (const auto& [key, value] : defaults) PutProfileValue(db_, id, key, value);
  }
  scope.Commit();
  return static_cast<int32_t>(ids.size());
}

int32_t BoardAdmin::CountOwnValues(const std::string& key) {
  auto count = db_.Prepare(
      "SELECT count(*) FROM user_vars JOIN users ON users.id = user_vars.user_id "
      "WHERE users.name <> ? AND user_vars.section = ? AND user_vars.key = ? "
      "AND length(user_vars.value) > 0");
  count->Bind(1, kDefaultAccount).Bind(2, kProfileSection).Bind(3, key);
  return count->Step() ? static_cast<int32_t>(count->Int(0)) : 0;
}

}  // namespace obrix::board
