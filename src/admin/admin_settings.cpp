// The users' packet settings: the variables of the "profile" section that
// the door reads, checked against their ranges, listed, removed, and
// DEFAULT's values carried to existing users.
#include <limits>
#include <stdexcept>

#include "admin/admin_internal.h"
#include "admin/board_admin.h"
#include "base/text.h"
#include "board/tables.h"
#include "server/server.h"

namespace obrix::board {

using admin::RequireUser;
using admin::WriteScope;

namespace {

constexpr int32_t kMost = std::numeric_limits<int32_t>::max();

const ProfileSetting* FindSetting(const std::string& key) {
  for (const ProfileSetting& setting : ProfileSettings()) {
    if (key == setting.key) return &setting;
  }
  return nullptr;
}

// The known key that `key` differs from only in letter case, if any.
const ProfileSetting* SpelledOtherwise(const std::string& key) {
  for (const ProfileSetting& setting : ProfileSettings()) {
    if (ToUpper(key) == ToUpper(setting.key)) return &setting;
  }
  return nullptr;
}

// The value as it is stored: a whole number in the setting's range.
std::string CheckedValue(const ProfileSetting& setting, const std::string& value) {
  const auto number = admin::WholeNumber(value);
  if (!number || *number < setting.lowest || *number > setting.highest) {
    throw std::invalid_argument(std::string(setting.key) + " must be a whole number from " +
                                Decimal(setting.lowest) + " to " + Decimal(setting.highest) +
                                ", not \"" + value + "\"");
  }
  return Decimal(*number);
}

void PutProfileValue(Database& db, int32_t userId, const std::string& key,
                     const std::string& value) {
  PutUserVariable(db, userId, kProfileSection, key, value);
}

}  // namespace

const std::vector<ProfileSetting>& ProfileSettings() {
  static const std::vector<ProfileSetting> settings = {
      {"IncludeNewFiles", "1: the packet holds the list of files new since his new-files date", 0,
       1, "0"},
      {"IncludeNewBulletins",
       "1: asks for news bulletins (only logged; the welcome and goodbye screens come always)", 0,
       1, "0"},
      {"MaxMsgPerConf", "most messages from one conference in a packet; 0 means 200", 0, kMost,
       "1000"},
      {"MaxMsgPerPacket", "most messages in one packet; 0 means 1000", 0, kMost, "200"},
      {"MaxAttachSize", "largest attachment, in KB, whose size a packet counts", 0, kMost, "0"},
      {"DownloadYourMail", "1: messages he wrote himself stay out of his packets", 0, 1, "0"},
      {"GoodbyeAfterUpload", "kept for his reader; the door does not use it", 0, 1, "0"},
      {"EnhanceScriptPrompts", "kept for his reader; the door does not use it", 0, 1, "0"},
      {"EnhancedScriptPrompts",
       "while empty, EnhanceScriptPrompts is copied from DEFAULT on every download", 0, 1, nullptr},
      {"SmallControlDat", "read by the door, which writes the same control file either way", 0, 1,
       "0"},
  };
  return settings;
}

void BoardAdmin::SetSetting(const std::string& user, const std::string& key,
                            const std::string& value, bool force) {
  if (const ProfileSetting* setting = FindSetting(key)) {
    SetVar(user, key, CheckedValue(*setting, value));
    return;
  }
  if (!force) {
    const ProfileSetting* near = SpelledOtherwise(key);
    throw std::invalid_argument(
        "unknown setting \"" + key + "\"" +
        (near ? " (did you mean " + std::string(near->key) + "?)" : std::string()) +
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
      throw std::invalid_argument("DEFAULT's values are the defaults themselves");
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
