#include "board/passwords.h"

#include <sodium.h>

#include "base/failure.h"
#include "base/text.h"

namespace obrix::board {

namespace {

void InitSodium() {
  if (sodium_init() < 0) throw Failure(kFailureServer, "the password library cannot start");
}

}  // namespace

std::string HashPassword(const std::string& password, HashCost cost) {
  InitSodium();
  const bool full = cost == HashCost::kFull;
  const unsigned long long operations =
      full ? crypto_pwhash_OPSLIMIT_INTERACTIVE : crypto_pwhash_OPSLIMIT_MIN;
  const size_t memory = full ? crypto_pwhash_MEMLIMIT_INTERACTIVE : crypto_pwhash_MEMLIMIT_MIN;
  const std::string upper = ToUpper(password);
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, upper.data(), upper.size(), operations, memory) != 0) {
    throw Failure(kFailureServer, "not enough memory to hash a password");
  }
  return std::string(hash);
}

bool CheckPassword(const std::string& hash, const std::string& password) {
  if (hash.empty()) return false;
  InitSodium();
  const std::string upper = ToUpper(password);
  return crypto_pwhash_str_verify(hash.c_str(), upper.data(), upper.size()) == 0;
}

}  // namespace obrix::board
