// The caller's REP packet taken out of the pickup name.
//
// The pickup name (packet id + ".rep" in the work directory) is shared by
// every caller of a node. An upload therefore moves the REP it found into
// the folder "kept" of the work directory, under a name of its own that
// says whose it is, before it reads a byte of it: no later run can take it
// for its own caller's, whatever becomes of this one. A run that reads it
// to its end and posts every reply removes it there; otherwise (a reply
// refused, a reply that could not be read, a run that failed or was
// killed) it stays for the sysop, readable by its owner only.
//
// A REP whose owner nobody can tell is kept too, under a name that says
// so: one of several files that answer to the pickup name in different
// letter cases (an upload posts none of them), and one that a download
// finds at the pickup name (no caller present uploaded it).
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_time.h"
#include "run/run_context.h"

namespace obrix {

inline constexpr const char* kKeptFolderName = "kept";

// "<packet id>-<user id>-<yyyymmdd>-<hhmmss>.rep".
std::string KeptPacketName(const std::string& packetId, int32_t userId, const SYSTEMTIME& now);

// The word in place of the user id in the kept name of a REP that belongs
// to no known caller.
inline constexpr const char* kUnknownOwner = "unknown";

// "<stem>-unknown-<yyyymmdd>-<hhmmss>.rep", where the stem is the found
// name without its extension, in its letter case.
std::string UnownedPacketName(const std::string& foundName, const SYSTEMTIME& now);

// Moves the REP at `archive` into QwkPath + "kept/" under its kept name
// (for the logged-in user, at the context's clock; "-2", "-3", ... before
// the extension when the name is taken), made its owner's alone, and
// returns the new path. Creates the folder, its owner's alone, when
// missing. Raises Failure(kFailurePermission) when it cannot; the REP then
// stays where it was.
std::string ClaimReplyPacket(RunContext& context, const std::string& archive,
                             const std::string& packetId);

// Moves the REP at `archive`, whose owner nobody can tell, into
// QwkPath + "kept/" under its UnownedPacketName, as ClaimReplyPacket does,
// and returns the new path. Raises Failure(kFailurePermission) when it
// cannot.
std::string KeepUnownedPacket(RunContext& context, const std::string& archive);

// Moves every REP that answers to the pickup name (packet id + ".rep" in
// any letter case) into "kept/" as KeepUnownedPacket does, for a run that
// takes none of them as its caller's, and logs a line for each ("Reply
// packet " + its path + " belongs to no caller of this run: kept as " +
// the new path). False (logged) when one cannot be moved.
bool KeepStrayReplyPackets(RunContext& context, const std::string& packetId);

// Syncs the folders a claimed REP left and entered (the work directory and
// its "kept"), so that the move outlasts a power cut. Raises
// Failure(kFailureFileIo) when they cannot be synced.
void SyncClaim(RunContext& context);

}  // namespace obrix
