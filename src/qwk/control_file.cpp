// The packet's fixed files: "messages.dat" with its banner block,
// "control.dat" (the board, the user, the time and the conference list) and
// "door.id" (this program and the control messages it accepts).
#include <string>
#include <vector>

#include "base/text.h"
#include "base/version.h"
#include "platform/files.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "server/batch.h"

namespace obrix {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string Line(const std::string& text) { return text + kCrLf; }

// "mm-dd-yyyy,hh:mm:ss".
std::string PacketTimeLine(const SYSTEMTIME& time) {
  return TwoDigits(time.wMonth) + "-" + TwoDigits(time.wDay) + "-" +
         PadText(Decimal(time.wYear), 1, 4, '0') + "," + TwoDigits(time.wHour) + ":" +
         TwoDigits(time.wMinute) + ":" + TwoDigits(time.wSecond);
}

void WriteNewFile(const std::string& path, const std::string& bytes) {
  LocalFile file = LocalFile::CreateFresh(path);
  file.Write(bytes);
  file.Close();
}

// A conference as the packet's files list it.
struct Conference {
  int32_t number = 0;
  std::string name;  // empty: missing, or closed to the user
  int32_t mode = 0;
  uint32_t flags = 0;  // the user's flags, read for "toreader.ext" only
};

// Every conference by number with the name the board gives the user, read
// in one snapshot (a board on a server answers them all in one round trip).
std::vector<Conference> Conferences(Server& server, bool withFlags) {
  std::vector<Conference> conferences;
  Snapshot snapshot(server);
  const int32_t count = server.GetConferenceCount();
  for (int32_t number = 0; number < count; ++number) {
    ConfDescRecord description;
    server.vbGetConfDesc(number, description);
    Conference conference{number, description.name.Trimmed(), description.mode, 0};
    if (withFlags && !conference.name.empty()) conference.flags = server.GetConfFlags(number);
    conferences.push_back(std::move(conference));
  }
  snapshot.End();
  return conferences;
}

}  // namespace

// Ten lines of board, time and user; line 11 and the pairs of number and
// name for every conference with a name, in rising number (a conference
// without one leaves a gap), then the three bulletin names.
std::string EncodeControlDat(const ControlDat& control) {
  std::string text = Line(control.boardName) + Line(control.city) + Line(control.phone) +
                     Line(ToUpper(control.sysop) + ", SysOp") +
                     Line(control.serial + "," + ToUpper(control.packetId)) +
                     Line(PacketTimeLine(control.madeAt)) + Line(control.userName) + Line("") +
                     Line("0") + Line("0");
  std::string pairs;
  int32_t listed = 0;
  for (const auto& [number, name] : control.conferences) {
    if (name.empty()) continue;
    ++listed;
    pairs += Line(Decimal(number)) + Line(name);
  }
  return text + Line(Decimal(listed - 1)) + pairs + Line("HELLO") + Line("BBSNEWS") +
         Line("GOODBYE");
}

std::string EncodeDoorId(int32_t systemVersion, PacketKind kind) {
  return Line("DOOR = Obrix") +
         Line("Version = " + Decimal(version::kMajor) + "." + Decimal(version::kMinor) + "." +
              Decimal(version::kRevision)) +
         Line("SYSTEM = Wildcat! " + Decimal(systemVersion)) + Line("CONTROLNAME = RIZIVI") +
         Line("CONTROLTYPE = ADD") + Line("CONTROLTYPE = DROP") + Line("CONTROLTYPE = RESET") +
         Line("CONTROLTYPE = REQUEST") + Line("CONTROLTYPE = CONFIG") +
         (HasQwkeExtension(kind) ? Line("CONTROLTYPE = YOURS") : "") + Line("RECEIPT");
}

bool QwkOpen(Server& server, const Clock& clock, const std::string& directory,
             const std::string& userName, PacketCharset& charset, PacketKind kind) {
  WriteNewFile(directory + kMessagesFile, EncodeBannerBlock());

  MakewildRecord board;
  server.vbGetMakewild(board);
  LocalFile controlFile = LocalFile::CreateFresh(directory + kControlFile);
  ControlDat control;
  control.boardName = board.boardName.Trimmed();
  control.city = board.city.Trimmed();
  control.phone = board.phoneNumber.Trimmed();
  control.sysop = board.sysopName.Trimmed();
  control.serial = board.serialNumber.Trimmed();
  control.packetId = board.packetId.Trimmed();
  control.madeAt = clock.LocalNow();
  control.userName = userName;
  const std::vector<Conference> conferences = Conferences(server, HasQwkeExtension(kind));
  std::vector<ReaderArea> areas;
  for (const Conference& conference : conferences) {
    control.conferences.emplace_back(conference.number, conference.name);
    if (!conference.name.empty()) {
      areas.push_back(ReaderArea{conference.number, conference.flags, conference.mode});
    }
  }
  // Everything but the board's texts is ASCII, which converts unchanged.
  controlFile.Write(charset.ToPacket(EncodeControlDat(control)));
  controlFile.Close();

  WriteNewFile(directory + kDoorIdFile, EncodeDoorId(server.GetWildcatVersion(), kind));
  if (HasQwkeExtension(kind)) WriteNewFile(directory + kToReaderFile, EncodeToReaderExt(areas));
  if (kind == PacketKind::kUtf8) WriteNewFile(directory + kHeadersFile, "");
  return true;
}

}  // namespace obrix
