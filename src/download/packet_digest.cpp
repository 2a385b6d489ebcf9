#include "download/packet_digest.h"

#include <sodium.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/files.h"

namespace obrix {

std::string PacketDigest(const std::string& path) {
  if (sodium_init() < 0) return "";
  std::optional<LocalFile> file = LocalFile::OpenRead(path);
  if (!file) return "";
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES);
  std::vector<char> buffer(64 * 1024);
  const int64_t size = file->Size();
  int64_t offset = 0;
  while (offset < size) {
    const size_t read = file->ReadAt(buffer.data(), buffer.size(), offset);
    if (read == 0) return "";
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(buffer.data()), read);
    offset += static_cast<int64_t>(read);
  }
  std::string digest(crypto_generichash_BYTES, '\0');
  crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(digest.data()), digest.size());
  return digest;
}

}  // namespace obrix
