#include "support/qwk_packet_reader.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/test_support.h"

namespace obrix::testing {

namespace {

constexpr size_t kBlock = 128;

std::string Field(const std::string& block, size_t offset, size_t width) {
  const std::string raw = block.substr(offset, width);
  const size_t first = raw.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return raw.substr(first, raw.find_last_not_of(' ') - first + 1);
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Moves the To, From and Subject lines at the top of the text into
// longFields, as readers of QWKE packets take them.
void TakeLongFields(PacketMessage& message) {
  for (;;) {
    const size_t end = message.text.find('\n');
    if (end == std::string::npos) return;
    const std::string line = message.text.substr(0, end);
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    const std::string keyword = Lower(line.substr(0, colon));
    if (keyword != "to" && keyword != "from" && keyword != "subject") return;
    const std::string key = keyword == "to" ? "To" : keyword == "from" ? "From" : "Subject";
    const size_t value = line.find_first_not_of(' ', colon + 1);
    message.longFields[key] = value == std::string::npos ? "" : line.substr(value);
    message.text.erase(0, end + 1);
  }
}

void ParseToReader(const std::string& bytes, QwkPacket& packet) {
  for (const std::string& line : SplitCrLf(bytes)) {
    if (line.rfind("AREA ", 0) == 0) {
      const size_t blank = line.find(' ', 5);
      const int32_t number = std::stoi(line.substr(5, blank - 5));
      packet.areas[number] = blank == std::string::npos ? "" : line.substr(blank + 1);
    } else if (line.rfind("ALIAS ", 0) == 0) {
      packet.alias = line.substr(6);
    }
  }
}

}  // namespace

void ParseHeadersDat(const std::string& bytes, QwkPacket& packet) {
  std::map<size_t, PacketMessage*> byOffset;
  for (PacketMessage& message : packet.messages) byOffset[message.offset] = &message;
  PacketMessage* current = nullptr;
  for (const std::string& line : SplitCrLf(bytes)) {
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      const size_t offset = std::stoul(line.substr(1, line.size() - 2), nullptr, 16);
      const auto found = byOffset.find(offset);
      if (found == byOffset.end())
        throw std::runtime_error("HEADERS.DAT names no message: " + line);
      current = found->second;
      continue;
    }
    const size_t equals = line.find('=');
    if (current == nullptr || equals == std::string::npos) {
      throw std::runtime_error("HEADERS.DAT line outside a section or without '=': " + line);
    }
    current->headers[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
  }
}

void ParseMessages(const std::string& bytes, QwkPacket& packet) {
  if (bytes.size() % kBlock != 0 || bytes.empty()) {
    throw std::runtime_error("messages.dat is not whole blocks: " + std::to_string(bytes.size()));
  }
  packet.firstBlock = bytes.substr(0, kBlock);
  size_t at = kBlock;
  while (at < bytes.size()) {
    const std::string header = bytes.substr(at, kBlock);
    PacketMessage message;
    message.offset = at;
    message.status = header[0];
    message.number = Field(header, 1, 7);
    message.date = header.substr(8, 8);
    message.time = header.substr(16, 5);
    message.to = Field(header, 21, 25);
    message.from = Field(header, 46, 25);
    message.subject = Field(header, 71, 25);
    message.reference = Field(header, 108, 8);
    message.blocks = std::atoi(Field(header, 116, 6).c_str());
    message.active = header[122];
    const auto byte = [&](size_t i) {
      return static_cast<uint32_t>(static_cast<unsigned char>(header[i]));
    };
    message.conference =
        static_cast<int32_t>(byte(123) | byte(124) << 8 | byte(125) << 16 | byte(126) << 24);
    if (message.blocks < 1 || at + static_cast<size_t>(message.blocks) * kBlock > bytes.size()) {
      throw std::runtime_error("bad block count in message " + message.number);
    }
    std::string text = bytes.substr(at + kBlock, static_cast<size_t>(message.blocks - 1) * kBlock);
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    for (char& c : text) {
      if (c == static_cast<char>(0xE3)) c = '\n';
    }
    message.text = text;
    packet.messages.push_back(message);
    at += static_cast<size_t>(message.blocks) * kBlock;
  }
}

QwkPacket ReadQwkPacket(const std::string& packetPath) {
  TempDir folder;
  const ProcessResult result =
      RunProgram({"unzip", "-qq", "-o", packetPath, "-d", folder.path()}, folder.path());
  if (result.status != 0) throw std::runtime_error("unzip failed: " + result.output);

  QwkPacket packet;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    packet.files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  const auto messages = packet.files.find("MESSAGES.DAT");
  if (messages == packet.files.end()) throw std::runtime_error("no MESSAGES.DAT in the packet");
  ParseMessages(messages->second, packet);
  const auto control = packet.files.find("CONTROL.DAT");
  if (control != packet.files.end()) packet.control = SplitCrLf(control->second);
  const auto toReader = packet.files.find("TOREADER.EXT");
  if (toReader != packet.files.end()) {
    ParseToReader(toReader->second, packet);
    for (PacketMessage& message : packet.messages) TakeLongFields(message);
  }
  const auto headers = packet.files.find("HEADERS.DAT");
  if (headers != packet.files.end()) ParseHeadersDat(headers->second, packet);
  return packet;
}

}  // namespace obrix::testing
