#include "download/message_selection.h"

#include <limits>
#include <string_view>

#include "base/failure.h"

namespace obrix {

namespace {

uint32_t Selection(Server& server, const ConferenceCursor& cursor) {
  return server.GetConfFlags(cursor.conference.number) & kSelectionBits;
}

// The first id after the user's last-read pointer.
int32_t FirstIdAfterPointer(Server& server, int32_t conference) {
  const int32_t lastRead = server.GetLastRead(conference);
  if (lastRead == std::numeric_limits<int32_t>::max()) {
    throw Failure(kFailureOverflow, "Overflow: last-read id " + Decimal(lastRead) +
                                        " of conference " + Decimal(conference));
  }
  return lastRead + 1;
}

// Addressed to everybody (the name exactly "ALL", letter case included)
// or to the user.
bool AddressedToUser(const MessageRecord& record, int32_t userId) {
  std::string_view name = record.to.name.View();
  const size_t end = name.find_last_not_of(' ');
  name = end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
  return name == "ALL" || record.to.id == userId;
}

void KeepUnreadLinks(ConferenceCursor& cursor, const MessageRecord& record) {
  cursor.nextUnread = record.nextUnread;
}

bool FirstUnread(Server& server, ConferenceCursor& cursor, MessageRecord& record) {
  const int32_t conference = cursor.conference.number;
  record.nextUnread = server.GetFirstUnread(conference);
  while (true) {
    const int32_t link = record.nextUnread;
    if (!server.vbGetMessageById(conference, link, record)) return false;
    KeepUnreadLinks(cursor, record);
    if (record.received != kTrue32) return true;
    // A chain that does not lead forward ends here.
    if (record.nextUnread <= record.id) return false;
  }
}

bool NextUnread(Server& server, ConferenceCursor& cursor, MessageRecord& record) {
  const int32_t conference = cursor.conference.number;
  while (true) {
    const int32_t link = cursor.nextUnread;
    if (link <= record.id) return false;
    if (!server.vbGetMessageById(conference, link, record)) return false;
    KeepUnreadLinks(cursor, record);
    if (record.received != kTrue32) return true;
  }
}

// Steps on from the message in `record` until one is addressed to the user.
bool NextAddressed(Server& server, int32_t userId, MessageRecord& record) {
  do {
    if (!server.vbGetNextMessage(record)) return false;
  } while (!AddressedToUser(record, userId));
  return true;
}

}  // namespace

bool FirstMessage(Server& server, int32_t userId, ConferenceCursor& cursor, MessageRecord& record) {
  const int32_t conference = cursor.conference.number;
  switch (Selection(server, cursor)) {
    case kSelectionUnread:
      return FirstUnread(server, cursor, record);
    case kSelectionAddressed:
      if (!server.vbSearchMessageById(conference, FirstIdAfterPointer(server, conference),
                                      record)) {
        return false;
      }
      return AddressedToUser(record, userId) || NextAddressed(server, userId, record);
    default:
      return server.vbSearchMessageById(conference, FirstIdAfterPointer(server, conference),
                                        record);
  }
}

bool NextMessage(Server& server, int32_t userId, ConferenceCursor& cursor, MessageRecord& record) {
  switch (Selection(server, cursor)) {
    case kSelectionUnread:
      return NextUnread(server, cursor, record);
    case kSelectionAddressed:
      return NextAddressed(server, userId, record);
    default:
      return server.vbGetNextMessage(record);
  }
}

}  // namespace obrix
