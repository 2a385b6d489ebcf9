// The packet's fixed files: "messages.dat" with its banner block,
// "control.dat" (the board, the user, the time and the conference list) and
// "door.id" (this program and the control messages it accepts).
#include <string>

#include "base/text.h"
#include "base/version.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "qwk/qwk_files.h"
#include "qwk/qwk_header.h"

namespace obrix {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Line(const std::string& text) { return text + kCrLf; }

std::string TwoDigits(int value) { return PadText(Decimal(value), 1, 2, '0'); }

// "mm-dd-yyyy,hh:mm:ss" of one reading of the local clock.
std::string PacketTimeLine() {
  const SYSTEMTIME now = LocalNow();
  return TwoDigits(now.wMonth) + "-" + TwoDigits(now.wDay) + "-" +
         PadText(Decimal(now.wYear), 1, 4, '0') + "," + TwoDigits(now.wHour) + ":" +
         TwoDigits(now.wMinute) + ":" + TwoDigits(now.wSecond);
}

void WriteBanner(const std::string& path) {
  LocalFile file = LocalFile::CreateFresh(path);
  file.Write(PadText(PacketBannerText(), 0, static_cast<int32_t>(kQwkBlockSize), ' '));
  file.Close();
}

std::string ControlHead(const MakewildRecord& board, const std::string& userName) {
  return Line(board.boardName.Trimmed()) + Line(board.city.Trimmed()) +
         Line(board.phoneNumber.Trimmed()) + Line(ToUpper(board.sysopName.Trimmed()) + ", SysOp") +
         Line(board.serialNumber.Trimmed() + "," + ToUpper(board.packetId.Trimmed())) +
         Line(PacketTimeLine()) + Line(userName) + Line("") + Line("0") + Line("0");
}

// Line 11 and the pairs of number and name for every conference with a
// name, in rising number, then the three bulletin names. A conference that
// does not exist, or that the user may not read, comes back without a name
// and leaves a gap.
std::string ConferenceList(Server& server) {
  std::string pairs;
  int32_t listed = 0;
  const int32_t count = server.GetConferenceCount();
  for (int32_t number = 0; number < count; ++number) {
    ConfDescRecord conference;
    server.vbGetConfDesc(number, conference);
    const std::string name = conference.name.Trimmed();
    if (name.empty()) continue;
    ++listed;
    pairs += Line(Decimal(number)) + Line(name);
  }
  return Line(Decimal(listed - 1)) + pairs + Line("HELLO") + Line("BBSNEWS") + Line("GOODBYE");
}

std::string DoorId(Server& server) {
  return Line("DOOR = Obrix") +
         Line("Version = " + Decimal(version::kMajor) + "." + Decimal(version::kMinor) + "." +
              Decimal(version::kRevision)) +
         Line("SYSTEM = Wildcat! " + Decimal(server.GetWildcatVersion())) +
         Line("CONTROLNAME = RIZIVI") + Line("CONTROLTYPE = ADD") + Line("CONTROLTYPE = DROP") +
         Line("CONTROLTYPE = RESET") + Line("CONTROLTYPE = REQUEST") +
         Line("CONTROLTYPE = CONFIG") + Line("RECEIPT");
}

}  // namespace

bool QwkOpen(RunContext& context, const std::string& /*packetPath*/, int16_t /*smallControlDat*/) {
  Server& server = context.server;
  const std::string& directory = context.state.QwkPath;

  WriteBanner(directory + "messages.dat");

  MakewildRecord board;
  server.vbGetMakewild(board);
  LocalFile control = LocalFile::CreateFresh(directory + "control.dat");
  control.Write(ControlHead(board, context.state.UserName));
  control.Write(ConferenceList(server));
  control.Close();

  const std::string door = DoorId(server);
  LocalFile doorFile = LocalFile::CreateFresh(directory + "door.id");
  doorFile.Write(door);
  doorFile.Close();
  return true;
}

}  // namespace obrix
