#include "upload/reply_rules.h"

namespace obrix {

void ReplyToBoard(PacketCharset& charset, MessageRecord& record, std::string& text) {
  if (!charset.Converts()) return;
  charset.FieldToBoard(record.to.name);
  charset.FieldToBoard(record.from.name);
  charset.FieldToBoard(record.subject);
  text = charset.ToBoard(text);
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
  switch (mode) {
    case 2:
    case 3:
    case 4:
      return kTrue32;
    case 1:
    case 5:
    case 6:
    case 7:
      return kFalse32;
    default:
      return marked;
  }
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

}  // namespace obrix
