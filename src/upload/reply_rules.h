// The rules that turn a reply as the reader left it into the message the
// upload posts: the board's character set, the conference's public/private
// mode, the reference as a message id, and who may name the sender.
#pragma once

#include <cstdint>
#include <string>

#include "qwk/packet_charset.h"
#include "server/server.h"

namespace obrix {

// The reply's names, subject and text converted from the packet's
// character set to the board's; the text length follows the text.
void ReplyToBoard(PacketCharset& charset, MessageRecord& record, std::string& text);

// The descriptor of conference `number` as the logged-in user sees it;
// mode and object 0 when he cannot see it or it does not exist.
ConfDescRecord ConferenceOf(Server& server, int32_t number);

// The private flag of a reply to a conference in `mode`: modes 2, 3 and 4
// make it private, 1, 5, 6 and 7 public; any other keeps what the reply
// was marked.
Bool32 PrivateByMode(int32_t mode, Bool32 marked);

// The id of the message that the reply's reference (a message number in
// the reply's conference, as read) names, when the logged-in user can see
// it; 0 otherwise.
int32_t ReferencedMessageId(Server& server, const MessageRecord& reply);

// True when the logged-in user may post a reply to `conference` under the
// sender it names: any flag on the sysop object, or kConferenceSenderFlag
// on the conference's object.
bool MayNameSender(Server& server, const ConfDescRecord& conference);

}  // namespace obrix
