#include "support/qwk_packet_reader.h"

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

}  // namespace

void ParseMessages(const std::string& bytes, QwkPacket& packet) {
  if (bytes.size() % kBlock != 0 || bytes.empty()) {
    throw std::runtime_error("messages.dat is not whole blocks: " + std::to_string(bytes.size()));
  }
  packet.firstBlock = bytes.substr(0, kBlock);
  size_t at = kBlock;
  while (at < bytes.size()) {
    const std::string header = bytes.substr(at, kBlock);
    PacketMessage message;
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
  return packet;
}

}  // namespace obrix::testing
