// An independent reader of QWK packets for the tests: it unpacks a packet
// with the real unzip and takes "messages.dat" apart block by block and
// "control.dat" line by line, by the format's own rules, without any of the
// program's code.
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
  // "\n".
  std::string text;
};

struct QwkPacket {
  // Member names as the archive stores them, and their bytes.
  std::map<std::string, std::string> files;
  std::string firstBlock;  // the 128 bytes before the first message
  std::vector<PacketMessage> messages;
  std::vector<std::string> control;  // control.dat by line

  bool Has(const std::string& member) const { return files.count(member) != 0; }
};

// Unpacks `packetPath` into a temporary folder and reads it. Fails the
// calling test (through an exception) when the packet cannot be opened or
// "messages.dat" is not whole blocks.
QwkPacket ReadQwkPacket(const std::string& packetPath);

// Takes "messages.dat" apart; throws on a malformed file.
void ParseMessages(const std::string& bytes, QwkPacket& packet);

}  // namespace obrix::testing
