// The server interface: the operations of the bulletin-board server's
// client library that the system calls, under their library names.
//
// Results: pass/fail operations return a boolean; counts, numbers, ids,
// flags and handles come back as 32-bit integers. Not-found and refusal are
// reported as the false or zero result. A failure of the server itself (its
// message base cannot be read or written) is raised as a Failure with
// number kFailureServer. Operations that act "for the user" act for the user
// logged in on the context and raise Failure(kFailureNotLoggedIn) when
// nobody is.
//
// Text passes as 8-bit Windows-1252 bytes. Record arguments are in/out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "server/records.h"

namespace obrix {

// Server access flags object: the sysop's message-base rights. A non-zero
// flag word on it lets the user post under any sender name and take his own
// messages in every packet.
inline constexpr uint32_t kSysopObject = 0x0100001A;
// Every flag of an object: SYSTEM's flag word on any object, and the
// sysop's on kSysopObject when the board is made.
inline constexpr uint32_t kAllObjectFlags = 0xFFFFFFFF;

// The access-flags object of conference N is kConferenceObjectBase + N.
inline constexpr uint32_t kConferenceObjectBase = 0x02000000;
// Flag on a conference's object: the user's replies to that conference may
// name their sender, as a sysop's may everywhere.
inline constexpr uint32_t kConferenceSenderFlag = 8;
// The longest message text the board takes when it keeps no other
// setting ("max-message"), in bytes.
inline constexpr int32_t kDefaultMaxMessage = 65536;

// The section of the user variables that hold a user's packet options.
inline constexpr const char* kProfileSection = "profile";
// The account whose variables hold the board-wide defaults of those
// options; it cannot log in.
inline constexpr const char* kDefaultAccount = "DEFAULT";
// The addressee of a message to everybody, and the control names: a reply
// addressed to one of those changes its sender's conference selection
// instead of being posted. No user may bear any of these names.
inline constexpr std::string_view kEveryone = "ALL";
inline constexpr std::string_view kControlNames[] = {"QMAIL", "RIZIVI", "TOMCAT"};
// True when `name` is exactly one of kControlNames (letter case counts).
inline bool IsControlName(std::string_view name) {
  for (const std::string_view control : kControlNames) {
    if (name == control) return true;
  }
  return false;
}

// The node activity texts of the two operations. Besides each user's
// latest line, the board keeps when each text was last recorded for him.
inline constexpr const char* kDownloadActivity = "QWK Download";
inline constexpr const char* kUploadActivity = "QWK Upload";

// The width of the names in a QWK header: a name that fills it may be a
// longer one cut short.
inline constexpr size_t kQwkNameWidth = 25;

// A user's name (as the board keeps it) in another spelling.
using NameSpelling = std::function<std::string(const std::string&)>;

// Last-error codes of the server (GetLastError after a failed operation).
enum ServerError : uint32_t {
  kServerOk = 0,
  kServerNotFound = 0x20000002,      // no such user, conference, message or file
  kServerAccessDenied = 0x20000005,  // the user may not do that
  kServerNotLoggedIn = 0x20000006,   // nobody is logged in on the context
  kServerBadRecord = 0x20000010,     // a record with fields out of range
  kServerBadPassword = 0x20000011,   // wrong password at log-in
  kServerNoConnection = 0x20000012,  // not connected, or no context
  kServerBadHandle = 0x20000013,     // a server file handle that is not open
  kServerDuplicate = 0x2000001D,     // the conference already holds that message
  kServerDatabase = 0x20000100,      // the message base failed
};

// File access constants of WcCreateFile.
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kFileShareRead = 1;
inline constexpr uint32_t kOpenExisting = 3;

// Whose delivery a packet left in the work directory was.
enum class PacketOwner { kNobody, kTheUser, kAnotherUser };

class Server {
 public:
  virtual ~Server() = default;

  // Connection.
  // Opens the board. `server` null: the board named by OBRIX_BOARD, or
  // board.db in the program's directory; otherwise the board file named.
  virtual bool vbWildcatServerConnect(const char* server) = 0;
  virtual bool WildcatServerCreateContext() = 0;
  virtual bool WildcatServerDeleteContext() = 0;
  virtual int32_t GetWildcatVersion() = 0;
  virtual bool SetNodeActivity(const std::string& text) = 0;

