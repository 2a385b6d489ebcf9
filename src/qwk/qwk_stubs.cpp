// Placeholders until the packet files land; each is removed as its real
// implementation arrives in its own file.
#include "qwk/qwk_files.h"
#include "server/failure.h"

namespace obrix {

namespace {
[[noreturn]] void Unavailable() { throw Failure(kFailureNotAvailable, "not available yet"); }
}  // namespace

void WriteNewFilesList(RunContext&, const std::string&) { Unavailable(); }
void AddBulletins(RunContext&, const std::string&) { Unavailable(); }
bool CopyServerFile(Server&, const std::string&, const std::string&, bool) { Unavailable(); }
bool BuildPacketArchive(RunContext&) { Unavailable(); }
std::string PacketArchiveCommand(const std::string&, const std::string&) { Unavailable(); }
bool FileExists(Server&, std::string&) { Unavailable(); }

}  // namespace obrix
