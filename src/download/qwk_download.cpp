// The download driver. One run reads the user's settings, puts back what
// his last download moved if its run never ended, clears the work
// directory of an old packet and of stale parts, starts the packet files,
// walks the conferences taking messages until a limit is met, and then
// builds the packet. Only once the packet is on the disk do the user's
// last-read pointers move, his mail get marked read and the receipts go
// out, all in one batch of board writes noted as his delivery: a download
// that fails or is killed anywhere before the batch is committed leaves the
// board as it found it; one killed after it leaves its delivery unfinished,
// or its packet in the work directory where the BBS would have removed it
// once sent, and either way the next download offers the same mail again.
// A download that fails removes the parts it wrote.
//
// The scan reads in one snapshot of the board. When the connection to the
// board is lost during it and made again, the snapshot is gone: the packet
// built so far is dropped and the scan runs once more from its start in a
// new snapshot, so that the packet is the one an unbroken scan builds.
#include "download/qwk_download.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "download/conference_walk.h"
#include "download/download_state.h"
#include "download/message_selection.h"
#include "download/packet_digest.h"
#include "download/packet_kind_setting.h"
#include "download/pointer_file.h"
#include "download/return_receipt.h"
#include "download/user_defaults.h"
#include "platform/files.h"
#include "qwk/packet_archive.h"
#include "qwk/packet_charset.h"
#include "qwk/qwk_files.h"
#include "server/batch.h"
#include "server/packet_settings.h"
#include "server/server_path.h"

namespace obrix {

namespace {

// Conference flag bit: probe the attachment of every message taken there,
// not only of the user's own mail.
constexpr uint32_t kProbeAttachments = 0x80;

int32_t Plus(int32_t value, int32_t amount) {
  const int64_t sum = int64_t{value} + amount;
  if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max()) {
    throw Failure(kFailureOverflow, "Overflow");
  }
  return static_cast<int32_t>(sum);
}

// Deletes a local file that is known to be there.
void DeleteLocalFile(const std::string& path) {
  if (!RemoveFile(path))
    throw Failure(kFailurePermission, "Permission denied: cannot delete " + path);
}

// Removes whatever has the name `path` (a link itself, never its target).
void RemoveLeftover(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(path), error);
  if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
    throw Failure(kFailurePermission, "Permission denied: cannot remove " + path);
  }
}

// The attachment decision for one taken message.
struct Attachment {
  bool fits = false;  // counted in the conference's attachment total
  int32_t kilobytes = 0;
};

// A stored message that no packet can carry, and why.
struct SkippedMessage {
  int32_t id = 0;
  std::string reason;
};

// The state of the conference being scanned.
struct ConferenceTally {
  int32_t number = 0;
  uint32_t flags = 0;
  int32_t taken = 0;
  int32_t toYou = 0;
  int32_t attachKilobytes = 0;
  bool lineOpen = false;  // its log line is written up to the counts
  // Logged once the conference's line is closed.
  std::vector<SkippedMessage> skipped;
};

class Download {
 public:
  explicit Download(RunContext& context)
      : context_(context), server_(context.server), state_(context.state) {}

  bool Run();
  // Ends a conference log line left open, so that what follows starts on a
  // line of its own.
  void EndOpenLine();
  // Removes the parts this run wrote, and its packet if it built one,
  // after a failure; errors on the way are ignored.
  void RemoveParts();

 private:
  // Removes the packet's files but the archive.
  void RemovePacketFiles();
  bool Start();
  void ReadSettings();
  void PutBackUndelivered();
  bool RemoveOldPacket();
  void RemoveLeftovers();
  bool OpenPacketFiles();
  void SettleLimits();