  // Log-in.
  virtual bool LoginSystem() = 0;
  virtual bool vbLoginUserEx(int32_t userId, const std::string& password, int32_t flags,
                             const std::string& application, UserRecord& user) = 0;
  virtual bool LogoutUser() = 0;

  // Users. `name` of vbGetUserByName and vbLookupName is in/out: it comes
  // back as the board stores it.
  virtual bool vbGetUserByName(std::string& name, UserRecord& user, int32_t& position) = 0;
  virtual bool vbGetUserById(int32_t id, UserRecord& user, int32_t& position) = 0;
  virtual bool vbLookupName(std::string& name, UserInfo& info) = 0;
  virtual std::string vbGetUserVariable(int32_t userId, const std::string& section,
                                        const std::string& key,
                                        const std::string& defaultValue) = 0;
  virtual bool SetUserVariable(int32_t userId, const std::string& section, const std::string& key,
                               const std::string& value) = 0;

  // Board.
  virtual bool vbGetMakewild(MakewildRecord& record) = 0;
  virtual bool GetQwkBaudLimits(int32_t& packetLimit, int32_t& conferenceLimit) = 0;
  virtual uint32_t GetObjectFlags(uint32_t object) = 0;

  // Conferences.
  virtual int32_t GetConferenceCount() = 0;
  virtual int32_t GetFirstConference(int32_t kind, uint32_t mask) = 0;
  virtual int32_t GetNextConference(int32_t kind, uint32_t mask, int32_t current) = 0;
  virtual bool vbGetConfDesc(int32_t conference, ConfDescRecord& record) = 0;
  virtual uint32_t GetConfFlags(int32_t conference) = 0;
  virtual bool SetConfFlags(int32_t conference, uint32_t flags) = 0;

  // Messages.
  virtual int32_t GetHighMessageNumber(int32_t conference) = 0;
  virtual int32_t GetMsgIdFromNumber(int32_t conference, int32_t number) = 0;
  virtual int32_t GetMsgNumberFromId(int32_t conference, int32_t id) = 0;
  virtual int32_t GetLastRead(int32_t conference) = 0;
  virtual bool SetLastRead(int32_t conference, int32_t id) = 0;
  virtual int32_t GetFirstUnread(int32_t conference) = 0;
  virtual bool vbGetMessageById(int32_t conference, int32_t id, MessageRecord& record) = 0;
  virtual bool vbSearchMessageById(int32_t conference, int32_t id, MessageRecord& record) = 0;
  virtual bool vbGetNextMessage(MessageRecord& record) = 0;
  virtual std::string vbGetText(const std::string& path) = 0;
  virtual bool vbAddMessage(MessageRecord& record, const std::string& text) = 0;
  virtual bool vbMarkMessageRead(MessageRecord& record) = 0;

  // File areas. Area numbers start at 1; 0 means no further area.
  virtual int32_t GetFirstFileArea(int32_t kind, int32_t flags) = 0;
  virtual int32_t GetNextFileArea(int32_t kind, int32_t flags, int32_t current) = 0;
  virtual bool vbGetFileArea(int32_t area, FileAreaRecord& record) = 0;
  virtual bool vbSearchFileRecByAreaDate(int32_t area, const FILETIME& date, FileRecord& record,
                                         int32_t& position) = 0;
  virtual bool vbGetNextFileRec(int32_t mode, FileRecord& record, int32_t& position) = 0;

  // Server files ("wc:\disp\hello1.bbs", "wc:\conf(3)\message(812)\attach").
  // `path` of WcExistFile is in/out, as the library may rewrite it.
  virtual bool WcExistFile(std::string& path) = 0;
  virtual int32_t WcCreateFile(const std::string& path, uint32_t access, uint32_t share,
                               uint32_t disposition) = 0;  // -1 when it cannot be opened
  virtual bool WcReadFile(int32_t handle, char* buffer, uint32_t size, uint32_t& bytesRead) = 0;
  virtual bool WcCloseHandle(int32_t handle) = 0;

