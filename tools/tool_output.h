// Output and input helpers of obrix-board: aligned tables, tab-separated
// tables, dates, and reading the files a command names.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/file_time.h"

namespace obrix::tool {

class Table {
 public:
  explicit Table(std::vector<std::string> headers) : headers_(std::move(headers)) {}
  void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  bool empty() const { return rows_.empty(); }
  // Columns padded to their widest cell, two blanks apart.
  void Print(std::ostream& out) const;
  // Header line and rows, cells separated by tabs; tabs and line ends
  // inside a cell become blanks.
  void PrintTsv(std::ostream& out) const;

 private:
  std::vector<std::string> headers_;
  std::vector<std::vector<std::string>> rows_;
};

// "YYYY-MM-DD HH:MM", or "-" for a zero time.
std::string FormatDate(FILETIME time);

// The whole content of a local file; std::invalid_argument when it cannot
// be read.
std::string ReadLocalFile(const std::string& path);
// Everything on standard input.
std::string ReadStandardInput();

}  // namespace obrix::tool
