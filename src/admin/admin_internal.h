// Pieces shared by the board's administration files (board_admin.cpp,
// admin_users.cpp, admin_messages.cpp, admin_files.cpp) and the tool's
// demo and synthetic boards (tools/admin_demo.cpp, tools/admin_generate.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/database.h"
#include "platform/file_time.h"
#include "server/records.h"

namespace obrix::board::admin {

// The longest texts the board keeps: the widths of the server's record
// fields that give them back.
inline constexpr size_t kUserNameWidth = decltype(UserInfo::name)::kWidth;
inline constexpr size_t kUserTitleWidth = decltype(UserInfo::title)::kWidth;
inline constexpr size_t kSubjectWidth = decltype(MessageRecord::subject)::kWidth;
inline constexpr size_t kConferenceNameWidth = decltype(ConfDescRecord::name)::kWidth;
inline constexpr size_t kAreaNameWidth = decltype(FileAreaRecord::name)::kWidth;
inline constexpr size_t kFileNameWidth = decltype(FileRecord::name)::kWidth;
inline constexpr size_t kFileDescriptionWidth = decltype(FileRecord::description)::kWidth;
inline constexpr size_t kBoardNameWidth = decltype(MakewildRecord::boardName)::kWidth;
inline constexpr size_t kSysopNameWidth = decltype(MakewildRecord::sysopName)::kWidth;
inline constexpr size_t kCityWidth = decltype(MakewildRecord::city)::kWidth;
inline constexpr size_t kPhoneWidth = decltype(MakewildRecord::phoneNumber)::kWidth;
inline constexpr size_t kSerialWidth = decltype(MakewildRecord::serialNumber)::kWidth;
// The longest user name: the width of the names in a QWK message header,
// so that a reply addressed to him names him whole.
inline constexpr size_t kUserNameMost = 25;

// The highest conference number the board accepts. The door keeps a table
// indexed by conference number, so the range is bounded.
inline constexpr int32_t kHighestConference = 999'999;

// Starts a write transaction (BEGIN IMMEDIATE) unless one is already open
// on the connection (a bulk load), in which case the writes join it.
class WriteScope {
 public:
  explicit WriteScope(Database& db);
  void Commit();

 private:
  std::optional<Transaction> transaction_;
};

struct UserRow {
  int32_t id = 0;
  std::string name;
  std::string title;
};

// The key a user name is stored and found under: blanks around it
// removed, upper case.
std::string UserKey(std::string_view name);

// Raises std::invalid_argument unless `key` (a UserKey) is a name the door
// can log in and address: 1 to kUserNameMost characters, no "/", no
// control characters.
void CheckUserName(const std::string& key);
// CheckUserName, and raises std::invalid_argument when `key` is a name no
// account may bear: ALL (every caller, as an addressee) or a control name.
void CheckAccountName(const std::string& key);
// Raises std::invalid_argument unless `password` is one word: not empty,
// no blanks, no control characters (the door's command line ends it at a
// blank).
void CheckPasswordWord(const std::string& password);

// A whole decimal number in the 32-bit range, blanks around it allowed.
std::optional<int32_t> WholeNumber(const std::string& text);

bool PathExists(const std::string& path);

// The time kept in column `column` of `row` as SetNodeActivity records it
// (FILETIME ticks in decimal); zero when there is none.
FILETIME ActivityTime(const Statement& row, int column);

// The user stored under UserKey(name), if any.
std::optional<UserRow> FindUser(Database& db, std::string_view name);
// As FindUser, raising std::invalid_argument("no user NAME") when absent.
UserRow RequireUser(Database& db, std::string_view name);

// Inserts an account whose password hash is already made (NULL when
// `passwordHash` is empty). Raises std::invalid_argument for a bad or
// taken name or a title that is too long.
int32_t InsertUser(Database& db, std::string_view name, const std::string& passwordHash,
                   std::string_view title);

bool ConferenceExists(Database& db, int32_t number);
// Raises std::invalid_argument("no conference N") when it does not exist.
void RequireConference(Database& db, int32_t number);

// Raises std::invalid_argument when `value` is longer than `most` bytes.
void CheckLength(const std::string& what, const std::string& value, size_t most);

// Stores a user's flags on an object, replacing earlier ones.
void PutObjectFlags(Database& db, int32_t userId, uint32_t object, uint32_t flags);

// Refuses a conference mode outside 0..7 (1 to 7 decide whether replies
// are private; 0 leaves it to each reply).
void CheckConferenceMode(int32_t mode);

}  // namespace obrix::board::admin
