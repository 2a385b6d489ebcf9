// The four readers of the command line.
//
// Each takes the argument text (the program's arguments joined by single
// blanks, the program's own name left out), upper-cases it and searches it
// for one switch. They never fail: a missing switch gives the empty text
// (or false), and the run sequence reports it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace obrix {

// The text after "/U " up to the next "/", less the character just before
// that slash (or to the end when no slash follows), trimmed.
std::string ParseUserName(const std::string& arguments);
// The text after "/P " up to the next blank (or to the end), trimmed.
std::string ParsePassword(const std::string& arguments);
// "DOWNLOAD" when " /DOWNLOAD" occurs, else "UPLOAD" when " /UPLOAD"
// occurs, else the empty text.
std::string ParseOperation(const std::string& arguments);
// True when " /OVERWRITE" occurs.
bool ParseOverwrite(const std::string& arguments);
// True when the whole command line is "--version", which asks for the
// program's version instead of a run.
bool AsksForVersion(const std::string& arguments);
// The command line's bytes in the board's character set (Windows-1252),
// read in `charset`. The empty text, or the C locale's ASCII
// ("ANSI_X3.4-1968"), takes the bytes as they are. nullopt when `charset`
// is unknown, or a character is not `charset`'s or has no place on the
// board, with `problem` saying so (by position, never the text: it may be
// the password).
std::optional<std::string> ArgumentsToBoard(const std::string& arguments,
                                            const std::string& charset, std::string& problem);
// True when the whole command line is "--help" (or "-h", "/?"), which asks
// for the usage text instead of a run.
bool AsksForHelp(const std::string& arguments);
// What the command line holds beyond its switches and their values, one
// description each: a word before the first switch or after a switch that
// takes none, a second word of the password (counted, never shown), an
// unknown switch. Empty for a command line the four readers take whole.
std::vector<std::string> NotUnderstood(const std::string& arguments);

}  // namespace obrix