  // Scans, once more after a lost snapshot. False when the download
  // cannot go on.
  bool ScanOnce();
  // Drops the packet's parts so far and what the scan took, and opens the
  // packet's files afresh.
  bool RestartPacket();
  void Scan();
  void ScanConference(ConferenceCursor& cursor);
  bool IsTaken(const MessageRecord& message);
  Attachment ProbeAttachment(const MessageRecord& message);
  void Take(const MessageRecord& message, const Attachment& attachment);
  void LogSkipped();
  void CountTaken(const MessageRecord& message, const Attachment& attachment);
  void OpenLine();
  void CloseLine();
  int32_t& NewPointer(int32_t conference);

  bool Deliver();
  void SyncPacket();
  void ReportTotals();
  void MovePointers();
  void MarkDelivered();
  void RemoveTemporaryFiles();

  std::string WorkPath(const std::string& name) const { return state_.QwkPath + name; }
  // The parts that this kind of packet has and a plain one has not.
  std::vector<std::string> ExtraParts() const;

  RunContext& context_;
  Server& server_;
  RunState& state_;
  DownloadState download_;

  UserRecord user_;
  std::string packetId_;
  std::string boardName_;
  PacketCharset charset_;  // the packet's texts, converted once per run
  PacketKind kind_ = PacketKind::kQwk;
  int32_t packetLimit_ = 0;
  int32_t conferenceLimit_ = 0;
  bool includeOwn_ = false;

  std::optional<PointerFile> pointers_;
  std::optional<MessageFile> messages_;
  bool partsStarted_ = false;  // this run writes the packet's parts
  bool archiving_ = false;     // this run's archiver has taken the packet's name
  int32_t totalTaken_ = 0;
  int32_t yoursTaken_ = 0;
  ConferenceTally tally_;
};

bool Download::Run() {
  server_.SetNodeActivity(kDownloadActivity);
  if (!Start()) return false;
  if (!ScanOnce()) return false;
  if (totalTaken_ == 0) {
    RemoveTemporaryFiles();
    return true;
  }
  return Deliver();
}

// Reads the user and his settings, clears the work directory and starts
// the packet's files. False when the download cannot go on.
bool Download::Start() {
  const int32_t conferences = server_.GetConferenceCount();
  download_.ConfLastRead.assign(static_cast<size_t>(std::max(conferences, 0)), 0);

  int32_t position = 0;
  if (!server_.vbGetUserById(state_.UserId, user_, position)) return false;

  MakewildRecord makewild;
  server_.vbGetMakewild(makewild);
  packetId_ = makewild.packetId.Trimmed();
  boardName_ = makewild.boardName.Trimmed();
  charset_ = PacketCharset::ForSetting(makewild.charset.View());
  FillUserDefaults(server_, user_);
  ReadSettings();
  PutBackUndelivered();

  if (!RemoveOldPacket()) {
    context_.log.Line("QWK packet present and in use, skipping operation.");
    return false;
  }
  partsStarted_ = true;
  RemoveLeftovers();
  if (!OpenPacketFiles()) return false;

  SettleLimits();
  context_.log.Line("Preparing mail packet...");
  context_.log.Line("Total message limit: " + Decimal(packetLimit_));
  context_.log.Line("Conference message limit: " + Decimal(conferenceLimit_));
  totalTaken_ = 0;
  yoursTaken_ = 0;
  return true;
}

void Download::ReadSettings() {
  const int32_t id = user_.info.id;
  packetLimit_ =
      StrictToInt32(server_.vbGetUserVariable(id, kProfileSection, kMaxMsgPerPacket, "0"));
  conferenceLimit_ =
      StrictToInt32(server_.vbGetUserVariable(id, kProfileSection, kMaxMsgPerConf, "0"));
  includeOwn_ =
      LeadingNumber(server_.vbGetUserVariable(id, kProfileSection, kDownloadYourMail, "0")) == 0;
  kind_ = ReadPacketKind(context_, id);
}

