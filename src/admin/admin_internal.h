// Pieces shared by the board's administration files (board_admin.cpp,
// admin_generate.cpp, admin_demo.cpp). Not for use outside src/board.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/sqlite.h"

namespace obrix::board::admin {

// The object whose flags make a user the sysop of the board.
inline constexpr uint32_t kSysopObject = 0x0100001A;
// The account that holds the board-wide defaults.
inline constexpr const char* kDefaultAccount = "DEFAULT";
// The section of every user variable the tool reads and writes.
inline constexpr const char* kProfileSection = "profile";

// Field widths of the server's records.
inline constexpr size_t kUserNameWidth = 72;
inline constexpr size_t kUserTitleWidth = 12;
inline constexpr size_t kSubjectWidth = 72;
inline constexpr size_t kConferenceNameWidth = 60;
inline constexpr size_t kAreaNameWidth = 32;
inline constexpr size_t kFileNameWidth = 16;
inline constexpr size_t kFileDescriptionWidth = 76;
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

// Removes a board file and the journal files beside it.
void RemoveBoardFiles(const std::string& path);

}  // namespace obrix::board::admin
