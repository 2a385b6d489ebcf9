// The rules that turn a reply as the reader left it into the message the
// upload posts: the board's character set, the conference's public/private
// mode, the reference as a message id, and who may name the sender.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "qwk/packet_charset.h"
#include "server/server.h"

namespace obrix {

// The reply's names, subject and text converted from the packet's
// character set to the board's; the text length follows the text.
void ReplyToBoard(PacketCharset& charset, MessageRecord& record, std::string& text);
// The reply's names and subject alone converted so.
void ReplyFieldsToBoard(PacketCharset& charset, MessageRecord& record);

// Takes the extension lines off the top of the reply's text
// (TakeExtensionLines), a "To: " line's value counting only when it names
// a user or ALL; the text length follows the text. On the reply as
// ReplyToBoard left it.
void TakeReplyExtensions(Server& server, MessageRecord& record, std::string& text);

// The descriptor of conference `number` as the logged-in user sees it;
// mode and object 0 when he cannot see it or it does not exist.
ConfDescRecord ConferenceOf(Server& server, int32_t number);

// The private flag of a reply to a conference in `mode`: modes 2, 3 and 4
// make it private, the public-only modes public; any other keeps what the
// reply was marked.
Bool32 PrivateByMode(int32_t mode, Bool32 marked);

// The id of the message that the reply's reference (a message number in
// the reply's conference, as read) names, when the logged-in user can see
// it; 0 otherwise.
int32_t ReferencedMessageId(Server& server, const MessageRecord& reply);

// True when the logged-in user may post a reply to `conference` under the
// sender it names: any flag on the sysop object, or kConferenceSenderFlag
// on the conference's object.
bool MayNameSender(Server& server, const ConfDescRecord& conference);

// Users found by their names as the packets spell them. On a board whose
// packets convert names, a name with a letter that the packet's set lacks
// reaches the caller with '?' or a transliteration in its place, and his
// reader addresses a reply to that spelling. One per upload: each name is looked for once.
class AddresseeSpellings {
 public:
  // The most names one upload looks for this way.
  static constexpr size_t kMostNames = 100;

  explicit AddresseeSpellings(PacketCharset& charset) : charset_(charset) {}

  // The one user whose name, converted to the packet's set as the
  // download writes it, reads `name` (the board's bytes, as the reply's
  // addressee became); nullopt when none or several do, or when the
  // packets do not convert, or after kMostNames other names.
  std::optional<UserInfo> Find(Server& server, const std::string& name);

 private:
  PacketCharset& charset_;
  std::map<std::string, std::optional<UserInfo>> found_;
};

}  // namespace obrix
