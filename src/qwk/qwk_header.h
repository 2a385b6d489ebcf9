// The 128-byte QWK message header, laid out in one place.
//
// Offsets and widths of every field; the message writer builds headers with
// `EncodeQwkHeader` and the reply reader takes them apart with
// `DecodeQwkHeader`. docs/qwk-format.md describes the layout in prose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace obrix {

inline constexpr size_t kQwkBlockSize = 128;
inline constexpr char kQwkLineEnd = static_cast<char>(0xE3);
inline constexpr char kQwkActive = static_cast<char>(0xE1);

// The header's fields as the block holds them. Text fields are exactly
// their width (Encode cuts or blank-fills them).
struct QwkHeader {
  char Status = ' ';         // offset 0
  std::string Number;        // 1, 7
  std::string Date;          // 8, 8  mm-dd-yy
  std::string Time;          // 16, 5 hh:mm
  std::string To;            // 21, 25
  std::string From;          // 46, 25
  std::string Subject;       // 71, 25
  std::string Password;      // 96, 12
  std::string Reference;     // 108, 8
  std::string Blocks;        // 116, 6
  char Active = kQwkActive;  // 122
  int32_t Conference = 0;    // 123, 4 little-endian
  char Tag = ' ';            // 127
};

struct QwkField {
  size_t offset;
  size_t width;
};
inline constexpr QwkField kQwkNumber{1, 7};
inline constexpr QwkField kQwkDate{8, 8};
inline constexpr QwkField kQwkTime{16, 5};
inline constexpr QwkField kQwkTo{21, 25};
inline constexpr QwkField kQwkFrom{46, 25};
inline constexpr QwkField kQwkSubject{71, 25};
inline constexpr QwkField kQwkPassword{96, 12};
inline constexpr QwkField kQwkReference{108, 8};
inline constexpr QwkField kQwkBlocks{116, 6};
inline constexpr size_t kQwkActiveOffset = 122;
inline constexpr size_t kQwkConferenceOffset = 123;
inline constexpr size_t kQwkTagOffset = 127;

// The 128 bytes of a header. Text fields are cut to their width or filled
// with blanks.
std::string EncodeQwkHeader(const QwkHeader& header);

// The fields of a 128-byte block (a shorter block is read as if filled with
// blanks). Text fields come back at their full width, untrimmed.
QwkHeader DecodeQwkHeader(std::string_view block);

// Little-endian 32-bit integers in a byte buffer.
void PutLittleEndian32(char* out, uint32_t value);
uint32_t GetLittleEndian32(const char* in);

}  // namespace obrix
