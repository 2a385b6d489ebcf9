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

#include "board/database.h"
#include "board/deliveries.h"
#include "board/message_store.h"
#include "board/passwords.h"
#include "board/tables.h"
#include "platform/file_time.h"
#include "server/records.h"
#include "server/server.h"

namespace obrix::board {

struct BoardConfig {
  std::string name = "Obrix Demo BBS";
  std::string sysop = "Sysop";
  std::string city;  // empty unless given: it reaches every caller's CONTROL.DAT
  std::string phone;
  std::string packetId = "OBRIX";
  std::string serial = "00000001";
  int32_t version = kDefaultServerVersion;
  int32_t packetLimit = kDefaultBoardPacketLimit;
  int32_t confLimit = kDefaultBoardConferenceLimit;
  std::string charset = kPacketCharsetCp437;  // the packets' character set
  int32_t maxMessage = kDefaultMaxMessage;    // the longest reply text taken, in bytes
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
  int32_t mode = 0;  // 0: each reply's own marking decides; see docs/board.md
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
  FILETIME lastDownload{};  // zero: never
  FILETIME lastUpload{};
};

// What `EditMessage` changes; what is absent stays.
struct MessageEdit {
  std::optional<std::string> subject;
  std::optional<std::string> text;
  std::optional<bool> isPrivate;
};

// What `EditConference` changes; what is absent stays. Readers name users;
// an empty list opens the conference to everybody.
struct ConferenceEdit {
  std::optional<std::string> name;
  std::optional<uint32_t> defaultFlags;
  std::optional<std::vector<std::string>> readers;
  std::optional<int32_t> mode;
};

struct FileSummary {
  int64_t id = 0;
  int32_t area = 0;
  std::string name;
  std::string description;
  int64_t size = 0;
  FILETIME date{};
};

struct ServerFileSummary {
  std::string path;
  int64_t size = 0;
};

// Whether the configuration key holds a whole number (version, the limits,
// max-message, node-timeout) rather than text.
bool ConfigHoldsNumber(const std::string& key);

// The configuration keys, as BoardAdmin::Config lists them.
std::vector<std::string> ConfigKeys();

struct ConferenceStats {
  int32_t number = 0;
  std::string name;
  int64_t messages = 0;
  int64_t privateMessages = 0;
  FILETIME newest{};  // the message time of its latest message; zero when empty
};

struct UserActivity {
  std::string user;
  FILETIME lastDownload{};  // zero: never
  FILETIME lastUpload{};
};

// What BoardAdmin::Copy copied: users (DEFAULT left out, as in BoardStats),
// conferences, messages and file entries.
struct CopyReport {
  int64_t users = 0;
  int64_t conferences = 0;
  int64_t messages = 0;
  int64_t files = 0;
};

struct BoardStats {
  int64_t users = 0;  // accounts, DEFAULT left out
  int64_t messages = 0;
  int64_t privateMessages = 0;
  int64_t bytes = 0;  // the database's size
  std::vector<ConferenceStats> conferences;
  std::vector<UserActivity> activity;  // every user but DEFAULT
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
  // True when there is no board at `path` yet: no file of that name, or a
  // PostgreSQL database that holds no board.
  static bool Missing(const std::string& path);
  // Removes the board at `path` that this run has just made and nobody
  // uses yet, when filling it failed: a board file with its journal files,
  // or on PostgreSQL the board's schema with all it holds.
  static void RemoveNewBoard(const std::string& path);
  // Copies the board file `source` over the board file at `path` (made,
  // owner-only, when missing). `source` must be a whole board (SQLite's
  // integrity check) of a schema version this program reads. The board it
  // replaces is first copied to `path` + kBeforeRestoreSuffix (owner-only;
  // refused when that exists), whose name it returns; nullopt when there
  // was no board. Refused while any other connection has the board open
  // (a node, the tool), and for a board on PostgreSQL.
  static std::optional<std::string> Restore(const std::string& source, const std::string& path);
  // Copies the whole board `source` to `target`, either of them a board
  // file or a PostgreSQL database (see IsPostgresName), every row with its
  // ids and bytes as they are, and the id counters past every id the source
  // ever gave. The source is read under one snapshot, so a copy taken
  // while nodes run is the board as it stood at one moment. The target is
  // a board file that does not exist yet (made owner-only) or a database
  // that holds no board; it is written in one transaction, and a copy that
  // fails leaves nothing (a board file it made is removed).
  static CopyReport Copy(const std::string& source, const std::string& target);

  // Configuration, by the tool's key names: name, sysop, city, phone,
  // packet-id, serial, version, packet-limit, conf-limit, charset,
  // max-message, node-timeout.
  std::vector<std::pair<std::string, std::string>> Config();
  std::string GetConfig(const std::string& key);
  void SetConfig(const std::string& key, const std::string& value);

  // The cost of the password hashes that AddUser and SetPassword make:
  // full unless set otherwise.
  void SetHashCost(HashCost cost) { hashCost_ = cost; }

