// The two failure types of the system and the table of failure codes.
//
// Procedures report their outcome as a boolean and log each failure where
// they meet it. A failure that ends an operation (a number that does not
// convert, a file that cannot be written, a board that cannot be read) is
// raised as a `Failure`, carrying a number from the table below and a
// description. The operation drivers (and the work-directory initialisers)
// catch it, the drivers logging it as their error line; the steps that are
// extras of a packet (bulletins, the new-files list) ignore it.
//
// A board whose connection was lost during a read-only snapshot and made
// again raises `kFailureServerReconnected`: the snapshot is gone, and the
// step that read in it may run again from its start in a new one. A
// failure mended where it was met (the connection made again between two
// single reads) ends nothing; it is noted through `RecoveryNotes`.
//
// A log that cannot be written is a `LogFailure` instead: it ends the run,
// since nothing that follows could be reported.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace obrix {

// Failure numbers. One table for the whole program; the numbers appear in
// the log after "(QwkDownload) Error # " and "(QwkUpload) - Error #".
enum FailureCode : int32_t {
  kFailureOverflow = 6,              // a number does not fit its counter or field
  kFailureSubscript = 9,             // an index outside its table
  kFailureTypeMismatch = 13,         // a text that must be a number is not one
  kFailureFileNotFound = 53,         // a local file that must exist does not
  kFailureFileIo = 57,               // a local file cannot be read or written
  kFailurePermission = 70,           // a local file cannot be opened or created
  kFailurePathAccess = 75,           // a path names something that is not a plain file
  kFailureBadPacket = 100,           // a reply packet that is cut short or malformed
  kFailureCharset = 101,             // no converter for the packets' character set
  kFailureServer = 1000,             // the board cannot be read or written
  kFailureNotLoggedIn = 1001,        // a per-user operation without a log-in
  kFailureServerConflict = 1002,     // a board transaction lost to another; may run again
  kFailureServerReconnected = 1003,  // a snapshot's connection lost and made again; may run again
};

class Failure : public std::runtime_error {
 public:
  Failure(int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}

  int32_t number() const { return number_; }
  std::string description() const { return what(); }

 private:
  int32_t number_;
};

// Where the notes of failures mended where they were met go: the running
// operation's log, for as long as the operation keeps one of these alive
// (the innermost one wins). A note written while none is alive goes
// nowhere.
class RecoveryNotes {
 public:
  using Writer = std::function<void(const std::string&)>;

  explicit RecoveryNotes(Writer writer) : previous_(std::exchange(Current(), std::move(writer))) {}
  ~RecoveryNotes() { Current() = std::move(previous_); }
  RecoveryNotes(const RecoveryNotes&) = delete;
  RecoveryNotes& operator=(const RecoveryNotes&) = delete;

  // Writes `line`, which must hold nothing secret, where the notes go.
  static void Write(const std::string& line) {
    if (const Writer& writer = Current()) writer(line);
  }

 private:
  static Writer& Current() {
    static Writer writer;
    return writer;
  }
  Writer previous_;
};

// The activity log cannot be written. Deliberately neither a `Failure` nor
// a std::exception: the handlers that ignore a failing step, or report a
// failure of the board as an operation's error line, cannot catch it, so
// it passes every operation and ends the run in the program's last
// handler (exit status 4) once the session is closed.
class LogFailure {
 public:
  explicit LogFailure(std::string description) : description_(std::move(description)) {}

  const std::string& description() const { return description_; }

 private:
  std::string description_;
};

}  // namespace obrix
