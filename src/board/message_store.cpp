// Placeholder until the board administration lands.
#include "board/message_store.h"

#include "server/failure.h"

namespace obrix::board {

int64_t MessageTextHash(std::string_view) { throw Failure(kFailureNotAvailable, "not available yet"); }
PostResult StoreMessage(Database&, const StoredMessage&) {
  throw Failure(kFailureNotAvailable, "not available yet");
}

}  // namespace obrix::board
