// Output and input helpers of obrix-board: listings printed as aligned
// tables for people, tab-separated or JSON for scripts, dates, and reading
// the files a command names.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/file_time.h"
#include "tool_args.h"

namespace obrix::tool {

// One value of a listing. Texts are board text (Windows-1252); each kind
// has its form in a table, in tab-separated output and in JSON.
class Cell {
 public:
  static Cell Text(std::string board);  // JSON string
  static Cell Number(int64_t value);    // JSON number
  static Cell Real(double value);       // JSON number; one decimal in a table
  static Cell Flag(bool value);         // "yes"/"", 1/0, true/false
  static Cell Date(FILETIME time);  // table "YYYY-MM-DD HH:MM", else IsoDate; none: "-", "", null
  static Cell Names(std::vector<std::string> board);  // "A, B", "A,B", an array
  // A stored setting: a Number when `number` says the setting holds one and
  // `board` is that number written as the board writes it, else Text.
  static Cell Setting(std::string board, bool number);
  // What an aligned table shows instead of the value (plain ASCII).
  Cell Showing(std::string text) &&;

  std::string ForTable() const;  // escaped terminal text
  std::string ForTsv() const;    // exact terminal text, no tabs or line ends
  nlohmann::ordered_json ForJson() const;

 private:
  enum class Kind { kText, kNumber, kReal, kFlag, kDate, kNames };
  explicit Cell(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::string text_;
  int64_t number_ = 0;
  double real_ = 0;
  FILETIME date_{};
  std::vector<std::string> names_;
  std::optional<std::string> shown_;
};

// A listing's column. Scripts know it by one name in snake_case, the same
// in the tab-separated header and as the JSON key; people see `header`.
struct Column {
  std::string header;  // the aligned table's header
  std::string key;     // the tab-separated header and the JSON key
};

class Listing {
 public:
  explicit Listing(std::vector<Column> columns) : columns_(std::move(columns)) {}
  void Add(std::vector<Cell> row) { rows_.push_back(std::move(row)); }
  bool empty() const { return rows_.empty(); }
  const std::vector<Column>& columns() const { return columns_; }
  const std::vector<std::vector<Cell>>& rows() const { return rows_; }
  // Columns padded to their widest cell, two blanks apart.
  void PrintTable(std::ostream& out) const;
  // Header line and rows, cells separated by tabs; tabs and line ends
  // inside a cell become blanks.
  void PrintTsv(std::ostream& out) const;
  // An array with one object per row.
  nlohmann::ordered_json ToJson() const;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<Cell>> rows_;
};

enum class OutputFormat { kTable, kTsv, kJson };

// The options of a listing command: `options`, --tsv and --json.
std::vector<OptionSpec> Listed(std::vector<OptionSpec> options);
// The format the switches ask for (a UsageError when both are given).
OutputFormat FormatOf(const Arguments& args);
// Prints `listing` in `format`; a table that is empty prints `whenEmpty`
// instead when it is not empty.
void PrintListing(const Listing& listing, OutputFormat format, std::ostream& out,
                  const std::string& whenEmpty = "");
// JSON as the tool prints it: indented, UTF-8, one line feed at the end.
void PrintJson(const nlohmann::ordered_json& value, std::ostream& out);

// "YYYY-MM-DD HH:MM", or "-" for a zero time.
std::string FormatDate(FILETIME time);
// ISO 8601 with the local offset in force at that time,
// "2026-12-08T07:15:00+01:00"; "" for a zero time. The board keeps local
// times; where the system cannot place one the offset is left out.
std::string IsoDate(FILETIME time);

// The whole content of a local file; TerminalError when it cannot be
// read.
std::string ReadLocalFile(const std::string& path);
// Everything on standard input.
std::string ReadStandardInput();
// Message text from FILE ("-" or none: standard input), converted from the
// terminal's set to board text.
std::string ReadText(const std::optional<std::string>& file);

}  // namespace obrix::tool