// Puts back the user's last delivery when its run never ended, and the
// delivery of a packet still lying in the work directory: the BBS removes
// a packet once it has sent it, so one left there never reached its
// caller, whoever he is, and a kill after its run marked it handed over
// (while the run logged its last lines or closed the board) loses none
// of its mail.
void Download::PutBackUndelivered() {
  if (server_.RestoreDelivery()) {
    context_.log.Line("The run of the last packet did not end: its mail is offered again.");
  }
  const std::string packet = WorkPath(packetId_ + kPacketExtension);
  switch (server_.RestorePacketLeft(PacketDigest(packet))) {
    case PacketOwner::kTheUser:
      context_.log.Line("The last packet was never sent: its mail is offered again.");
      break;
    case PacketOwner::kAnotherUser:
      context_.log.Line(
          "The packet left in the work directory was never sent: its caller's mail is offered "
          "at his next download.");
      break;
    case PacketOwner::kNobody:
      break;
  }
}

// True when no packet is left in the work directory. A packet that cannot
// be removed belongs to a download still being sent; it is left alone.
bool Download::RemoveOldPacket() {
  const std::string packet = WorkPath(packetId_ + kPacketExtension);
  try {
    std::string path = packet;
    if (FileExists(server_, path)) RemoveFile(path);
  } catch (const Failure&) {
    // The test below decides.
  }
  std::string path = packet;
  return !FileExists(server_, path);
}

// A "hello", "goodbye" or "newfiles.dat" in the shared work directory that
// this download did not write must not reach its packet.
void Download::RemoveLeftovers() {
  for (const char* name : {kHelloFile, kGoodbyeFile, kNewFilesFile, kToReaderFile, kHeadersFile}) {
    RemoveLeftover(WorkPath(name));
  }
  // A half-written archive of an earlier, killed run holds that caller's
  // mail; the work directory's lock guarantees no archiver is at work now.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(state_.QwkPath, error)) {
    const std::string name = entry.path().filename().string();
    if (IsArchiverTemporary(name) && entry.is_regular_file(error)) RemoveFile(WorkPath(name));
  }
}

bool Download::OpenPacketFiles() {
  // The packet files have one form only: the setting is read, and must be
  // a 16-bit number, but changes nothing.
  (void)LeadingInt16(
      server_.vbGetUserVariable(user_.info.id, kProfileSection, kSmallControlDat, "0"));
  if (!QwkOpen(server_, context_.clock, state_.QwkPath, state_.UserName, charset_, kind_)) {
    context_.log.Line("QWKOpen Failed");
    return false;
  }
  pointers_.emplace(PointerFile::Create(WorkPath(packetId_ + kPointerExtension)));
  MessageFile::Options options;
  options.kind = kind_;
  options.headersPath = WorkPath(kHeadersFile);
  options.idDomain = MessageIdDomain(boardName_);
  messages_.emplace(MessageFile::Open(WorkPath(kMessagesFile), options));
  return true;
}

void Download::SettleLimits() {
  if (packetLimit_ == 0) packetLimit_ = kPacketLimitForZero;
  if (conferenceLimit_ == 0) conferenceLimit_ = kConferenceLimitForZero;

  int32_t boardPacketLimit = 0;
  int32_t boardConferenceLimit = 0;
  server_.GetQwkBaudLimits(boardPacketLimit, boardConferenceLimit);
  if (packetLimit_ > boardPacketLimit) {
    context_.log.Line("Reset user MaxMsgPerPacket to Baud Setting [" + Decimal(boardPacketLimit) +
                      "]");
    packetLimit_ = boardPacketLimit;
  }
  if (conferenceLimit_ > boardConferenceLimit) {
    context_.log.Line("Reset user MaxMsgPerConf to Baud Setting [" + Decimal(boardConferenceLimit) +
                      "]");
    conferenceLimit_ = boardConferenceLimit;
  }
}

bool Download::ScanOnce() {
  try {
    Scan();
    return true;
  } catch (const Failure& failure) {
    if (failure.number() != kFailureServerReconnected) throw;
  }
  EndOpenLine();
  if (!RestartPacket()) return false;
  Scan();
  return true;
}

