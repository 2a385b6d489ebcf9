// Placeholder until the board administration lands.
#include "board/board_admin.h"

#include "server/failure.h"

namespace obrix::board {

namespace {
[[noreturn]] void Unavailable() { throw Failure(kFailureNotAvailable, "not available yet"); }
}  // namespace

void BoardAdmin::Create(const std::string&, const BoardConfig&, const std::string&) { Unavailable(); }
BoardAdmin BoardAdmin::Open(const std::string&) { Unavailable(); }
std::vector<std::pair<std::string, std::string>> BoardAdmin::Config() { Unavailable(); }
std::string BoardAdmin::GetConfig(const std::string&) { Unavailable(); }
void BoardAdmin::SetConfig(const std::string&, const std::string&) { Unavailable(); }
int32_t BoardAdmin::AddUser(const std::string&, const std::string&, const std::string&) { Unavailable(); }
void BoardAdmin::SetPassword(const std::string&, const std::string&) { Unavailable(); }
std::vector<UserSummary> BoardAdmin::ListUsers() { Unavailable(); }
int32_t BoardAdmin::UserId(const std::string&) { Unavailable(); }
void BoardAdmin::SetNewFilesDate(const std::string&, FILETIME) { Unavailable(); }
std::optional<std::string> BoardAdmin::GetVar(const std::string&, const std::string&) { Unavailable(); }
void BoardAdmin::SetVar(const std::string&, const std::string&, const std::string&) { Unavailable(); }
void BoardAdmin::Grant(const std::string&, uint32_t, uint32_t) { Unavailable(); }
void BoardAdmin::AddConference(int32_t, const std::string&, uint32_t, const std::vector<std::string>&) { Unavailable(); }
std::vector<ConferenceSummary> BoardAdmin::ListConferences() { Unavailable(); }
uint32_t BoardAdmin::GetFlags(const std::string&, int32_t) { Unavailable(); }
void BoardAdmin::SetFlags(const std::string&, int32_t, uint32_t) { Unavailable(); }
int32_t BoardAdmin::GetLastRead(const std::string&, int32_t) { Unavailable(); }
void BoardAdmin::SetLastRead(const std::string&, int32_t, int32_t) { Unavailable(); }
PostResult BoardAdmin::Post(const PostRequest&) { Unavailable(); }
std::vector<MessageSummary> BoardAdmin::ListMessages(std::optional<int32_t>, std::optional<std::string>) { Unavailable(); }
std::optional<MessageSummary> BoardAdmin::Show(int32_t) { Unavailable(); }
void BoardAdmin::AddArea(int32_t, const std::string&, bool) { Unavailable(); }
std::vector<AreaSummary> BoardAdmin::ListAreas() { Unavailable(); }
void BoardAdmin::AddFile(int32_t, const std::string&, int32_t, const std::string&, FILETIME) { Unavailable(); }
void BoardAdmin::PutServerFile(const std::string&, const std::string&) { Unavailable(); }
void BoardAdmin::Attach(int32_t, const std::string&) { Unavailable(); }
std::vector<NodeActivity> BoardAdmin::Who() { Unavailable(); }
void BoardAdmin::BeginBulk() { Unavailable(); }
void BoardAdmin::CommitBulk() { Unavailable(); }
std::optional<FILETIME> ParseBoardDate(const std::string&) { Unavailable(); }
std::string HashPassword(const std::string&) { Unavailable(); }
bool CheckPassword(const std::string&, const std::string&) { Unavailable(); }
}  // namespace obrix::board
