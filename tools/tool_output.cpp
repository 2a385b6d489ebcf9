#include "tool_output.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace obrix::tool {

namespace {

std::string TsvCell(std::string cell) {
  std::replace_if(
      cell.begin(), cell.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return cell;
}

std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

}  // namespace

void Table::Print(std::ostream& out) const {
  std::vector<size_t> widths;
  for (const std::string& header : headers_) widths.push_back(header.size());
  for (const auto& row : rows_) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  const auto printRow = [&](const std::vector<std::string>& row) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out << line << '\n';
  };
  printRow(headers_);
  for (const auto& row : rows_) printRow(row);
}

void Table::PrintTsv(std::ostream& out) const {
  const auto printRow = [&](const std::vector<std::string>& row) {
    for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << TsvCell(row[i]);
    out << '\n';
  };
  printRow(headers_);
  for (const auto& row : rows_) printRow(row);
}

std::string FormatDate(FILETIME time) {
  SYSTEMTIME st;
  if (time.IsZero() || !FileTimeToSystemTime(time, st)) return "-";
  return std::to_string(st.wYear) + "-" + TwoDigits(st.wMonth) + "-" + TwoDigits(st.wDay) + " " +
         TwoDigits(st.wHour) + ":" + TwoDigits(st.wMinute);
}

std::string ReadLocalFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw std::invalid_argument("cannot read " + path + ": not a file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::invalid_argument("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw std::invalid_argument("cannot read " + path);
  return bytes.str();
}

std::string ReadStandardInput() {
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

}  // namespace obrix::tool
