// What offline readers write into a reply beyond the header's plain fields,
// read the way they mean it: the status character, the reference number,
// the conference field whose upper half holds something else, the fill of
// the last text block, and the extension lines at the top of the text.
// Plain functions on bytes; the reply parser applies them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "server/records.h"

namespace obrix {

// True when a reply's Status character marks it private: "*" and "+"
// (private, read and unread) and "~" and "`" (a comment to the sysop).
bool StatusIsPrivate(char status);

// The message number that a reply's Reference field names; 0 when the
// field is blank or holds no positive number.
int32_t ReferenceFieldNumber(std::string_view field);

// The binary Conference field as readers fill it: a value that is no
// conference of the board's `conferenceCount` stands for the 16-bit field
// of its low bytes (123-124) when that one names a conference, because
// readers put a message number in the upper bytes (125-126).
int32_t BinaryConference(int32_t field, int32_t conferenceCount);

// Removes the fill from a reply's text (whole blocks, the QWK line
// terminator already turned into "\n"): the blanks and zero bytes at its
// end that follow the last line end and lie within the last block.
void TrimReplyFill(std::string& text);

// Takes the extension lines off the top of a reply's text, up to the first
// ordinary line. A "To: ", "From: " or "Subject: " line gives `record` its
// whole value (up to the record's 72 characters) only when the header's
// 25-character field holds that value cut short: the value is longer, and
// its first 25 characters are what the field holds (letter case aside). A
// "To: " value must also be one that `isAddressee` accepts. Any other such
// line is an ordinary line and stays in the text, the header as it was.
// "@MSGID:", "@REPLY:", "@TZ:" and "@VIA:" lines are dropped.
void TakeExtensionLines(std::string& text, MessageRecord& record,
                        const std::function<bool(const std::string&)>& isAddressee);

}  // namespace obrix
