// The board: the embedded SQLite message base behind the server interface.
//
// One Board object is one connection and one context of the server's
// client library. docs/board.md states its semantics and schema.
#pragma once

#include <memory>
#include <string>

#include "server/server.h"

namespace obrix::board {

// The board file a connection opens by default: the environment variable
// OBRIX_BOARD when set, else "board.db" in the program's directory. Raises
// Failure(kFailureServer), naming the variable, for an installed program
// (IsInstalledProgramFolder), which keeps no board beside itself.
std::string DefaultBoardPath();

class Board final : public Server {
 public:
  Board();
  ~Board() override;
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  bool vbWildcatServerConnect(const char* server) override;
  bool WildcatServerCreateContext() override;
  bool WildcatServerDeleteContext() override;
  int32_t GetWildcatVersion() override;
  bool SetNodeActivity(const std::string& text) override;

  bool LoginSystem() override;
  bool vbLoginUserEx(int32_t userId, const std::string& password, int32_t flags,
                     const std::string& application, UserRecord& user) override;
  bool LogoutUser() override;

  bool vbGetUserByName(std::string& name, UserRecord& user, int32_t& position) override;
  bool vbGetUserById(int32_t id, UserRecord& user, int32_t& position) override;
  bool vbLookupName(std::string& name, UserInfo& info) override;
  std::string vbGetUserVariable(int32_t userId, const std::string& section, const std::string& key,
                                const std::string& defaultValue) override;
  bool SetUserVariable(int32_t userId, const std::string& section, const std::string& key,
                       const std::string& value) override;

  bool vbGetMakewild(MakewildRecord& record) override;
  bool GetQwkBaudLimits(int32_t& packetLimit, int32_t& conferenceLimit) override;
  uint32_t GetObjectFlags(uint32_t object) override;

  int32_t GetConferenceCount() override;
  int32_t GetFirstConference(int32_t kind, uint32_t mask) override;
  int32_t GetNextConference(int32_t kind, uint32_t mask, int32_t current) override;
  bool vbGetConfDesc(int32_t conference, ConfDescRecord& record) override;
  uint32_t GetConfFlags(int32_t conference) override;
  bool SetConfFlags(int32_t conference, uint32_t flags) override;

  int32_t GetHighMessageNumber(int32_t conference) override;
  int32_t GetMsgIdFromNumber(int32_t conference, int32_t number) override;
  int32_t GetMsgNumberFromId(int32_t conference, int32_t id) override;
  int32_t GetLastRead(int32_t conference) override;
  bool SetLastRead(int32_t conference, int32_t id) override;
  int32_t GetFirstUnread(int32_t conference) override;
  bool vbGetMessageById(int32_t conference, int32_t id, MessageRecord& record) override;
  bool vbSearchMessageById(int32_t conference, int32_t id, MessageRecord& record) override;
  bool vbGetNextMessage(MessageRecord& record) override;
  std::string vbGetText(const std::string& path) override;
  bool vbAddMessage(MessageRecord& record, const std::string& text) override;
  bool vbMarkMessageRead(MessageRecord& record) override;

  int32_t GetFirstFileArea(int32_t kind, int32_t flags) override;
  int32_t GetNextFileArea(int32_t kind, int32_t flags, int32_t current) override;
  bool vbGetFileArea(int32_t area, FileAreaRecord& record) override;
  bool vbSearchFileRecByAreaDate(int32_t area, const FILETIME& date, FileRecord& record,
                                 int32_t& position) override;
  bool vbGetNextFileRec(int32_t mode, FileRecord& record, int32_t& position) override;

  bool WcExistFile(std::string& path) override;
  int32_t WcCreateFile(const std::string& path, uint32_t access, uint32_t share,
                       uint32_t disposition) override;
  bool WcReadFile(int32_t handle, char* buffer, uint32_t size, uint32_t& bytesRead) override;
  bool WcCloseHandle(int32_t handle) override;

  int64_t WcGetFileSize(const std::string& path) override;
  uint32_t GetLastError() override;
  void BeginSnapshot() override;
  void EndSnapshot() override;
  void BeginBatch() override;
  void CommitBatch() override;
  void RollbackBatch() override;
  void BeginDelivery(const std::string& packetDigest) override;
  void FinishDelivery() override;
  bool RestoreDelivery() override;
  PacketOwner RestorePacketLeft(const std::string& packetDigest) override;
  int32_t GetMaxMessageSize() override;
  std::string ConnectFailure() override;
  void SyncCommits() override;
  bool LookupNamePrefix(const std::string& prefix, UserInfo& info) override;
  bool LookupNameSpelled(const std::string& spelled, const NameSpelling& spelling,
                         UserInfo& info) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace obrix::board
