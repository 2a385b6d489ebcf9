// A scope guard over a server file handle (WcCreateFile, WcCloseHandle).
#pragma once

#include <cstdint>

#include "base/failure.h"
#include "server/server.h"

namespace obrix {

// Closes a server file handle when it goes out of scope.
class ServerFileHandle {
 public:
  ServerFileHandle(Server& server, int32_t handle) : server_(server), handle_(handle) {}
  ~ServerFileHandle() {
    try {
      server_.WcCloseHandle(handle_);
    } catch (const Failure&) {
      // Nothing more can be done with a handle that does not close.
    }
  }
  ServerFileHandle(const ServerFileHandle&) = delete;
  ServerFileHandle& operator=(const ServerFileHandle&) = delete;
  int32_t get() const { return handle_; }

 private:
  Server& server_;
  int32_t handle_;
};

}  // namespace obrix