bool Download::RestartPacket() {
  pointers_.reset();
  messages_.reset();
  RemovePacketFiles();
  download_.PacketMessages.clear();
  download_.ConfLastRead.assign(download_.ConfLastRead.size(), 0);
  totalTaken_ = 0;
  yoursTaken_ = 0;
  tally_ = ConferenceTally{};
  return OpenPacketFiles();
}

void Download::Scan() {
  Snapshot snapshot(server_);
  ConferenceCursor cursor;
  ResetCursor(cursor);
  bool current = FirstConference(server_, cursor);
  while (current && totalTaken_ < packetLimit_) {
    ScanConference(cursor);
    current = NextConference(server_, cursor);
  }
  snapshot.End();
}

void Download::ScanConference(ConferenceCursor& cursor) {
  const int32_t conference = cursor.conference.number;
  pointers_->AddLine(server_, conference);

  tally_ = ConferenceTally{};
  tally_.number = conference;
  tally_.flags = server_.GetConfFlags(conference);
  // A dropped conference shows its line even when nothing is taken.
  if ((tally_.flags & kSelectionBits) == 0) OpenLine();

  // Nothing taken: the pointer moves past everything the conference holds.
  const int32_t highest =
      server_.GetMsgIdFromNumber(conference, server_.GetHighMessageNumber(conference));
  NewPointer(conference) = highest;

  MessageRecord message;
  bool current = FirstMessage(server_, state_.UserId, cursor, message);
  while (current) {
    if (IsTaken(message)) {
      if (!tally_.lineOpen) OpenLine();
      const Attachment attachment = ProbeAttachment(message);
      Take(message, attachment);
      if (totalTaken_ >= packetLimit_ || tally_.taken >= conferenceLimit_) break;
    }
    current = NextMessage(server_, state_.UserId, cursor, message);
  }
  CloseLine();
  LogSkipped();
}

bool Download::IsTaken(const MessageRecord& message) {
  if (server_.GetObjectFlags(kSysopObject) != 0) return true;
  return message.from.id != user_.info.id || includeOwn_;
}

// Failures while probing are ignored: the message goes into the packet
// with what was learnt so far.
Attachment Download::ProbeAttachment(const MessageRecord& message) {
  Attachment attachment;
  if (message.to.id != user_.info.id && (tally_.flags & kProbeAttachments) == 0) {
    return attachment;
  }
  attachment.fits = true;
  std::string path = AttachmentPath(message.conference, message.id);
  try {
    if (!FileExists(server_, path)) return attachment;
  } catch (const Failure&) {
    return attachment;
  }
  try {
    const int64_t bytes = server_.WcGetFileSize(path);
    attachment.kilobytes = RoundToInt32(static_cast<double>(bytes) / 1024);
  } catch (const Failure&) {
  }
  try {
    const double limit = LeadingNumber(
        server_.vbGetUserVariable(user_.info.id, kProfileSection, kMaxAttachSize, "0"));
    attachment.fits = limit >= attachment.kilobytes;
  } catch (const Failure&) {
  }
  return attachment;
}

// A message the packet cannot carry (its text needs more blocks than a
// header can count) is passed over for good, so that it never stops a
// packet; nothing of it is written.
void Download::Take(const MessageRecord& message, const Attachment& attachment) {
  try {
    messages_->WriteQwkMessage(server_, message, charset_);
  } catch (const Failure& failure) {
    if (failure.number() != kFailureOverflow) throw;
    tally_.skipped.push_back(SkippedMessage{message.id, failure.description()});
    NewPointer(tally_.number) = message.id;
    return;
  }
  CountTaken(message, attachment);
}

