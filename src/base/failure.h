// The one failure type of the system and the table of its codes.
//
// Procedures report their outcome as a boolean and log each failure where
// they meet it. A failure that ends an operation (a number that does not
// convert, a file that cannot be written, a board that cannot be read) is
// raised as a `Failure`, carrying a number from the table below and a
// description. Only the operation drivers (and the work-directory
// initialisers) catch it; the drivers log it as their error line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace obrix {

// Failure numbers. One table for the whole program; the numbers appear in
// the log after "(QwkDownload) Error # " and "(QwkUpload) - Error #".
enum FailureCode : int32_t {
  kFailureOverflow = 6,         // a number does not fit its counter or field
  kFailureSubscript = 9,        // an index outside its table
  kFailureTypeMismatch = 13,    // a text that must be a number is not one
  kFailureFileNotFound = 53,    // a local file that must exist does not
  kFailureFileIo = 57,          // a local file cannot be read or written
  kFailurePermission = 70,      // a local file cannot be opened or created
  kFailurePathAccess = 75,      // a path names something that is not a plain file
  kFailureBadPacket = 100,      // a reply packet that is cut short or malformed
  kFailureServer = 1000,        // the board cannot be read or written
  kFailureNotLoggedIn = 1001,   // a per-user operation without a log-in
  kFailureLog = 1100,           // the activity log cannot be written
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

}  // namespace obrix
