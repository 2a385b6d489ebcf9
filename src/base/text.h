// Text helpers shared by the whole program.
//
// Text is 8-bit Windows-1252 bytes from end to end, held in std::string.
// `ToUpper` is the program's one upper-casing function. The number
// conversions come in two kinds: the strict one (the whole text must be a
// number, blanks around it allowed; anything else raises a Failure) and the
// lenient one (the number at the start of the text, 0 when there is none;
// never fails).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace obrix {

// ASCII letters and the Windows-1252 lower-case letters to their capitals.
char ToUpper(char c);
std::string ToUpper(std::string_view text);

// Removes leading and trailing blanks (spaces only).
std::string Trim(std::string_view text);

// Text from a caller's packet made safe for one log line: control
// characters (bytes below 0x20, and 0x7F) become '?', so a reply cannot
// break or forge lines of the activity log. Other bytes pass unchanged.
std::string LogSafe(std::string_view text);

// Decimal text of a number: no blanks, no leading zeros, '-' when negative.
std::string Decimal(int64_t value);
// A date or time field (0 to 99) as two digits: "07", "59". Other numbers
// come out as Decimal gives them.
std::string TwoDigits(int value);

// Strict conversions. Raise Failure(kFailureTypeMismatch) for a text that
// is not a number (its description quotes the text through LogSafe, as it
// may come from a caller's packet), Failure(kFailureOverflow) for one
// outside the range. A
// fraction is rounded to the nearest integer, a half to the even neighbour.
double StrictToDouble(std::string_view text);
int32_t StrictToInt32(std::string_view text);
int16_t StrictToInt16(std::string_view text);

// Lenient conversion: the decimal number (sign, digits, optional fraction)
// at the start of the text after leading blanks; 0 when there is none.
double LeadingNumber(std::string_view text);
// The leading number as a 16-bit integer (rounded half to even); raises
// Failure(kFailureOverflow) when it lies outside -32768..32767.
int16_t LeadingInt16(std::string_view text);

// Boolean reading of a user setting: a number is true when not 0, the words
// True and False (any letter case) are what they say, any other text
// (the empty text included) reads as true.
bool SettingIsTrue(std::string_view text);

// Rounds half to even, raising Failure(kFailureOverflow) outside int32.
int32_t RoundToInt32(double value);

}  // namespace obrix
