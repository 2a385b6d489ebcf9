#include "upload/qwk_upload.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "platform/files.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"
#include "qwk/qwk_header.h"
#include "server/batch.h"
#include "upload/control_messages.h"
#include "upload/kept_packet.h"
#include "upload/rep_archive.h"
#include "upload/reply_headers.h"
#include "upload/reply_reader.h"
#include "upload/reply_rules.h"
#include "upload/reply_utf8.h"
#include "upload/upload_bounds.h"

namespace obrix {

namespace {

// The widest subject the "Conf: " line shows.
constexpr size_t kLoggedSubjectWidth = 21;

// The logged-in user's id as the board records who uploaded a message: a
// blank before an id that is not negative.
std::string UploaderIdText(int32_t userId) { return (userId >= 0 ? " " : "") + Decimal(userId); }

// Replies are posted in batches of this many: each batch is one write
// transaction with one commit, rather than one each, and holds the other
// nodes' writes back for a fraction of a second at most (a reply takes two
// round trips to a database server). A run stopped inside
// a batch leaves none of its replies on the board; its REP is kept, and
// the next upload of it posts them (those committed before are duplicates
// by then, neither posted nor refused again).
constexpr int kRepliesPerCommit = 50;

// What posting the replies of one upload shares, and what it asks of the
// board once per run rather than once per reply: conferences, whether the
// caller may name the sender in each, the users that names find.
struct Posting {
  Posting(RunContext& runContext, const UserRecord& loggedIn, UploadBounds& uploadBounds)
      : context(runContext),
        user(loggedIn),
        bounds(uploadBounds),
        charset(PacketCharset::ForBoard(runContext.server)),
        spellings(charset) {}
  Posting(const Posting&) = delete;
  Posting& operator=(const Posting&) = delete;

  const ConfDescRecord& Conference(int32_t number) {
    auto known = conferences.find(number);
    if (known == conferences.end()) {
      known = conferences.emplace(number, ConferenceOf(context.server, number)).first;
    }
    return known->second;
  }
  bool NamesSender(const ConfDescRecord& conference) {
    auto known = namesSender.find(conference.objectId);
    if (known == namesSender.end()) {
      known =
          namesSender.emplace(conference.objectId, MayNameSender(context.server, conference)).first;
    }
    return known->second;
  }
  // Looks up the name held in `field`, passed whole (72 characters, blank
  // filled). The field takes the name as the board writes it back, and
  // `found` (whose own name `field` may be) the id, name and title of the
  // user who answers to it, if anyone does.
  void LookUpName(FixedText<72>& field, UserInfo& found) {
    auto known = names.find(field.Str());
    if (known == names.end()) {
      std::string name = field.Str();
      UserInfo answering;
      const bool answers = context.server.vbLookupName(name, answering);
      known = names
                  .emplace(field.Str(),
                           NameFound{name, answers ? std::optional(answering) : std::nullopt})
                  .first;
    }
    field.Set(known->second.written);
    if (known->second.user) found = *known->second.user;
  }

  RunContext& context;
  const UserRecord& user;
  UploadBounds& bounds;
  PacketCharset charset;
  Utf8Replies utf8;
  AddresseeSpellings spellings;
  // The log lines of the replies posted in the open batch: logged once
  // it is committed.
  std::vector<std::string> posted;

