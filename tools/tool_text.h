// The sysop's terminal and the board's text. The board keeps Windows-1252;
// the tool reads its arguments and text files, and prints, in the
// character set of the locale. Nothing is ever stored as a stand-in: a
// character Windows-1252 lacks is refused, naming it. What goes to the
// terminal for a person to read has its control bytes escaped, so a
// caller's message cannot set the title or clear the screen.
#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace obrix::tool {

// A refusal whose message is terminal text already: text that cannot
// become board text (quoting the character in the terminal's own set), a
// local file that cannot be read.
class TerminalError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class TerminalText {
 public:
  // `charset` as the converter knows it (LocaleCharset()); `raw` turns
  // every conversion and escape off: bytes in and out as stored.
  TerminalText(std::string charset, bool raw);

  bool raw() const { return raw_; }
  const std::string& charset() const { return charset_; }

  // `text`, typed or read in the terminal's set, as board text. Raises
  // TerminalError naming `what` and the first character that Windows-1252
  // lacks (or the first byte that is not text of the terminal's set).
  std::string ToBoard(const std::string& what, std::string_view text) const;

  // Board text for a person: converted, with control bytes (below 0x20 but
  // tab, and 0x7F) and bytes the terminal's set cannot show written as
  // \xNN. With `lineEnds`, "\n" and "\r\n" stay line ends.
  std::string Shown(std::string_view board, bool lineEnds = false) const;
  // Board text converted as exactly as the terminal's set allows (tab-
  // separated output): nothing escaped; in a UTF-8 locale the five bytes
  // Windows-1252 leaves undefined become U+0081.., elsewhere a character
  // the set lacks becomes '?'.
  std::string Exact(std::string_view board) const;
  // Terminal text (a command-line word quoted in an error) with its
  // control bytes escaped.
  std::string Escaped(std::string_view terminal) const;
  // The columns `terminal` takes: its characters in a UTF-8 locale, else
  // its bytes.
  size_t Width(std::string_view terminal) const;

 private:
  // Each board byte in the terminal's set; nullopt where it has none.
  using ByteTable = std::array<std::optional<std::string>, 256>;
  const ByteTable& Table() const;

  std::string charset_;
  bool raw_;
  bool utf8_;
  mutable std::optional<ByteTable> table_;
};

// Board text as UTF-8, for JSON: every Windows-1252 character, and the five
// bytes it leaves undefined as the code points of the same value (as web
// browsers read them), so that nothing is lost.
std::string BoardToUtf8(std::string_view board);

// The conversion of the command that runs now (set by RunBoardTool).
const TerminalText& Terminal();
// Terminal().Shown(board): board text for a person.
std::string Shown(std::string_view board);

// Makes `text` the one Terminal() gives for the life of the scope.
class TerminalScope {
 public:
  explicit TerminalScope(const TerminalText& text);
  TerminalScope(const TerminalScope&) = delete;
  TerminalScope& operator=(const TerminalScope&) = delete;
  ~TerminalScope();

 private:
  const TerminalText* previous_;
};

}  // namespace obrix::tool
