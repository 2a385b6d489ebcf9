// The server's records as the system keeps them.
//
// Text fields are fixed-width, left-aligned and filled with blanks, as the
// server library lays them out; `FixedText<N>` holds one such field. Every
// record argument of a server operation is in/out: the operation reads what
// the caller filled and writes back what the server holds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "platform/file_time.h"

namespace obrix {

// A fixed-width text field of N characters, blank-filled.
template <size_t N>
class FixedText {
 public:
  FixedText() { data_.fill(' '); }
  explicit FixedText(std::string_view text) { Set(text); }

  static constexpr size_t kWidth = N;

  // Stores `text`, cut to N characters or filled with blanks up to N.
  void Set(std::string_view text) {
    data_.fill(' ');
    const size_t n = text.size() < N ? text.size() : N;
    for (size_t i = 0; i < n; ++i) data_[i] = text[i];
  }
  void Clear() { data_.fill(' '); }

  // All N characters, fill included.
  std::string Str() const { return std::string(data_.data(), N); }
  std::string_view View() const { return std::string_view(data_.data(), N); }
  // The value without the blanks around it.
  std::string Trimmed() const { return Trim(View()); }
  bool IsBlank() const { return Trimmed().empty(); }

  bool operator==(const FixedText&) const = default;

 private:
  std::array<char, N> data_;
};

using Bool32 = int32_t;  // server booleans: -1 true, 0 false
inline constexpr Bool32 kTrue32 = -1;
inline constexpr Bool32 kFalse32 = 0;

struct UserInfo {
  int32_t id = 0;  // 0: no known user
  FixedText<72> name;
  FixedText<12> title;
};

// The server's user record (vbGetUserByName, vbGetUserById).
struct UserRecord {
  UserInfo info;
  FILETIME newFilesDate{};  // new files are counted from this date
};

// The server's message header.
struct MessageRecord {
  int32_t conference = 0;
  int32_t id = 0;
  int32_t number = 0;
  UserInfo from;
  UserInfo to;
  FixedText<72> subject;
  FILETIME entryTime{};    // when the message was posted
  FILETIME messageTime{};  // the message's own date, shown in packets
  FILETIME readTime{};     // when the addressee received it
  Bool32 isPrivate = kFalse32;
  Bool32 received = kFalse32;
  Bool32 receiptRequested = kFalse32;
  int32_t reference = 0;  // id of the message answered, 0 for none
  int32_t textLength = 0;
  FixedText<12> UploaderIdText;
  int32_t nextUnread = 0;  // next message of the addressee's unread chain
  int32_t prevUnread = 0;  // previous message of that chain
};

// The values of the board's packet character set (MakewildRecord::charset):
// code page 437, as offline readers decode packets, or the board's
// Windows-1252 bytes as they are stored.
inline constexpr const char* kPacketCharsetCp437 = "cp437";
inline constexpr const char* kPacketCharsetAsStored = "windows-1252";

// Board configuration (vbGetMakewild).
struct MakewildRecord {
  FixedText<52> boardName;
  FixedText<28> sysopName;
  FixedText<32> city;
  FixedText<28> phoneNumber;
  FixedText<12> packetId;
  FixedText<8> serialNumber;
  // The character set of the board's packets: "cp437" (what offline readers
  // decode) or "windows-1252" (the board's own bytes, unconverted).
  FixedText<16> charset;
};

// The conference modes (ConfDescRecord::mode) that make every reply
// private, and those that make every reply public.
inline bool IsPrivateOnlyMode(int32_t mode) { return mode == 2 || mode == 3 || mode == 4; }
inline bool IsPublicOnlyMode(int32_t mode) {
  return mode == 1 || mode == 5 || mode == 6 || mode == 7;
}

// Conference description (vbGetConfDesc).
struct ConfDescRecord {
  int32_t number = 0;
  FixedText<60> name;
  // Public/private mode of the replies posted to the conference: 2, 3, 4
  // make every reply private, 1, 5, 6, 7 every reply public; any other
  // value (0 by default) leaves it to the reply.
  int32_t mode = 0;
  // The conference's object for GetObjectFlags; 0 when none was found.
  uint32_t objectId = 0;
};

// File area (vbGetFileArea).
struct FileAreaRecord {
  int32_t number = 0;
  FixedText<32> name;
  Bool32 exclude = kFalse32;  // true: left out of new-files lists
};

// File entry (vbSearchFileRecByAreaDate, vbGetNextFileRec).
struct FileRecord {
  int32_t area = 0;
  FixedText<16> name;
  FixedText<76> description;
  int32_t size = 0;  // bytes
  FILETIME fileTime{};
};

}  // namespace obrix