void Download::LogSkipped() {
  for (const SkippedMessage& skipped : tally_.skipped) {
    context_.log.Line("Skipping message " + Decimal(skipped.id) + " of conference " +
                      Decimal(tally_.number) + ": a packet cannot carry it (" + skipped.reason +
                      ")");
  }
  tally_.skipped.clear();
}

void Download::CountTaken(const MessageRecord& message, const Attachment& attachment) {
  if (message.to.id == user_.info.id) {
    download_.PacketMessages.push_back(PacketMessage{tally_.number, message.id});
    tally_.toYou = Plus(tally_.toYou, 1);
    yoursTaken_ = Plus(yoursTaken_, 1);
  }
  NewPointer(tally_.number) = message.id;
  tally_.taken = Plus(tally_.taken, 1);
  totalTaken_ = Plus(totalTaken_, 1);
  if (attachment.fits) tally_.attachKilobytes = Plus(tally_.attachKilobytes, attachment.kilobytes);
}

// The values are the server's at the moment the line opens.
void Download::OpenLine() {
  const int32_t conference = tally_.number;
  const int32_t high = server_.GetHighMessageNumber(conference);
  const int32_t start = server_.GetMsgNumberFromId(conference, server_.GetLastRead(conference));
  context_.log.WriteLog(
      "Conf: " + Decimal(conference) + ", HighMsg: " + Decimal(high) + ", Start: " + Decimal(start),
      /*noLineEnd=*/true, /*timeStamp=*/true);
  tally_.lineOpen = true;
}

void Download::CloseLine() {
  if (!tally_.lineOpen) return;
  std::string counts = ", Count: " + Decimal(tally_.taken) + ", Yours: " + Decimal(tally_.toYou);
  if (tally_.attachKilobytes > 0)
    counts += ", AttachSize: " + Decimal(tally_.attachKilobytes) + "K";
  tally_.lineOpen = false;
  context_.log.WriteLog(counts, /*noLineEnd=*/false, /*timeStamp=*/false);
}

void Download::EndOpenLine() {
  if (!tally_.lineOpen) return;
  tally_.lineOpen = false;
  context_.log.WriteLog("", /*noLineEnd=*/false, /*timeStamp=*/false);
}

int32_t& Download::NewPointer(int32_t conference) {
  std::vector<int32_t>& table = download_.ConfLastRead;
  if (conference < 0 || static_cast<size_t>(conference) >= table.size()) {
    throw Failure(kFailureSubscript, "Subscript out of range: conference " + Decimal(conference));
  }
  return table[static_cast<size_t>(conference)];
}

// The packet is built first; the user's pointers, read marks and receipts
// move only once it exists, so a failed archive loses no mail.
bool Download::Deliver() {
  ReportTotals();
  // The archiver must find the pointer and message files complete.
  pointers_->Close();
  messages_->Close();

  AddBulletins(context_, state_.QwkPath);
  WriteNewFilesList(context_, WorkPath(kNewFilesFile), charset_);
  archiving_ = true;
  if (!BuildPacketArchive(context_, ExtraParts())) return false;
  SyncPacket();

  context_.log.Line("Updating last read pointers...");
  // The pointers, read marks and receipts move together: a run that stops
  // on the way (killed, or a failing board) moves none of them. The board
  // notes them as the user's delivery, with the packet's digest,
  // unfinished until the run ends well. The commit reaches the disk before
  // the run reports success. A run killed after the mark still leaves its
  // packet in the work directory, and the next download there offers its
  // mail again.
  Batch batch(server_);
  server_.BeginDelivery(PacketDigest(WorkPath(packetId_ + kPacketExtension)));
  MovePointers();
  MarkDelivered();
  batch.Commit();
  server_.SyncCommits();
  server_.FinishDelivery();
  return true;
}

// The packet and its folder entry reach the disk before any pointer moves
// past the mail it holds.
void Download::SyncPacket() {
  const std::string packet = WorkPath(packetId_ + kPacketExtension);
  if (!context_.disk.SyncFile(packet) || !context_.disk.SyncFolder(state_.QwkPath)) {
    throw Failure(kFailureFileIo, "Cannot sync the packet " + packet + " to the disk");
  }
}

