// An SQLite VFS over the machine's own that tells a test about every write
// to a WAL file and every sync of one, so that a test can check what is on
// the disk at a chosen moment without timing anything (LevelDB's
// fault_injection_test.cc does the same for its own files). While the
// object lives it is the default VFS, so every board opened meanwhile goes
// through it; close those boards before it goes.
#pragma once

#include <sqlite3.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace obrix::testing {

class SyncWatchVfs {
 public:
  enum class Event { kWalWrite, kWalSync };

  explicit SyncWatchVfs(std::function<void(Event)> onEvent) : onEvent_(std::move(onEvent)) {
    real_ = sqlite3_vfs_find(nullptr);
    if (real_ == nullptr) throw std::runtime_error("no default SQLite VFS");
    vfs_ = *real_;
    vfs_.zName = "obrix-sync-watch";
    vfs_.szOsFile = static_cast<int>(sizeof(WatchedFile)) + real_->szOsFile;
    vfs_.pAppData = this;
    vfs_.pNext = nullptr;
    vfs_.xOpen = Open;
    vfs_.xDelete = [](sqlite3_vfs* v, const char* n, int s) {
      return Real(v)->xDelete(Real(v), n, s);
    };
    vfs_.xAccess = [](sqlite3_vfs* v, const char* n, int f, int* o) {
      return Real(v)->xAccess(Real(v), n, f, o);
    };
    vfs_.xFullPathname = [](sqlite3_vfs* v, const char* n, int size, char* out) {
      return Real(v)->xFullPathname(Real(v), n, size, out);
    };
    vfs_.xRandomness = [](sqlite3_vfs* v, int n, char* out) {
      return Real(v)->xRandomness(Real(v), n, out);
    };
    vfs_.xSleep = [](sqlite3_vfs* v, int us) { return Real(v)->xSleep(Real(v), us); };
    vfs_.xCurrentTime = [](sqlite3_vfs* v, double* t) { return Real(v)->xCurrentTime(Real(v), t); };
    vfs_.xGetLastError = [](sqlite3_vfs* v, int n, char* out) {
      return Real(v)->xGetLastError(Real(v), n, out);
    };
    vfs_.xCurrentTimeInt64 = [](sqlite3_vfs* v, sqlite3_int64* t) {
      return Real(v)->xCurrentTimeInt64(Real(v), t);
    };
    vfs_.xDlOpen = nullptr;
    vfs_.xDlError = nullptr;
    vfs_.xDlSym = nullptr;
    vfs_.xDlClose = nullptr;
    if (sqlite3_vfs_register(&vfs_, 1) != SQLITE_OK) {
      throw std::runtime_error("cannot register the watching VFS");
    }
  }
  ~SyncWatchVfs() { sqlite3_vfs_unregister(&vfs_); }
  SyncWatchVfs(const SyncWatchVfs&) = delete;
  SyncWatchVfs& operator=(const SyncWatchVfs&) = delete;

 private:
  // Our file: the real one lies right behind it in the same allocation.
  struct WatchedFile {
    sqlite3_file base;
    SyncWatchVfs* owner;
    bool wal;
    sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
  };

  static sqlite3_vfs* Real(sqlite3_vfs* vfs) {
    return static_cast<SyncWatchVfs*>(vfs->pAppData)->real_;
  }
  static WatchedFile* Watched(sqlite3_file* file) { return reinterpret_cast<WatchedFile*>(file); }
  static sqlite3_file* Inner(sqlite3_file* file) { return Watched(file)->Real(); }

  static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                  int* outFlags) {
    WatchedFile* watched = Watched(file);
    std::memset(watched, 0, sizeof(WatchedFile));
    watched->owner = static_cast<SyncWatchVfs*>(vfs->pAppData);
    watched->wal = (flags & SQLITE_OPEN_WAL) != 0;
    const int rc = Real(vfs)->xOpen(Real(vfs), name, watched->Real(), flags, outFlags);
    watched->base.pMethods = watched->Real()->pMethods ? &kMethods : nullptr;
    return rc;
  }

  static void Tell(sqlite3_file* file, Event event) {
    if (Watched(file)->wal) Watched(file)->owner->onEvent_(event);
  }

  static const sqlite3_io_methods* Methods(sqlite3_file* file) { return Inner(file)->pMethods; }

  static inline const sqlite3_io_methods kMethods = {
      3,
      [](sqlite3_file* f) { return Methods(f)->xClose(Inner(f)); },
      [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
        return Methods(f)->xRead(Inner(f), b, n, o);
      },
      [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
        Tell(f, Event::kWalWrite);
        return Methods(f)->xWrite(Inner(f), b, n, o);
      },
      [](sqlite3_file* f, sqlite3_int64 size) { return Methods(f)->xTruncate(Inner(f), size); },
      [](sqlite3_file* f, int flags) {
        const int rc = Methods(f)->xSync(Inner(f), flags);
        if (rc == SQLITE_OK) Tell(f, Event::kWalSync);
        return rc;
      },
      [](sqlite3_file* f, sqlite3_int64* size) { return Methods(f)->xFileSize(Inner(f), size); },
      [](sqlite3_file* f, int lock) { return Methods(f)->xLock(Inner(f), lock); },
      [](sqlite3_file* f, int lock) { return Methods(f)->xUnlock(Inner(f), lock); },
      [](sqlite3_file* f, int* out) { return Methods(f)->xCheckReservedLock(Inner(f), out); },
      [](sqlite3_file* f, int op, void* arg) {
        return Methods(f)->xFileControl(Inner(f), op, arg);
      },
      [](sqlite3_file* f) { return Methods(f)->xSectorSize(Inner(f)); },
      [](sqlite3_file* f) { return Methods(f)->xDeviceCharacteristics(Inner(f)); },
      [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
        return Methods(f)->xShmMap(Inner(f), page, size, extend, out);
      },
      [](sqlite3_file* f, int offset, int n, int flags) {
        return Methods(f)->xShmLock(Inner(f), offset, n, flags);
      },
      [](sqlite3_file* f) { Methods(f)->xShmBarrier(Inner(f)); },
      [](sqlite3_file* f, int remove) { return Methods(f)->xShmUnmap(Inner(f), remove); },
      [](sqlite3_file* f, sqlite3_int64 offset, int n, void** out) {
        return Methods(f)->xFetch(Inner(f), offset, n, out);
      },
      [](sqlite3_file* f, sqlite3_int64 offset, void* page) {
        return Methods(f)->xUnfetch(Inner(f), offset, page);
      },
  };

  std::function<void(Event)> onEvent_;
  sqlite3_vfs* real_ = nullptr;
  sqlite3_vfs vfs_{};
};

}  // namespace obrix::testing
