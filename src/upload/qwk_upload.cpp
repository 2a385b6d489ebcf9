#include "upload/qwk_upload.h"

#include <limits>
#include <optional>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "platform/files.h"
#include "qwk/qwk_files.h"
#include "upload/control_messages.h"
#include "upload/rep_archive.h"
#include "upload/reply_reader.h"
#include "upload/reply_rules.h"

namespace obrix {

namespace {

// The widest subject the "Conf: " line shows.
constexpr size_t kLoggedSubjectWidth = 21;

bool IsControlName(const std::string& name) {
  return name == "QMAIL" || name == "RIZIVI" || name == "TOMCAT";
}

// The logged-in user's id as the board records who uploaded a message: a
// blank before an id that is not negative.
std::string UploaderIdText(int32_t userId) { return (userId >= 0 ? " " : "") + Decimal(userId); }

// Looks up the name held in `field`, passed whole (72 characters, blank
// filled). The field takes the name as the board writes it back, and
// `user` (whose own name `field` may be) the id, name and title of the user
// who answers to it, if anyone does.
void LookUpName(Server& server, FixedText<72>& field, UserInfo& user) {
  std::string name = field.Str();
  UserInfo found;
  const bool known = server.vbLookupName(name, found);
  field.Set(name);
  if (known) user = found;
}

// Settles what the reply's conference decides, fills in the sender and
// addressee, posts the reply and logs what became of it. Returns true when
// the board stored it.
bool PostReply(RunContext& context, const UserRecord& user, MessageRecord& record,
               const std::string& text) {
  Server& server = context.server;
  const ConfDescRecord conference = ConferenceOf(server, record.conference);
  record.isPrivate = PrivateByMode(conference.mode, record.isPrivate);
  record.reference = ReferencedMessageId(server, record);
  if (MayNameSender(server, conference)) {
    record.from.name.Set(ToUpper(record.from.name.View()));
    LookUpName(server, record.from.name, record.from);
  } else {
    record.from = user.info;
  }

  record.to.name.Set(ToUpper(record.to.name.Trimmed()));
  if (record.to.id == 0) LookUpName(server, record.to.name, record.to);

  record.UploaderIdText.Set(UploaderIdText(context.state.UserId));

  if (server.vbAddMessage(record, text)) {
    context.log.Line("Conf: " + Decimal(record.conference) +
                     " To: " + LogSafe(record.to.name.Trimmed()) +
                     " Subj: " + LogSafe(record.subject.Trimmed().substr(0, kLoggedSubjectWidth)));
    return true;
  }
  const uint32_t code = server.GetLastError();
  if (code == kServerDuplicate) {
    context.log.Line("Duplicate message to " + LogSafe(record.to.name.Trimmed()));
  } else {
    context.log.Line("Error #" + Decimal(static_cast<int32_t>(code)) + " adding message to " +
                     LogSafe(record.to.name.Trimmed()));
    context.log.Line("This message could potentially already exist.");
  }
  return false;
}

// Removes a packet file that is still there, naming it in the log.
void RemovePacketFile(RunContext& context, std::string path) {
  if (!FileExists(context.server, path)) return;
  context.log.Line("Removing " + path + "...");
  RemoveFile(path);
}

// The packet id of the board, which names the REP packet and its reply file.
std::string PacketId(Server& server) {
  MakewildRecord board;
  server.vbGetMakewild(board);
  return board.packetId.Trimmed();
}

UserRecord LoggedInUser(RunContext& context) {
  UserRecord user;
  int32_t position = 0;
  context.server.vbGetUserById(context.state.UserId, user, position);
  return user;
}

// The path of the REP packet in the work directory; nullopt (logged) when
// there is none.
std::optional<std::string> LocateReplyArchive(RunContext& context, const std::string& packetId) {
  const std::string& qwkPath = context.state.QwkPath;
  std::optional<std::string> archive = FindReplyArchive(context.server, qwkPath, packetId);
  if (!archive) {
    context.log.Line("Unable to locate BBS .REP packet [" + qwkPath + packetId + ".rep]");
  }
  return archive;
}

// Unpacks the reply file of `archive` into `folder` and opens it with
// `reader`. Returns its path; nullopt (logged) when either step fails.
std::optional<std::string> OpenReplyFile(RunContext& context, const std::string& archive,
                                         const std::string& packetId, const UnpackFolder& folder,
                                         ReplyReader& reader) {
  if (!UnzipReplyMember(archive, packetId, folder.path())) {
    context.log.Line("There was a problem unzipping the .REP archive.");
    return std::nullopt;
  }
  std::optional<std::string> replyPath = FindReplyFile(folder.path(), packetId);
  if (!replyPath || !reader.OpenReplyFile(*replyPath)) {
    context.log.Line("Unable to open .REP file");
    return std::nullopt;
  }
  return replyPath;
}

// Reads the reply file to its end, acting on control messages and posting
// the other replies; returns how many the board stored. Raises
// Failure(kFailureOverflow) when that count outgrows 16 bits.
int16_t PostReplies(RunContext& context, const UserRecord& user, ReplyReader& reader) {
  PacketCharset charset = PacketCharset::ForBoard(context.server);
  int16_t posted = 0;
  for (;;) {
    MessageRecord record;
    std::string text;
    if (!reader.ReadReply(context, record, text)) break;
    ReplyToBoard(charset, record, text);
    if (IsControlName(record.to.name.Trimmed())) {
      HandleControlMessage(context, record, text);
      continue;
    }
    if (PostReply(context, user, record, text)) {
      if (posted == std::numeric_limits<int16_t>::max()) {
        throw Failure(kFailureOverflow, "Overflow");
      }
      ++posted;
    }
  }
  reader.CloseReplyFile();
  return posted;
}

// The private folder goes before the archive: a run stopped in between
// leaves the archive, which the next upload reads again, and never a
// folder that no run would come back for.
void RemovePacket(RunContext& context, const std::string& replyPath, UnpackFolder& unpacked,
                  const std::string& archive) {
  RemovePacketFile(context, replyPath);
  unpacked.Remove();
  RemovePacketFile(context, archive);
}

bool Upload(RunContext& context) {
  const std::string packetId = PacketId(context.server);
  const UserRecord user = LoggedInUser(context);
  context.server.SetNodeActivity(kUploadActivity);
  // A run killed while it read a packet left its reply file behind.
  RemoveStaleUnpackFolders(context.state.QwkPath);

  const std::optional<std::string> archive = LocateReplyArchive(context, packetId);
  if (!archive) return false;
  UnpackFolder unpacked(context.state.QwkPath);
  ReplyReader reader;
  const std::optional<std::string> replyPath =
      OpenReplyFile(context, *archive, packetId, unpacked, reader);
  if (!replyPath) return false;

  const int16_t posted = PostReplies(context, user, reader);
  context.log.Line(posted == 1 ? std::string("1 reply uploaded.")
                               : Decimal(posted) + " replies uploaded.");
  RemovePacket(context, *replyPath, unpacked, *archive);
  return true;
}

}  // namespace

bool QwkUpload(RunContext& context) {
  try {
    return Upload(context);
  } catch (const Failure& failure) {
    context.log.Line("(QwkUpload) - Error #" + Decimal(failure.number()) + ": " +
                     failure.description());
    return false;
  }
}

}  // namespace obrix
