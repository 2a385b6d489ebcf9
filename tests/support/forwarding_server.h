// A server that forwards every operation to another one: the base of the
// tests' fault-injecting wrappers around the real board. Override the
// operations that should fail on cue.
#pragma once

#include "server/server.h"

namespace obrix::testing {

class ForwardingServer : public Server {
 public:
  explicit ForwardingServer(Server& inner) : inner_(inner) {}

#define FORWARD(ret, name, params, args) \
  ret name params override { return inner_.name args; }
  FORWARD(bool, vbWildcatServerConnect, (const char* s), (s))
  FORWARD(bool, WildcatServerCreateContext, (), ())
  FORWARD(bool, WildcatServerDeleteContext, (), ())
  FORWARD(int32_t, GetWildcatVersion, (), ())
  FORWARD(bool, SetNodeActivity, (const std::string& t), (t))
  FORWARD(bool, LoginSystem, (), ())
  FORWARD(bool, vbLoginUserEx,
          (int32_t i, const std::string& pw, int32_t f, const std::string& a, UserRecord& u),
          (i, pw, f, a, u))
  FORWARD(bool, LogoutUser, (), ())
  FORWARD(bool, vbGetUserByName, (std::string & n, UserRecord& u, int32_t& p), (n, u, p))
  FORWARD(bool, vbGetUserById, (int32_t i, UserRecord& u, int32_t& p), (i, u, p))
  FORWARD(bool, vbLookupName, (std::string & n, UserInfo& i), (n, i))
  FORWARD(bool, LookupNameSpelled, (const std::string& n, const NameSpelling& s, UserInfo& i),
          (n, s, i))
  FORWARD(std::string, vbGetUserVariable,
          (int32_t u, const std::string& s, const std::string& k, const std::string& d),
          (u, s, k, d))
  FORWARD(bool, SetUserVariable,
          (int32_t u, const std::string& s, const std::string& k, const std::string& v),
          (u, s, k, v))
  FORWARD(bool, vbGetMakewild, (MakewildRecord & r), (r))
  FORWARD(bool, GetQwkBaudLimits, (int32_t & a, int32_t& b), (a, b))
  FORWARD(uint32_t, GetObjectFlags, (uint32_t o), (o))
  FORWARD(int32_t, GetConferenceCount, (), ())
  FORWARD(int32_t, GetFirstConference, (int32_t k, uint32_t m), (k, m))
  FORWARD(int32_t, GetNextConference, (int32_t k, uint32_t m, int32_t c), (k, m, c))
  FORWARD(bool, vbGetConfDesc, (int32_t c, ConfDescRecord& r), (c, r))
  FORWARD(uint32_t, GetConfFlags, (int32_t c), (c))
  FORWARD(bool, SetConfFlags, (int32_t c, uint32_t f), (c, f))
  FORWARD(int32_t, GetHighMessageNumber, (int32_t c), (c))
  FORWARD(int32_t, GetMsgIdFromNumber, (int32_t c, int32_t n), (c, n))
  FORWARD(int32_t, GetMsgNumberFromId, (int32_t c, int32_t i), (c, i))
  FORWARD(int32_t, GetLastRead, (int32_t c), (c))
  FORWARD(bool, SetLastRead, (int32_t c, int32_t i), (c, i))
  FORWARD(int32_t, GetFirstUnread, (int32_t c), (c))
  FORWARD(bool, vbGetMessageById, (int32_t c, int32_t i, MessageRecord& r), (c, i, r))
  FORWARD(bool, vbSearchMessageById, (int32_t c, int32_t i, MessageRecord& r), (c, i, r))
  FORWARD(bool, vbGetNextMessage, (MessageRecord & r), (r))
  FORWARD(std::string, vbGetText, (const std::string& p), (p))
  FORWARD(bool, vbAddMessage, (MessageRecord & r, const std::string& t), (r, t))
  FORWARD(bool, vbMarkMessageRead, (MessageRecord & r), (r))
  FORWARD(int32_t, GetFirstFileArea, (int32_t k, int32_t f), (k, f))
  FORWARD(int32_t, GetNextFileArea, (int32_t k, int32_t f, int32_t c), (k, f, c))
  FORWARD(bool, vbGetFileArea, (int32_t a, FileAreaRecord& r), (a, r))
  FORWARD(bool, vbSearchFileRecByAreaDate,
          (int32_t a, const FILETIME& d, FileRecord& r, int32_t& p), (a, d, r, p))
  FORWARD(bool, vbGetNextFileRec, (int32_t m, FileRecord& r, int32_t& p), (m, r, p))
  FORWARD(bool, WcExistFile, (std::string & p), (p))
  FORWARD(int32_t, WcCreateFile, (const std::string& p, uint32_t a, uint32_t s, uint32_t d),
          (p, a, s, d))
  FORWARD(bool, WcReadFile, (int32_t h, char* b, uint32_t s, uint32_t& n), (h, b, s, n))
  FORWARD(bool, WcCloseHandle, (int32_t h), (h))
  FORWARD(int64_t, WcGetFileSize, (const std::string& p), (p))
  FORWARD(uint32_t, GetLastError, (), ())
  FORWARD(void, BeginSnapshot, (), ())
  FORWARD(void, EndSnapshot, (), ())
  FORWARD(void, BeginBatch, (), ())
  FORWARD(void, CommitBatch, (), ())
  FORWARD(void, RollbackBatch, (), ())
  FORWARD(void, BeginDelivery, (const std::string& d), (d))
  FORWARD(void, FinishDelivery, (), ())
  FORWARD(bool, RestoreDelivery, (), ())
  FORWARD(PacketOwner, RestorePacketLeft, (const std::string& d), (d))
  FORWARD(int32_t, GetMaxMessageSize, (), ())
  FORWARD(std::string, ConnectFailure, (), ())
  FORWARD(void, SyncCommits, (), ())
  FORWARD(bool, LookupNamePrefix, (const std::string& p, UserInfo& i), (p, i))
#undef FORWARD

 protected:
  Server& inner_;
};

}  // namespace obrix::testing
