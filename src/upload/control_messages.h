// Control messages: replies addressed to a control name ("QMAIL", "RIZIVI",
// "TOMCAT") that change the logged-in user's conference selection instead
// of being posted.
//
// The selection lives in the low four bits of the user's conference flags:
// 3 added, 1 added for the user's own mail only, 0 dropped. Every change
// keeps bits 4 to 31 as they were and logs one line. A conference the
// board does not describe is skipped without a word.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "run/run_context.h"
#include "server/records.h"

namespace obrix {

// Acts on the command word of the subject (any letter case): ADD and
// RESET add the reply's conference, YOURS adds it for the user's own mail,
// DROP drops it, CONFIG applies the text's lines; REQUEST is logged as
// "REQUEST is not supported."; any other word does nothing. Raises Failure(kFailureOverflow) when
// ADD, RESET, YOURS or DROP name a conference number outside the 16-bit range.
void HandleControlMessage(RunContext& context, const MessageRecord& record,
                          const std::string& text);

// Set the low four bits of the user's flags on `conference` to 3, 1 or 0
// and log "Conference <n> - <name> added." / " added for your mail only." /
// " dropped.".
void AddConference(RunContext& context, int16_t conference);
void AddConferenceYours(RunContext& context, int16_t conference);
void DropConference(RunContext& context, int16_t conference);

// Applies one command per line: a command word (ADD, RESET, YOURS, DROP,
// compared exactly), a blank and a conference number. Lines end with a line
// feed, or with a carriage return when the text holds no line feed; a last
// piece without a line end is ignored. A line whose second word is not a
// 16-bit number is logged as "Ignoring CONFIG line: " + the line and
// skipped; after 20 such lines the rest are only counted, in one line at
// the end. At most 1,000 lines are looked at; the rest are ignored with one
// log line.
void ApplyConfigLines(RunContext& context, const std::string& text);

// The n-th word of `text` (n from 1), words being separated by single
// blanks: the stretch from the (n-1)-th blank to the n-th blank, trimmed.
// Two blanks in a row make an empty word; asking beyond the last word gives
// the last word; n of 0 or less gives the empty text.
std::string GetWord(std::string_view text, int32_t n);

}  // namespace obrix
