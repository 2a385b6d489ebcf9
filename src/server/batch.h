// Scope guards over the server's batches and snapshots (server.h).
#pragma once

#include <exception>

#include "server/server.h"

namespace obrix {

// A batch of server writes that is dropped unless committed.
class Batch {
 public:
  explicit Batch(Server& server) : server_(server) { server_.BeginBatch(); }
  ~Batch() {
    if (committed_) return;
    try {
      server_.RollbackBatch();
    } catch (const std::exception&) {
      // The board drops an unfinished batch when the connection closes.
    }
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;
  void Commit() {
    server_.CommitBatch();
    committed_ = true;
  }

 private:
  Server& server_;
  bool committed_ = false;
};

// A snapshot of the board held for the guard's life: the reads made in it
// see one state of the board and share one read lock. Only reads may be
// made while it is held.
//
// A snapshot whose connection to the board was lost and made again is
// gone: its reads raise Failure(kFailureServerReconnected), and so does
// End, should a failed read have been passed over. The step that read in
// it may then run again from its start in a new snapshot.
class Snapshot {
 public:
  explicit Snapshot(Server& server) : server_(server) { server_.BeginSnapshot(); }
  ~Snapshot() {
    if (ended_) return;
    try {
      server_.EndSnapshot();
    } catch (const std::exception&) {
      // The board ends an open read when the connection closes.
    }
  }
  Snapshot(const Snapshot&) = delete;
  Snapshot& operator=(const Snapshot&) = delete;
  // Ends the snapshot once its reads are done; raises when it failed.
  void End() {
    ended_ = true;
    server_.EndSnapshot();
  }

 private:
  Server& server_;
  bool ended_ = false;
};

}  // namespace obrix
