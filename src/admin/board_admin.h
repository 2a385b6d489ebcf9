// The sysop's side of the board: creating it and filling it. The
// obrix-board command is a thin layer over this class; tests use it to set
// up real boards.
//
// Every method raises Failure(kFailureServer) when the database fails and
// std::invalid_argument with a one-line reason for bad input (an unknown
// user, a duplicate conference, a malformed value).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "board/deliveries.h"
#include "board/message_store.h"
#include "board/passwords.h"
#include "board/sqlite.h"
#include "board/tables.h"
#include "platform/file_time.h"
#include "server/server.h"

namespace obrix::board {

struct BoardConfig {
  std::string name = "Obrix Demo BBS";
  std::string sysop = "Sysop";
  std::string city = "Anytown";
  std::string phone = "555-0100";
  std::string packetId = "OBRIX";
  std::string serial = "00000001";
  int32_t version = kDefaultServerVersion;
  int32_t packetLimit = kDefaultBoardPacketLimit;
  int32_t confLimit = kDefaultBoardConferenceLimit;
  int32_t maxMessage = kDefaultMaxMessage;  // the longest reply text taken, in bytes
};

struct UserSummary {
  int32_t id = 0;
  std::string name;
  std::string title;
  bool canLogIn = false;
  FILETIME newFilesDate{};
};

struct ConferenceSummary {
  int32_t number = 0;
  std::string name;
  uint32_t defaultFlags = kDefaultConferenceFlags;
  std::vector<std::string> readers;  // empty: everybody may read
  int32_t messageCount = 0;
};

struct PostRequest {
  int32_t conference = 0;
  std::string from;  // a user's name (his id and stored name are used) or any name
  std::string to;    // a user's name addresses him; any other name is kept as typed, id 0
  std::string subject;
  bool isPrivate = false;
  bool receipt = false;
  int32_t reference = 0;
  std::optional<FILETIME> date;  // message time; now when absent
  std::string text;
};

struct MessageSummary {
  int32_t id = 0;
  int32_t conference = 0;
  int32_t number = 0;
  std::string from;
  std::string to;
  std::string subject;
  bool isPrivate = false;
  bool received = false;
  bool receiptRequested = false;
  int32_t reference = 0;
  FILETIME messageTime{};
  int32_t fromId = 0;
  int32_t toId = 0;
  std::string text;  // filled by Show only
};

struct AreaSummary {
  int32_t number = 0;
  std::string name;
  bool exclude = false;
  int32_t fileCount = 0;
};

struct NodeActivity {
  std::string user;
  std::string text;
  FILETIME time{};
};

class BoardAdmin {
 public:
  // Creates a new board at `path` (refusing an existing file), readable
  // and writable by its owner only, with its configuration, the "DEFAULT"
  // account (no log-in possible) and the sysop's account (every flag on the
  // sysop object; his password hashed at `cost`). Nothing is left behind
  // when it fails.
  static void Create(const std::string& path, const BoardConfig& config,
                     const std::string& sysopPassword, HashCost cost = HashCost::kFull);
  // Opens an existing board (refusing a file that is not a board).
  static BoardAdmin Open(const std::string& path);

  // Configuration, by the tool's key names: name, sysop, city, phone,
  // packet-id, serial, version, packet-limit, conf-limit, max-message.
  std::vector<std::pair<std::string, std::string>> Config();
  std::string GetConfig(const std::string& key);
  void SetConfig(const std::string& key, const std::string& value);

  // The cost of the password hashes that AddUser and SetPassword make:
  // full unless set otherwise.
  void SetHashCost(HashCost cost) { hashCost_ = cost; }

  // Users. Names are stored in upper case and found in any letter case.
  int32_t AddUser(const std::string& name, const std::string& password, const std::string& title);
  void SetPassword(const std::string& name, const std::string& password);
  std::vector<UserSummary> ListUsers();
  int32_t UserId(const std::string& name);  // raises invalid_argument when unknown
  void SetNewFilesDate(const std::string& name, FILETIME date);
  std::optional<std::string> GetVar(const std::string& user, const std::string& key);
  void SetVar(const std::string& user, const std::string& key, const std::string& value);
  void Grant(const std::string& user, uint32_t object, uint32_t flags);

  // Conferences.
  void AddConference(int32_t number, const std::string& name, uint32_t defaultFlags,
                     const std::vector<std::string>& readers);
  std::vector<ConferenceSummary> ListConferences();
  uint32_t GetFlags(const std::string& user, int32_t conference);
  void SetFlags(const std::string& user, int32_t conference, uint32_t flags);
  int32_t GetLastRead(const std::string& user, int32_t conference);
  void SetLastRead(const std::string& user, int32_t conference, int32_t id);
  // Undoes the user's last download, whether or not its run ended well:
  // his pointers and read marks as they were before it, its unread
  // receipts removed (see board/deliveries.h). nullopt when there is no
  // download to undo.
  std::optional<RestoredDelivery> UndoLastDownload(const std::string& user);

  // Messages.
  PostResult Post(const PostRequest& request);
  std::vector<MessageSummary> ListMessages(std::optional<int32_t> conference,
                                           std::optional<std::string> user);
  std::optional<MessageSummary> Show(int32_t id);

  // File areas and files.
  void AddArea(int32_t number, const std::string& name, bool exclude);
  std::vector<AreaSummary> ListAreas();
  void AddFile(int32_t area, const std::string& name, int32_t size, const std::string& description,
               FILETIME date);

  // Server files: display screens by path, attachments by message id.
  void PutServerFile(const std::string& serverPath, const std::string& bytes);
  void Attach(int32_t messageId, const std::string& bytes);

  std::vector<NodeActivity> Who();

  // Bulk loading (generate): one write transaction around many calls.
  void BeginBulk();
  void CommitBulk();

  Database& database() { return db_; }

 private:
  explicit BoardAdmin(Database db) : db_(std::move(db)) {}
  Database db_;
  HashCost hashCost_ = HashCost::kFull;
};

// Parses "YYYY-MM-DD HH:MM" (local time) into a FILETIME; nullopt when the
// text is not such a date.
std::optional<FILETIME> ParseBoardDate(const std::string& text);

}  // namespace obrix::board
