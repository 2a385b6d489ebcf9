#include "qwk/qwk_header.h"

namespace obrix {

namespace {

void PutField(std::string& block, QwkField field, std::string_view value) {
  for (size_t i = 0; i < field.width; ++i) {
    block[field.offset + i] = i < value.size() ? value[i] : ' ';
  }
}

std::string GetField(std::string_view block, QwkField field) {
  return std::string(block.substr(field.offset, field.width));
}

}  // namespace

void PutLittleEndian32(char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLittleEndian32(const char* in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= uint32_t{static_cast<unsigned char>(in[i])} << (8 * i);
  return value;
}

std::string EncodeQwkHeader(const QwkHeader& header) {
  std::string block(kQwkBlockSize, ' ');
  block[0] = header.Status;
  PutField(block, kQwkNumber, header.Number);
  PutField(block, kQwkDate, header.Date);
  PutField(block, kQwkTime, header.Time);
  PutField(block, kQwkTo, header.To);
  PutField(block, kQwkFrom, header.From);
  PutField(block, kQwkSubject, header.Subject);
  PutField(block, kQwkPassword, header.Password);
  PutField(block, kQwkReference, header.Reference);
  PutField(block, kQwkBlocks, header.Blocks);
  block[kQwkActiveOffset] = header.Active;
  PutLittleEndian32(&block[kQwkConferenceOffset], static_cast<uint32_t>(header.Conference));
  block[kQwkTagOffset] = header.Tag;
  return block;
}

QwkHeader DecodeQwkHeader(std::string_view input) {
  std::string block(input.substr(0, kQwkBlockSize));
  block.resize(kQwkBlockSize, ' ');
  QwkHeader header;
  header.Status = block[0];
  header.Number = GetField(block, kQwkNumber);
  header.Date = GetField(block, kQwkDate);
  header.Time = GetField(block, kQwkTime);
  header.To = GetField(block, kQwkTo);
  header.From = GetField(block, kQwkFrom);
  header.Subject = GetField(block, kQwkSubject);
  header.Password = GetField(block, kQwkPassword);
  header.Reference = GetField(block, kQwkReference);
  header.Blocks = GetField(block, kQwkBlocks);
  header.Active = block[kQwkActiveOffset];
  header.Conference = static_cast<int32_t>(GetLittleEndian32(&block[kQwkConferenceOffset]));
  header.Tag = block[kQwkTagOffset];
  return header;
}

}  // namespace obrix
