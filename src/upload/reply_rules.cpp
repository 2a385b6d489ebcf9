#include "upload/reply_rules.h"

#include "base/text.h"
#include "upload/reply_conventions.h"

namespace obrix {

void ReplyFieldsToBoard(PacketCharset& charset, MessageRecord& record) {
  charset.FieldToBoard(record.to.name);
  charset.FieldToBoard(record.from.name);
  charset.FieldToBoard(record.subject);
}

void ReplyToBoard(PacketCharset& charset, MessageRecord& record, std::string& text) {
  if (!charset.Converts()) return;
  ReplyFieldsToBoard(charset, record);
  text = charset.ToBoard(text);
  record.textLength = static_cast<int32_t>(text.size());
}

void TakeReplyExtensions(Server& server, MessageRecord& record, std::string& text) {
  TakeExtensionLines(text, record, [&server](const std::string& value) {
    std::string name = ToUpper(Trim(value));
    if (name == kEveryone) return true;
    UserInfo user;
    return server.vbLookupName(name, user);
  });
  record.textLength = static_cast<int32_t>(text.size());
}

ConfDescRecord ConferenceOf(Server& server, int32_t number) {
  ConfDescRecord conference;
  if (!server.vbGetConfDesc(number, conference)) {
    conference.mode = 0;
    conference.objectId = 0;
  }
  return conference;
}

Bool32 PrivateByMode(int32_t mode, Bool32 marked) {
  if (IsPrivateOnlyMode(mode)) return kTrue32;
  if (IsPublicOnlyMode(mode)) return kFalse32;
  return marked;
}

int32_t ReferencedMessageId(Server& server, const MessageRecord& reply) {
  if (reply.reference <= 0 || reply.conference < 0) return 0;
  return server.GetMsgIdFromNumber(reply.conference, reply.reference);
}

bool MayNameSender(Server& server, const ConfDescRecord& conference) {
  if (server.GetObjectFlags(kSysopObject) != 0) return true;
  return conference.objectId != 0 &&
         (server.GetObjectFlags(conference.objectId) & kConferenceSenderFlag) != 0;
}

std::optional<UserInfo> AddresseeSpellings::Find(Server& server, const std::string& name) {
  // A letter the packet's set lacks is spelled otherwise: as '?', or as
  // the platform's transliteration of it (OE for the ligature), which leaves no
  // mark on the name; so any name that found nobody is looked for.
  if (!charset_.Converts()) return std::nullopt;
  const auto known = found_.find(name);
  if (known != found_.end()) return known->second;
  if (found_.size() == kMostNames) return std::nullopt;  // each costs a walk over the users
  UserInfo user;
  const bool found = server.LookupNameSpelled(
      name, [this](const std::string& board) { return charset_.ToBoard(charset_.ToPacket(board)); },
      user);
  return found_[name] = found ? std::optional<UserInfo>(user) : std::nullopt;
}

}  // namespace obrix
