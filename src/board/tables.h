// The reads and writes of the board's tables that both the server (Board)
// and the sysop's side (BoardAdmin) make, written once: users' existence,
// conference flags, last-read pointers, user variables, the configuration
// in `meta`.
//
// Each runs one statement on the caller's connection, inside whatever
// transaction the caller holds; none checks access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "board/database.h"

namespace obrix::board {

// The configuration keys of `meta`; the sysop's tool names them the same.
inline constexpr const char* kConfigName = "name";
inline constexpr const char* kConfigSysop = "sysop";
inline constexpr const char* kConfigCity = "city";
inline constexpr const char* kConfigPhone = "phone";
inline constexpr const char* kConfigPacketId = "packet-id";
inline constexpr const char* kConfigSerial = "serial";
inline constexpr const char* kConfigVersion = "version";
inline constexpr const char* kConfigPacketLimit = "packet-limit";
inline constexpr const char* kConfigConferenceLimit = "conf-limit";
inline constexpr const char* kConfigCharset = "charset";
// The longest message text the board takes, in bytes (kDefaultMaxMessage
// when unset).
inline constexpr const char* kConfigMaxMessage = "max-message";
// Seconds after which a PostgreSQL board gives up on a node that went
// silent while it held the write lock (kDefaultLostNodeTimeout when unset).
inline constexpr const char* kConfigNodeTimeout = "node-timeout";

// What the board gives for a version or limit that is not configured.
inline constexpr int32_t kDefaultServerVersion = 600;
inline constexpr int32_t kDefaultBoardPacketLimit = 10000;
inline constexpr int32_t kDefaultBoardConferenceLimit = 10000;

// The flags of a conference for users without flags of their own, unless
// the sysop chooses others.
inline constexpr uint32_t kDefaultConferenceFlags = 3;

// The section of the user variables in which SetNodeActivity keeps, per
// activity text, when it was last recorded (FILETIME ticks in decimal).
inline constexpr const char* kActivitySection = "activity";

// The value of a `meta` key, if it is kept.
std::optional<std::string> MetaValue(Database& db, std::string_view key);

// Applies the board's `node-timeout` to the connection (see
// Database::SetLostNodeTimeout); the default when it is unset or not a
// number.
void ApplyNodeTimeout(Database& db);

bool UserExists(Database& db, int32_t userId);

// The user's flags for a conference: his own, else the conference's
// default flags; nullopt when the conference does not exist.
std::optional<uint32_t> ConferenceFlags(Database& db, int32_t userId, int32_t conference);
// Stores the user's own flags for a conference, replacing earlier ones.
void PutConferenceFlags(Database& db, int32_t userId, int32_t conference, uint32_t flags);

// The user's last-read pointer in a conference; 0 until one is stored.
int32_t LastRead(Database& db, int32_t userId, int32_t conference);
void PutLastRead(Database& db, int32_t userId, int32_t conference, int32_t messageId);

// A user variable, if it is stored; the value byte for byte.
std::optional<std::string> UserVariable(Database& db, int32_t userId, std::string_view section,
                                        std::string_view key);
void PutUserVariable(Database& db, int32_t userId, std::string_view section, std::string_view key,
                     std::string_view value);

}  // namespace obrix::board
