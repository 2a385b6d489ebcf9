// Placeholder until the board lands: every operation is unavailable.
#include "board/board.h"

#include "server/failure.h"

namespace obrix::board {

std::string DefaultBoardPath() { return "board.db"; }

struct Board::Impl {};
Board::Board() = default;
Board::~Board() = default;

bool Board::vbWildcatServerConnect(const char* /*server*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::WildcatServerCreateContext() { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::WildcatServerDeleteContext() { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetWildcatVersion() { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::SetNodeActivity(const std::string& /*text*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::LoginSystem() { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbLoginUserEx(int32_t /*userId*/, const std::string& /*password*/, int32_t /*flags*/, const std::string& /*application*/, UserRecord& /*user*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::LogoutUser() { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetUserByName(std::string& /*name*/, UserRecord& /*user*/, int32_t& /*position*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetUserById(int32_t /*id*/, UserRecord& /*user*/, int32_t& /*position*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbLookupName(std::string& /*name*/, UserInfo& /*info*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
std::string Board::vbGetUserVariable(int32_t /*userId*/, const std::string& /*section*/, const std::string& /*key*/, const std::string& /*defaultValue*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::SetUserVariable(int32_t /*userId*/, const std::string& /*section*/, const std::string& /*key*/, const std::string& /*value*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetMakewild(MakewildRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::GetQwkBaudLimits(int32_t& /*packetLimit*/, int32_t& /*conferenceLimit*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
uint32_t Board::GetObjectFlags(uint32_t /*object*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetConferenceCount() { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetFirstConference(int32_t /*kind*/, uint32_t /*mask*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetNextConference(int32_t /*kind*/, uint32_t /*mask*/, int32_t /*current*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetConfDesc(int32_t /*conference*/, ConfDescRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
uint32_t Board::GetConfFlags(int32_t /*conference*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::SetConfFlags(int32_t /*conference*/, uint32_t /*flags*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetHighMessageNumber(int32_t /*conference*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetMsgIdFromNumber(int32_t /*conference*/, int32_t /*number*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetMsgNumberFromId(int32_t /*conference*/, int32_t /*id*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetLastRead(int32_t /*conference*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::SetLastRead(int32_t /*conference*/, int32_t /*id*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetFirstUnread(int32_t /*conference*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetMessageById(int32_t /*conference*/, int32_t /*id*/, MessageRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbSearchMessageById(int32_t /*conference*/, int32_t /*id*/, MessageRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetNextMessage(MessageRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
std::string Board::vbGetText(const std::string& /*path*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbAddMessage(MessageRecord& /*record*/, const std::string& /*text*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbMarkMessageRead(MessageRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetFirstFileArea(int32_t /*kind*/, int32_t /*flags*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::GetNextFileArea(int32_t /*kind*/, int32_t /*flags*/, int32_t /*current*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetFileArea(int32_t /*area*/, FileAreaRecord& /*record*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbSearchFileRecByAreaDate(int32_t /*area*/, const FILETIME& /*date*/, FileRecord& /*record*/, int32_t& /*position*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::vbGetNextFileRec(int32_t /*mode*/, FileRecord& /*record*/, int32_t& /*position*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::WcExistFile(std::string& /*path*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int32_t Board::WcCreateFile(const std::string& /*path*/, uint32_t /*access*/, uint32_t /*share*/, uint32_t /*disposition*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::WcReadFile(int32_t /*handle*/, char* /*buffer*/, uint32_t /*size*/, uint32_t& /*bytesRead*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
bool Board::WcCloseHandle(int32_t /*handle*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
int64_t Board::WcGetFileSize(const std::string& /*path*/) { throw Failure(kFailureNotAvailable, "not available on this board"); }
uint32_t Board::GetLastError() { throw Failure(kFailureNotAvailable, "not available on this board"); }
}  // namespace obrix::board
