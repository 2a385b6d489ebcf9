// Control messages: replies addressed to a control name ("QMAIL", "RIZIVI",
// "TOMCAT") that change the logged-in user's conference selection instead
// of being posted.
//
// The selection lives in the low four bits of the user's conference flags:
// 3 added, 1 added for the user's own mail only, 0 dropped. Every change
// keeps bits 4 to 31 as they were and logs one line. A conference the
// board does not describe is skipped with one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/run_context.h"
#include "server/packet_settings.h"
#include "server/records.h"
#include "upload/upload_bounds.h"

namespace obrix {

// Acts on the command word of the subject (any letter case): ADD and
// RESET add the reply's conference, YOURS adds it for the user's own mail,
// DROP drops it, CONFIG applies the text's lines; REQUEST is logged as
// "REQUEST is not supported."; any other word does nothing. Each command
// acted on is one of the upload's control lines (`bounds`).
void HandleControlMessage(RunContext& context, UploadBounds& bounds, const MessageRecord& record,
                          const std::string& text);

// Set the low four bits of the user's flags on `conference` to 3 (every
// message), 1 (the user's own mail), 2 (the user's mail and mail to ALL)
// or 0 and log "Conference <n> - <name> added." / " added for your mail
// only." / " added for your mail and mail to all." / " dropped.". A
// conference the board does not have is logged ("No conference <n>:
// <command> skipped."), one the user may not read likewise ("Conference
// <n> is not open to you: <command> skipped."), and either is left alone.
void AddConference(RunContext& context, UploadBounds& bounds, int32_t conference);
void AddConferenceYours(RunContext& context, UploadBounds& bounds, int32_t conference);
void AddConferenceAddressed(RunContext& context, UploadBounds& bounds, int32_t conference);
void DropConference(RunContext& context, UploadBounds& bounds, int32_t conference);

// The file of a REP in which a reader asks for conference changes (any
// letter case).
inline constexpr const char* kDoorRequestsName = "TODOOR.EXT";

// Applies the lines of TODOOR.EXT: "AREA <conference> <mode>", words
// separated by blanks, lines ended by LF or CR LF. Mode "a" adds the
// conference (AddConference), "p" for the user's own mail
// (AddConferenceYours), "g" for his mail and mail to ALL
// (AddConferenceAddressed), "D" drops it. Each line that is not blank is
// one of the upload's control lines; any other line is logged as
// "Ignoring TODOOR.EXT line: " + the line and skipped.
void ApplyAreaLines(RunContext& context, UploadBounds& bounds, std::string_view text);

// Applies one command per line: a command word (ADD, RESET, YOURS, DROP,
// compared exactly), a blank and a conference number; or PACKET (any
// letter case), a blank and QWK, QWKE or UTF8 (any letter case), which
// sets the user's kPacketKind to "qwk", "qwke" or "utf8" and logs
// "Packet kind set to <kind>." (another word is logged as an ignored
// line). Lines end with a line
// feed, or with a carriage return when the text holds no line feed; a last
// piece without a line end is ignored. Every line is one of the upload's
// control lines; once they are spent the rest are only counted. A line
// whose second word is not a 32-bit number is logged as "Ignoring CONFIG
// line: " + the line and skipped.
void ApplyConfigLines(RunContext& context, UploadBounds& bounds, const std::string& text);

// The n-th word of `text` (n from 1), words being separated by single
// blanks: the stretch from the (n-1)-th blank to the n-th blank, trimmed.
// Two blanks in a row make an empty word; asking beyond the last word gives
// the last word; n of 0 or less gives the empty text.
std::string GetWord(std::string_view text, int32_t n);

}  // namespace obrix