void Download::ReportTotals() {
  if (totalTaken_ >= packetLimit_) {
    context_.log.Line("Scan terminated due to total message count limit.");
  }
  if (yoursTaken_ > 0) {
    context_.log.Line("Total messages found: " + Decimal(totalTaken_) + " (" +
                      Decimal(yoursTaken_) + " to you)");
  } else {
    context_.log.Line("Total messages found: " + Decimal(totalTaken_));
  }
}

void Download::MovePointers() {
  for (int32_t conference = server_.GetConferenceCount() - 1; conference >= 0; --conference) {
    const int32_t id = NewPointer(conference);
    if (id > 0) server_.SetLastRead(conference, id);
  }
}

// The user's mail in the packet is marked read, and receipted where the
// sender asked; mail received before is left as it is.
void Download::MarkDelivered() {
  for (const PacketMessage& delivered : download_.PacketMessages) {
    MessageRecord message;
    if (!server_.vbGetMessageById(delivered.conference, delivered.id, message)) continue;
    if (message.received == kTrue32) continue;
    server_.vbMarkMessageRead(message);
    if (message.receiptRequested != 0) SendReturnReceipt(server_, context_.clock, message);
  }
}

std::vector<std::string> Download::ExtraParts() const {
  switch (kind_) {
    case PacketKind::kQwk:
      return {};
    case PacketKind::kQwke:
      return {kToReaderFile};
    case PacketKind::kUtf8:
      return {kToReaderFile, kHeadersFile};
  }
  return {};
}

void Download::RemoveTemporaryFiles() {
  context_.log.Line("No messages found - removing temporary files [NO QWK CREATED].");
  pointers_->Close();
  messages_->Close();
  for (const std::string& name :
       {packetId_ + kPointerExtension, std::string(kMessagesFile), std::string(kControlFile),
        std::string(kDoorIdFile), std::string(kToReaderFile), std::string(kHeadersFile)}) {
    std::string path = WorkPath(name);
    if (FileExists(server_, path)) DeleteLocalFile(path);
  }
}

void Download::RemovePacketFiles() {
  for (const std::string& name :
       {packetId_ + kPointerExtension, std::string(kMessagesFile), std::string(kControlFile),
        std::string(kDoorIdFile), std::string(kNewFilesFile), std::string(kHelloFile),
        std::string(kGoodbyeFile), std::string(kToReaderFile), std::string(kHeadersFile)}) {
    RemoveTree(WorkPath(name));
  }
}

void Download::RemoveParts() {
  if (!partsStarted_) return;
  try {
    pointers_.reset();
    messages_.reset();
    RemovePacketFiles();
    if (archiving_) RemoveTree(WorkPath(packetId_ + kPacketExtension));
  } catch (const std::exception&) {
    // What is left the next download clears away.
  }
}

void ReportFailure(RunContext& context, int32_t number, const std::string& description) {
  context.log.Line("(QwkDownload) Error # " + Decimal(number) + ": " + description);
}

}  // namespace

bool QwkDownload(RunContext& context) {
  Download download(context);
  // A note starts on a line of its own.
  const RecoveryNotes notes([&](const std::string& line) {
    download.EndOpenLine();
    context.log.Line(line);
  });
  try {
    if (download.Run()) return true;
  } catch (const Failure& failure) {
    // A log that cannot be written (LogFailure) passes both handlers: it
    // cannot report anything, and the run ends.
    download.EndOpenLine();
    ReportFailure(context, failure.number(), failure.description());
  } catch (const std::exception& error) {
    // Anything else raised below the driver comes from the board's own
    // layer.
    download.EndOpenLine();
    ReportFailure(context, kFailureServer, error.what());
  }
  download.RemoveParts();
  return false;
}

}  // namespace obrix
