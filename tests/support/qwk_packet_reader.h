// An independent reader of QWK packets for the tests: it unpacks a packet
// with the real unzip and takes "messages.dat" apart block by block and
// "control.dat" line by line, by the format's own rules, without any of the
// program's code. Of the extensions it reads what readers read: in a
// packet with "TOREADER.EXT" (a QWKE packet) the To, From and Subject lines
// at the top of a message's text, and the conferences of "TOREADER.EXT";
// in any packet the sections of "HEADERS.DAT", each given to the message
// whose header block lies at its offset.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace obrix::testing {

struct PacketMessage {
  char status = ' ';
  std::string number;     // trimmed
  std::string date;       // mm-dd-yy
  std::string time;       // hh:mm
  std::string to;         // trimmed
  std::string from;       // trimmed
  std::string subject;    // trimmed
  std::string reference;  // trimmed
  int blocks = 0;         // header included
  char active = 0;
  int32_t conference = 0;
  // The text with the trailing fill removed and every 0xE3 turned into
  // "\n"; in a QWKE packet without its To, From and Subject lines.
  std::string text;
  size_t offset = 0;  // of the header block in MESSAGES.DAT
  // A QWKE packet's lines at the top of the text: "To", "From" and
  // "Subject" to their values as given.
  std::map<std::string, std::string> longFields;
  // The message's section of HEADERS.DAT: key to value.
  std::map<std::string, std::string> headers;
};

struct QwkPacket {
  // Member names as the archive stores them, and their bytes.
  std::map<std::string, std::string> files;
  std::string firstBlock;  // the 128 bytes before the first message
  std::vector<PacketMessage> messages;
  std::vector<std::string> control;  // control.dat by line
  // TOREADER.EXT: the flags of every AREA line by conference, and the
  // ALIAS line's name.
  std::map<int32_t, std::string> areas;
  std::string alias;

  bool Has(const std::string& member) const { return files.count(member) != 0; }
};

// Unpacks `packetPath` into a temporary folder and reads it. Fails the
// calling test (through an exception) when the packet cannot be opened or
// "messages.dat" is not whole blocks.
QwkPacket ReadQwkPacket(const std::string& packetPath);

// Takes "messages.dat" apart; throws on a malformed file.
void ParseMessages(const std::string& bytes, QwkPacket& packet);

// Gives each message of `packet` its section of the HEADERS.DAT `bytes`;
// throws on a section whose offset is no message's header block.
void ParseHeadersDat(const std::string& bytes, QwkPacket& packet);

}  // namespace obrix::testing