  // The board's own operations beside the library's.
  // A server file's size in bytes, -1 when it is absent or not visible.
  virtual int64_t WcGetFileSize(const std::string& path) = 0;
  // The code of the last failed operation on this context (0 after a success).
  virtual uint32_t GetLastError() = 0;
  // A batch: the writes of the operations between BeginBatch and
  // CommitBatch take effect together or not at all, so a run that stops in
  // between (killed, or failing) leaves none of them. BeginBatch takes the
  // board's write lock at once, waiting for other nodes as a write does;
  // other nodes' writes wait until the batch ends. Batches do not nest.
  // Each raises Failure(kFailureServer) when the board cannot do it.
  virtual void BeginBatch() = 0;
  virtual void CommitBatch() = 0;
  // Drops the writes of an open batch; does nothing when none is open.
  virtual void RollbackBatch() = 0;
  // A snapshot: the reads between BeginSnapshot and EndSnapshot see the
  // board as it stood at the first of them, and share one read lock
  // instead of taking one each, while other nodes go on writing. Only
  // reads may be made inside a snapshot; snapshots and batches do not
  // nest. EndSnapshot does nothing when no snapshot is open.
  virtual void BeginSnapshot() = 0;
  virtual void EndSnapshot() = 0;

  // Delivery records: what the logged-in user's last download changed, so
  // that a packet that was built but never handed over loses no mail.
  // BeginDelivery, inside a batch, starts his new record (replacing the one
  // of his last delivery) as unfinished, for the packet whose digest is
  // `packetDigest` (PacketDigest): until the batch ends, the last-read
  // pointers he moves, the messages marked as received by him and the
  // messages posted in his name (receipts) are noted in it.
  // FinishDelivery marks his record as handed over. RestoreDelivery puts
  // back what an unfinished record noted (the pointers, where they still
  // stand where the delivery left them; the read marks, but for mail whose
  // receipt stays; the receipts not yet read) and drops the record; true
  // when there was one to put back. RestorePacketLeft does the same for the
  // finished record, the logged-in user's or another's, whose packet has
  // the digest `packetDigest`: a packet the BBS never took from the work
  // directory; it says whose record it put back, if any. Each raises
  // Failure(kFailureServer) when the board cannot do it.
  virtual void BeginDelivery(const std::string& packetDigest) = 0;
  virtual void FinishDelivery() = 0;
  virtual bool RestoreDelivery() = 0;
  virtual PacketOwner RestorePacketLeft(const std::string& packetDigest) = 0;
  // The longest message text the board takes, in bytes (kDefaultMaxMessage
  // when the board keeps no such setting).
  virtual int32_t GetMaxMessageSize() = 0;
  // Why the last vbWildcatServerConnect failed, naming the board as its
  // sysop knows it (a path, or a database with its host and port, never a
  // credential); empty when it did not fail or the server cannot tell.
  virtual std::string ConnectFailure() = 0;
  // Makes every commit made so far durable: when it returns, what the
  // operations before it wrote survives a power cut. A commit alone is
  // not synced (that waits for the board's next checkpoint).
  virtual void SyncCommits() = 0;
  // The user whose name begins with `prefix` (blanks around it removed,
  // any letter case), when exactly one user's name does and is longer:
  // a name cut short by a field too narrow for it. Fills `info` as
  // vbLookupName does and returns true; false when no user or more than
  // one answers.
  virtual bool LookupNamePrefix(const std::string& prefix, UserInfo& info) = 0;
  // The user whose name, as `spelling` writes it (a packet's character
  // set, say), reads `spelled` (blanks around it removed, any letter case);
  // a `spelled` that fills the QWK To field matches the first 25
  // characters of a longer spelling. Fills `info` as vbLookupName does and
  // returns true when exactly one user's does; false otherwise. Walks every
  // user: for a name that no direct look-up found.
  virtual bool LookupNameSpelled(const std::string& spelled, const NameSpelling& spelling,
                                 UserInfo& info) = 0;
};

}  // namespace obrix