 private:
  struct NameFound {
    std::string written;
    std::optional<UserInfo> user;
  };
  std::map<int32_t, ConfDescRecord> conferences;
  std::map<int32_t, bool> namesSender;  // by the conference's object
  std::map<std::string, NameFound> names;
};

// Looks the addressee up by name. A name that fills the header's To field
// and finds nobody may be a longer user name cut short by the field: the
// one user whose name begins with it is the addressee. A name that still
// finds nobody may be a user's as the packets spell it.
void LookUpAddressee(Posting& posting, UserInfo& to) {
  Server& server = posting.context.server;
  posting.LookUpName(to.name, to);
  if (to.id != 0) return;
  const std::string name = to.name.Trimmed();
  UserInfo found;
  if (name.size() == kQwkTo.width && server.LookupNamePrefix(name, found)) {
    to = found;
  } else if (const std::optional<UserInfo> spelled = posting.spellings.Find(server, name)) {
    to = *spelled;
  }
}

// Why the board refused a reply, from its last error.
std::string RefusalReason(uint32_t code, const MessageRecord& record) {
  switch (code) {
    case kServerNotFound:
      return "no such conference";
    case kServerAccessDenied:
      return "not allowed to write there";
    case kServerBadRecord:
      if (record.conference < 0) return "no such conference";
      if (record.to.name.IsBlank()) return "no addressee";
      return "a header the board does not take (names or date)";
    default:
      return "the board did not take it (error " + Decimal(static_cast<int32_t>(code)) + ")";
  }
}

// Logs a reply refused for `reason` (the first lines of their kind only).
// True when the line was logged.
bool LogRefused(UploadBounds& bounds, const MessageRecord& record, const std::string& reason) {
  return bounds.Line("Refused the reply to",
                     "Refused the reply to " + LogSafe(record.to.name.Trimmed()) +
                         " in conference " + Decimal(record.conference) + ": " + reason);
}

// Logs a reply the board refused, and why.
void ReportRefusal(Posting& posting, const MessageRecord& record, uint32_t code) {
  LogRefused(posting.bounds, record, RefusalReason(code, record));
}

enum class ReplyOutcome { kPosted, kRefused, kNeither };

// Settles what the reply's conference decides, fills in the sender and
// addressee, posts the reply and logs what became of it (a duplicate is
// neither posted nor refused).
ReplyOutcome PostReply(Posting& posting, MessageRecord& record, const std::string& text) {
  RunContext& context = posting.context;
  Server& server = context.server;
  const ConfDescRecord& conference = posting.Conference(record.conference);
  if (record.isPrivate && IsPublicOnlyMode(conference.mode)) {
    LogRefused(posting.bounds, record,
               "private replies are not taken in conference " + Decimal(record.conference));
    return ReplyOutcome::kRefused;
  }
  record.isPrivate = PrivateByMode(conference.mode, record.isPrivate);
  record.reference = ReferencedMessageId(server, record);
  if (posting.NamesSender(conference)) {
    record.from.name.Set(ToUpper(record.from.name.View()));
    posting.LookUpName(record.from.name, record.from);
  } else {
    record.from = posting.user.info;
  }

  record.to.name.Set(ToUpper(record.to.name.Trimmed()));
  if (record.to.id == 0) LookUpAddressee(posting, record.to);

  record.UploaderIdText.Set(UploaderIdText(context.state.UserId));

  if (server.vbAddMessage(record, text)) {
    posting.posted.push_back(
        "Conf: " + Decimal(record.conference) + " To: " + LogSafe(record.to.name.Trimmed()) +
        " Subj: " + LogSafe(record.subject.Trimmed().substr(0, kLoggedSubjectWidth)));
    return ReplyOutcome::kPosted;
  }
  const uint32_t code = server.GetLastError();
  if (code == kServerDuplicate) {
    posting.bounds.Line("Duplicate message to",
                        "Duplicate message to " + LogSafe(record.to.name.Trimmed()));
    return ReplyOutcome::kNeither;
  }
  ReportRefusal(posting, record, code);
  return ReplyOutcome::kRefused;
}

// What became of the replies of one REP packet.
struct ReplyTally {
  int32_t posted = 0;
  // Refused for any reason but a duplicate, or skipped as unreadable.
  int32_t refused = 0;
};

// False (logged as refused) when the reply's text is longer than the
// board takes.
bool WithinBound(UploadBounds& bounds, const MessageRecord& record, const std::string& text,
                 int32_t maxMessage) {
  if (static_cast<int64_t>(text.size()) <= maxMessage) return true;
  LogRefused(bounds, record,
             "too long (" + Decimal(static_cast<int64_t>(text.size())) + " bytes, at most " +
                 Decimal(maxMessage) + ")");
  return false;
}

// Removes a packet file that is still there, naming it in the log.
void RemovePacketFile(RunContext& context, std::string path) {
  if (path.empty() || !FileExists(context.server, path)) return;
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

// The paths of the REP packets that answer to the pickup name in the work
// directory: one, the caller's, or several, whose owners nobody can tell.
// Empty (logged) when there is none, or when the one there cannot be read
// (it is left where it is).
std::vector<std::string> LocateReplyArchives(RunContext& context, const std::string& packetId) {
  const std::string& qwkPath = context.state.QwkPath;
  const std::vector<ReplyArchive> archives = FindReplyArchives(context.server, qwkPath, packetId);
  if (archives.empty()) {
    context.log.Line("Unable to locate BBS .REP packet [" + qwkPath + packetId + ".rep]");
    return {};
  }
  if (archives.size() == 1 && !archives.front().unreadable.empty()) {
    context.log.Line("Cannot read " + archives.front().path + ": " + archives.front().unreadable);
    return {};
  }
  std::vector<std::string> paths;
  paths.reserve(archives.size());
  for (const ReplyArchive& archive : archives) paths.push_back(archive.path);
  return paths;
}

// Several REPs answer to the pickup name in different letter cases: one
// may be a caller's whose run never took it, and no name says which is
// this caller's. None is posted; every one is kept for the sysop.
void KeepEveryReplyArchive(RunContext& context, const std::vector<std::string>& archives,
                           const std::string& packetId) {
  for (const std::string& archive : archives) {
    std::string line = "Not posting " + archive + ": more than one reply packet answers to ";
    line += packetId + kReplyArchiveExtension;
    context.log.Line(line);
  }
  for (const std::string& archive : archives) {
    context.state.keptReplyPackets.push_back(KeepUnownedPacket(context, archive));
  }
  SyncClaim(context);
}

// Unpacks the reply file of `archive` into `folder` and opens it with
// `reader`. Returns its path; nullopt (logged) when either step fails, with
// `held` naming what the archive holds when it holds no reply file of this
// board's (a reply packet for another board). `names` gets the archive's
// members whenever it could be listed. Further reply files in the archive
// are logged as ignored.
std::optional<std::string> OpenReplyFile(RunContext& context, const std::string& archive,
                                         const std::string& packetId, const UnpackFolder& folder,
                                         ReplyReader& reader, std::vector<std::string>& held,
                                         std::vector<std::string>& names) {
  const std::optional<std::vector<std::string>> members =
      UnzipReplyMember(context.processes, archive, packetId, folder.path(), &names);
  if (!members) {
    context.log.Line("There was a problem unzipping the .REP archive.");
    return std::nullopt;
  }
  if (members->empty() && !names.empty()) {
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + LogSafe(name);
    context.log.Line("No " + packetId + kReplyFileExtension + " in the reply packet (it holds " +
                     list + ")");
    held = names;
    return std::nullopt;
  }
  for (size_t i = 1; i < members->size(); ++i) {
    context.log.Line("Ignoring " + LogSafe((*members)[i]) + ": more than one reply file");
  }
  std::optional<std::string> replyPath = FindReplyFile(folder.path(), packetId);
  if (!replyPath || !reader.OpenReplyFile(*replyPath)) {
    context.log.Line("Unable to open .REP file");
    return std::nullopt;
  }
  return replyPath;
}

// Acts on one reply: a control message is handled, another reply posted.
// Says what became of it (a control message or a duplicate is neither
// posted nor refused).
ReplyOutcome HandleReply(Posting& posting, MessageRecord& record, const std::string& text,
                         int32_t maxMessage) {
  if (!WithinBound(posting.bounds, record, text, maxMessage)) return ReplyOutcome::kRefused;
  if (IsControlName(record.to.name.Trimmed())) {
    HandleControlMessage(posting.context, posting.bounds, record, text);
    return ReplyOutcome::kNeither;
  }
  return PostReply(posting, record, text);
}

// Commits the open batch of replies, then logs those it posted.
void CommitReplies(Posting& posting, std::optional<Batch>& batch) {
  if (!batch) return;
  batch->Commit();
  batch.reset();
  for (const std::string& line : posting.posted) posting.context.log.Line(line);
  posting.posted.clear();
}

// What a reader puts in a REP beside the reply file.
struct Companions {
  std::optional<ReplyHeaders> headers;
  std::optional<std::string> doorRequests;  // TODOOR.EXT's bytes
  // A HEADERS.DAT that cannot be read: no reply can be read as meant.
  bool refused = false;
};

// The most bytes of TODOOR.EXT read: far more than one line for every
// conference a board has; a larger file is ignored.
constexpr int64_t kMostDoorRequestBytes = 1024 * 1024;

enum class MemberRead { kRead, kTooLarge, kUnreadable };

// The bytes of the unpacked member at `path` (never through a link), when
// it holds at most `most` of them.
MemberRead ReadMember(const std::string& path, int64_t most, std::string& bytes) {
  std::optional<LocalFile> file = LocalFile::OpenRead(path);
  if (!file) return MemberRead::kUnreadable;
  if (file->Size() > most) return MemberRead::kTooLarge;
  bytes.assign(static_cast<size_t>(file->Size()), '\0');
  bytes.resize(file->ReadAt(bytes.data(), bytes.size(), 0));
  return MemberRead::kRead;
}

// Unpacks and reads HEADERS.DAT and TODOOR.EXT when the archive (whose
// members are `names`) holds them.
Companions ReadCompanions(RunContext& context, const std::string& archive,
                          const std::vector<std::string>& names, const UnpackFolder& folder) {
  Companions companions;
  std::string bytes;
  if (const std::optional<std::string> path = UnzipCompanionMember(
          context.processes, archive, names, kReplyHeadersName, folder.path())) {
    const MemberRead read = ReadMember(*path, ReplyHeaders::kMostFileBytes, bytes);
    if (read == MemberRead::kRead) {
      companions.headers = ReplyHeaders::Parse(bytes);
      companions.headers->LogSkipped(context.log);
    } else {
      context.log.Line(std::string("Refusing the reply packet: its ") + kReplyHeadersName +
                       (read == MemberRead::kTooLarge
                            ? " is larger than " + Decimal(ReplyHeaders::kMostFileBytes) + " bytes"
                            : " cannot be read"));
      companions.refused = true;
    }
  }
  if (const std::optional<std::string> path = UnzipCompanionMember(
          context.processes, archive, names, kDoorRequestsName, folder.path())) {
    const MemberRead read = ReadMember(*path, kMostDoorRequestBytes, bytes);
    if (read == MemberRead::kRead) {
      companions.doorRequests = bytes;
    } else {
      context.log.Line(std::string("Ignoring ") + kDoorRequestsName +
                       (read == MemberRead::kTooLarge
                            ? ": larger than " + Decimal(kMostDoorRequestBytes) + " bytes"
                            : ": it cannot be read"));
    }
  }
  return companions;
}

// Turns the reply as read into the board's set, takes its extension lines
// and applies its section of HEADERS.DAT (`fields`, when it has one).
// False when the reply cannot be read so (a character the board's set
// lacks in a UTF-8 reply), with `why`.
bool ReplyFromPacket(Posting& posting, const ReplyHeaderFields* fields, MessageRecord& record,
                     std::string& text, std::string& why) {
  if (fields != nullptr && fields->utf8) {
    // The 25-character fields are written in the packet's set even then.
    ReplyFieldsToBoard(posting.charset, record);
    std::string reason;
    std::optional<std::string> board = posting.utf8.ToBoard(text, reason);
    if (!board) {
      why = "its text " + reason;
      return false;
    }
    text = std::move(*board);
    record.textLength = static_cast<int32_t>(text.size());
  } else {
    ReplyToBoard(posting.charset, record, text);
  }
  TakeReplyExtensions(posting.context.server, record, text);
  return fields == nullptr || ApplyReplyHeaders(posting.context.server, posting.charset,
                                                posting.utf8, *fields, record, why);
}

// Reads the reply file to its end, acting on control messages and posting
// the other replies (each read with its section of HEADERS.DAT), then acts
// on TODOOR.EXT; returns what became of the replies.
ReplyTally PostReplies(RunContext& context, const UserRecord& user, ReplyReader& reader,
                       UploadBounds& bounds, const Companions& companions) {
  Posting posting(context, user, bounds);
  ReplyTally tally;
  const int32_t maxMessage = context.server.GetMaxMessageSize();
  std::optional<Batch> batch;
  for (int handled = 0;; ++handled) {
    MessageRecord record;
    std::string text;
    if (!reader.ReadReply(context, record, text)) break;
    if (handled % kRepliesPerCommit == 0) {
      CommitReplies(posting, batch);
      batch.emplace(context.server);
    }
    const ReplyHeaderFields* fields =
        companions.headers ? companions.headers->Find(reader.LastReplyPos() - 1) : nullptr;
    std::string why;
    if (!ReplyFromPacket(posting, fields, record, text, why)) {
      LogRefused(bounds, record, why);
      ++tally.refused;
      continue;
    }
    const ReplyOutcome outcome = HandleReply(posting, record, text, maxMessage);
    if (outcome == ReplyOutcome::kPosted) ++tally.posted;
    if (outcome == ReplyOutcome::kRefused) ++tally.refused;
  }
  CommitReplies(posting, batch);
  tally.refused += reader.SkippedReplies();
  reader.CloseReplyFile();
  // The conference changes of TODOOR.EXT come after the replies, as one
  // batch.
  if (companions.doorRequests) {
    Batch changes(context.server);
    ApplyAreaLines(context, bounds, *companions.doorRequests);
    changes.Commit();
  }
  return tally;
}

// True when block 0 of the reply file names this board's packet; a reply
// packet for another board is refused whole (logged).
bool IsThisBoardsPacket(RunContext& context, ReplyReader& reader, const std::string& packetId) {
  const std::string named = reader.ReadPacketId(context);
  if (ToUpper(named) == ToUpper(packetId)) return true;
  context.log.Line("Refusing the reply packet: it names the packet id " + LogSafe(named) +
                   ", not " + packetId + ".");
  return false;
}

void LogCounts(RunContext& context, const ReplyTally& tally) {
  context.log.Line(tally.posted == 1 ? std::string("1 reply uploaded.")
                                     : Decimal(tally.posted) + " replies uploaded.");
  if (tally.refused > 0) {
    context.log.Line(tally.refused == 1 ? std::string("1 reply refused.")
                                        : Decimal(tally.refused) + " replies refused.");
  }
}

// The reply file and the private folder go; the REP packet goes only when
// every reply was posted (or a duplicate), else it stays where it was
// kept. A run stopped on the way leaves the REP kept, and never a folder
// that no run would come back for.
void RemovePacket(RunContext& context, const std::string& replyPath, UnpackFolder& unpacked,
                  const std::string& archive, const ReplyTally& tally) {
  RemovePacketFile(context, replyPath);
  unpacked.Remove();
  if (tally.refused > 0) return;
  RemovePacketFile(context, archive);
  context.state.keptReplyPackets.clear();
}

// Posts the replies of the opened reply file. The packet is refused as a
// whole, its reply file closed, when it is another board's or its
// companion files cannot be read.
ReplyTally PostPacket(RunContext& context, const UserRecord& user, ReplyReader& reader,
                      UploadBounds& bounds, const std::string& archive,
                      const std::vector<std::string>& names, UnpackFolder& unpacked,
                      const std::string& packetId) {
  if (IsThisBoardsPacket(context, reader, packetId)) {
    const Companions companions = ReadCompanions(context, archive, names, unpacked);
    if (!companions.refused) return PostReplies(context, user, reader, bounds, companions);
  }
  reader.CloseReplyFile();
  return ReplyTally{.refused = 1};
}

bool Upload(RunContext& context, UploadBounds& bounds) {
  const std::string packetId = PacketId(context.server);
  const UserRecord user = LoggedInUser(context);
  // A run killed while it read a packet left its reply file behind.
  RemoveStaleUnpackFolders(context.state.QwkPath);

  const std::vector<std::string> found = LocateReplyArchives(context, packetId);
  if (found.size() != 1) {
    context.server.SetNodeActivity(kUploadActivity);  // the attempt counts, REP or not
    if (found.empty()) return false;
    KeepEveryReplyArchive(context, found, packetId);
    return true;
  }
  // From here the REP is this run's: kept unless every reply is posted.
  const std::string archive = ClaimReplyPacket(context, found.front(), packetId);
  context.state.keptReplyPackets = {archive};
  SyncClaim(context);
  context.server.SetNodeActivity(kUploadActivity);
  UnpackFolder unpacked(context.state.QwkPath);
  ReplyReader reader(&bounds);
  std::vector<std::string> held;
  std::vector<std::string> names;
  const std::optional<std::string> replyPath =
      OpenReplyFile(context, archive, packetId, unpacked, reader, held, names);
  if (!replyPath && held.empty()) return false;

  const ReplyTally tally =
      replyPath ? PostPacket(context, user, reader, bounds, archive, names, unpacked, packetId)
                : ReplyTally{.refused = 1};  // another board's: kept
  bounds.Summarise();
  LogCounts(context, tally);
  // What the replies changed is on the disk before their REP can go.
  context.server.SyncCommits();
  RemovePacket(context, replyPath.value_or(std::string()), unpacked, archive, tally);
  return true;
}

}  // namespace

bool QwkUpload(RunContext& context) {
  context.state.keptReplyPackets.clear();
  bool done = false;
  // What the bounds left out is told however the upload ends: before the
  // counts, or before the error line.
  UploadBounds bounds(context.log);
  try {
    done = Upload(context, bounds);
  } catch (const Failure& failure) {
    bounds.Summarise();
    context.log.Line("(QwkUpload) - Error #" + Decimal(failure.number()) + ": " +
                     LogSafe(failure.description()));
  }
  for (const std::string& kept : context.state.keptReplyPackets) {
    context.log.Line("Reply packet kept as " + kept);
  }
  return done;
}

}  // namespace obrix
