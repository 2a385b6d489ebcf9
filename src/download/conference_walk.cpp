#include "download/conference_walk.h"

namespace obrix {

namespace {

// The arguments of the server's conference enumeration: every conference
// type, and the selection bits that make a conference count as offered.
constexpr int32_t kEnumerationKind = 0;
constexpr uint32_t kEnumerationMask = 15;

}  // namespace

void ResetCursor(ConferenceCursor& cursor) {
  cursor.conference = ConfDescRecord{};
  cursor.conference.number = -1;
  cursor.nextUnread = 0;
}

bool FirstConference(Server& server, ConferenceCursor& cursor) {
  const int32_t number = server.GetFirstConference(kEnumerationKind, kEnumerationMask);
  cursor.conference.number = number;
  if (number < 0) return false;
  const bool described = server.vbGetConfDesc(number, cursor.conference);
  cursor.conference.number = number;
  return described;
}

bool NextConference(Server& server, ConferenceCursor& cursor) {
  const int32_t number =
      server.GetNextConference(kEnumerationKind, kEnumerationMask, cursor.conference.number);
  cursor.conference.number = number;
  if (number < 0) return false;
  // A later conference counts even when its description cannot be read;
  // the walk goes on from the number the server named.
  server.vbGetConfDesc(number, cursor.conference);
  cursor.conference.number = number;
  return true;
}

}  // namespace obrix
