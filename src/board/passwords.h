// The password hashes the board keeps: Argon2id strings (libsodium's
// crypto_pwhash_str) of the upper-cased password, so that letter case does
// not matter at log-in. Each hash records its own limits, and a check
// applies the limits recorded in the hash it is given.
#pragma once

#include <string>

namespace obrix::board {

// What a new hash costs.
enum class HashCost {
  kFull,     // libsodium's interactive limits: what the programs store
  kMinimum,  // libsodium's lowest limits: for boards made by tests only
};

// The hash stored for `password`. Raises Failure(kFailureServer) when the
// password library cannot start or runs out of memory.
std::string HashPassword(const std::string& password, HashCost cost = HashCost::kFull);

// True when `password` matches `hash`; false for an empty hash.
bool CheckPassword(const std::string& hash, const std::string& password);

}  // namespace obrix::board