  // Users. Names are stored in upper case and found in any letter case;
  // a name has 1 to 25 characters (the width of a QWK header's names),
  // no "/" (the door's command line ends the name there) and no control
  // characters, and is not ALL or a control name (QMAIL, RIZIVI, TOMCAT;
  // the sysop's account neither). A password is one word: no blanks, no
  // control characters.
  int32_t AddUser(const std::string& name, const std::string& password, const std::string& title);
  void SetPassword(const std::string& name, const std::string& password);
  std::vector<UserSummary> ListUsers();
  int32_t UserId(const std::string& name);  // raises invalid_argument when unknown
  void SetNewFilesDate(const std::string& name, FILETIME date);
  // His pointers, flags, variables and access go; his messages stay with
  // his name, no longer tied to an account. DEFAULT cannot be deleted.
  void DeleteUser(const std::string& name);
  // His messages follow the new name.
  void RenameUser(const std::string& oldName, const std::string& newName);
  void SetTitle(const std::string& name, const std::string& title);

  // User variables of the "profile" section. SetVar stores any key and
  // value as given; SetSetting refuses a value of a known setting outside
  // its range, and an unknown key unless `force`.
  std::optional<std::string> GetVar(const std::string& user, const std::string& key);
  void SetVar(const std::string& user, const std::string& key, const std::string& value);
  void SetSetting(const std::string& user, const std::string& key, const std::string& value,
                  bool force);
  std::vector<std::pair<std::string, std::string>> ListVars(const std::string& user);
  void UnsetVar(const std::string& user, const std::string& key);  // refuses a key not set
  // Copies every profile value of DEFAULT to the users named (all but
  // DEFAULT when none is), replacing theirs; returns how many users.
  int32_t ApplyDefaults(const std::vector<std::string>& users);
  // How many users (DEFAULT left out) keep a value of their own of `key`,
  // which DEFAULT's value of it does not reach. An empty value counts as
  // none, as the door reads it.
  int32_t CountOwnValues(const std::string& key);
  void Grant(const std::string& user, uint32_t object, uint32_t flags);

  // Conferences. `mode` is the public/private mode of the replies posted
  // there (0 to 7; 0 leaves it to each reply).
  void AddConference(int32_t number, const std::string& name, uint32_t defaultFlags,
                     const std::vector<std::string>& readers, int32_t mode = 0);
  std::vector<ConferenceSummary> ListConferences();
  void EditConference(int32_t number, const ConferenceEdit& edit);
  // Refused while it holds messages unless `withMessages`; its messages,
  // their attachments and every user's flags and pointer in it go with it.
  void DeleteConference(int32_t number, bool withMessages);
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
  // Deletes the messages and their attachments, all or none (an unknown id
  // refuses the lot). A last-read pointer that named one of them moves back
  // to the message before it in its conference (0 when none), so every
  // pointer names a message and every walk goes on where it would have.
  void DeleteMessages(const std::vector<int32_t>& ids);
  void EditMessage(int32_t id, const MessageEdit& edit);

  // File areas and files.
  void AddArea(int32_t number, const std::string& name, bool exclude);
  std::vector<AreaSummary> ListAreas();
  void AddFile(int32_t area, const std::string& name, int32_t size, const std::string& description,
               FILETIME date);
  // Refused while it holds files unless `withFiles`.
  void DeleteArea(int32_t number, bool withFiles);
  std::vector<FileSummary> ListFiles(std::optional<int32_t> area);
  // Deletes the entries of that name (any letter case) in the area;
  // returns how many. Refuses when there is none.
  int32_t DeleteFile(int32_t area, const std::string& name);

  // Server files: display screens by path, attachments by message id.
  void PutServerFile(const std::string& serverPath, const std::string& bytes);
  void Attach(int32_t messageId, const std::string& bytes);
  // The server files that are not attachments.
  std::vector<ServerFileSummary> ListScreens();
  void DeleteScreen(const std::string& serverPath);

  std::vector<NodeActivity> Who();
  BoardStats Stats();
  // A consistent copy of the board file at `target` (a new file,
  // owner-only), while nodes go on using the board. Refused for a board on
  // PostgreSQL (pg_dump, or Copy to a board file, does it there).
  void Backup(const std::string& target);

  // Bulk loading (generate): one write transaction around many calls.
  void BeginBulk();
  void CommitBulk();

  Database& database() { return db_; }

  BoardAdmin(BoardAdmin&& other) noexcept
      : owned_(std::move(other.owned_)), db_(*owned_), hashCost_(other.hashCost_) {}
  BoardAdmin& operator=(BoardAdmin&&) = delete;

 private:
  explicit BoardAdmin(std::unique_ptr<Database> db) : owned_(std::move(db)), db_(*owned_) {}
  std::unique_ptr<Database> owned_;
  Database& db_;
  HashCost hashCost_ = HashCost::kFull;
};

// Parses "YYYY-MM-DD HH:MM" (local time) into a FILETIME; nullopt when the
// text is not such a date.
std::optional<FILETIME> ParseBoardDate(const std::string& text);

}  // namespace obrix::board
