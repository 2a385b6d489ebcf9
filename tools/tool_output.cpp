#include "tool_output.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "base/text.h"
#include "platform/clock.h"
#include "tool_text.h"

namespace obrix::tool {

namespace {

std::string TsvCell(std::string cell) {
  std::replace_if(
      cell.begin(), cell.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return cell;
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
  return out;
}

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

Cell Cell::Text(std::string board) {
  Cell cell(Kind::kText);
  cell.text_ = std::move(board);
  return cell;
}

Cell Cell::Number(int64_t value) {
  Cell cell(Kind::kNumber);
  cell.number_ = value;
  return cell;
}

Cell Cell::Real(double value) {
  Cell cell(Kind::kReal);
  cell.real_ = value;
  return cell;
}

Cell Cell::Flag(bool value) {
  Cell cell(Kind::kFlag);
  cell.number_ = value ? 1 : 0;
  return cell;
}

Cell Cell::Date(FILETIME time) {
  Cell cell(Kind::kDate);
  cell.date_ = time;
  return cell;
}

Cell Cell::Names(std::vector<std::string> board) {
  Cell cell(Kind::kNames);
  cell.names_ = std::move(board);
  return cell;
}

Cell Cell::Setting(std::string board, bool number) {
  if (number) {
    char* end = nullptr;
    const long long value = std::strtoll(board.c_str(), &end, 10);
    if (!board.empty() && *end == '\0' && Decimal(int64_t{value}) == board) return Number(value);
  }
  return Text(std::move(board));
}

Cell Cell::Showing(std::string text) && {
  shown_ = std::move(text);
  return std::move(*this);
}

std::string Cell::ForTable() const {
  if (shown_) return *shown_;
  const TerminalText& terminal = Terminal();
  switch (kind_) {
    case Kind::kText:
      return terminal.Shown(text_);
    case Kind::kNumber:
      return Decimal(number_);
    case Kind::kReal:
      return OneDecimal(real_);
    case Kind::kFlag:
      return number_ ? "yes" : "";
    case Kind::kDate:
      return FormatDate(date_);
    case Kind::kNames:
      return terminal.Shown(Joined(names_, ", "));
  }
  return {};
}

std::string Cell::ForTsv() const {
  const TerminalText& terminal = Terminal();
  switch (kind_) {
    case Kind::kText:
      return TsvCell(terminal.Exact(text_));
    case Kind::kNumber:
    case Kind::kFlag:
      return Decimal(number_);
    case Kind::kReal:
      return OneDecimal(real_);
    case Kind::kDate:
      return IsoDate(date_);
    case Kind::kNames:
      return TsvCell(terminal.Exact(Joined(names_, ",")));
  }
  return {};
}

nlohmann::ordered_json Cell::ForJson() const {
  switch (kind_) {
    case Kind::kText:
      return BoardToUtf8(text_);
    case Kind::kNumber:
      return number_;
    case Kind::kReal:
      return real_;
    case Kind::kFlag:
      return number_ != 0;
    case Kind::kDate:
      return date_.IsZero() ? nlohmann::ordered_json(nullptr)
                            : nlohmann::ordered_json(IsoDate(date_));
    case Kind::kNames: {
      nlohmann::ordered_json names = nlohmann::ordered_json::array();
      for (const std::string& name : names_) names.push_back(BoardToUtf8(name));
      return names;
    }
  }
  return nullptr;
}

void Listing::PrintTable(std::ostream& out) const {
  const TerminalText& terminal = Terminal();
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> header;
  for (const Column& column : columns_) header.push_back(column.header);
  lines.push_back(header);
  for (const auto& row : rows_) {
    std::vector<std::string> line;
    line.reserve(row.size());
    for (const Cell& cell : row) line.push_back(cell.ForTable());
    lines.push_back(std::move(line));
  }
  std::vector<size_t> widths(columns_.size(), 0);
  for (const auto& line : lines) {
    for (size_t i = 0; i < line.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], terminal.Width(line[i]));
    }
  }
  for (const auto& line : lines) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
      text += line[i];
      if (i + 1 < line.size()) text += std::string(widths[i] - terminal.Width(line[i]) + 2, ' ');
    }
    out << text << '\n';
  }
}

void Listing::PrintTsv(std::ostream& out) const {
  for (size_t i = 0; i < columns_.size(); ++i) out << (i ? "\t" : "") << columns_[i].key;
  out << '\n';
  for (const auto& row : rows_) {
    for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << row[i].ForTsv();
    out << '\n';
  }
}

nlohmann::ordered_json Listing::ToJson() const {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  for (const auto& row : rows_) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (size_t i = 0; i < row.size() && i < columns_.size(); ++i) {
      object[columns_[i].key] = row[i].ForJson();
    }
    rows.push_back(std::move(object));
  }
  return rows;
}

std::vector<OptionSpec> Listed(std::vector<OptionSpec> options) {
  options.push_back({"--tsv", ""});
  options.push_back({"--json", ""});
  return options;
}

OutputFormat FormatOf(const Arguments& args) {
  if (args.Flag("--tsv") && args.Flag("--json")) throw UsageError("give --tsv or --json, not both");
  if (args.Flag("--tsv")) return OutputFormat::kTsv;
  if (args.Flag("--json")) return OutputFormat::kJson;
  return OutputFormat::kTable;
}

void PrintListing(const Listing& listing, OutputFormat format, std::ostream& out,
                  const std::string& whenEmpty) {
  switch (format) {
    case OutputFormat::kTsv:
      listing.PrintTsv(out);
      break;
    case OutputFormat::kJson:
      PrintJson(listing.ToJson(), out);
      break;
    case OutputFormat::kTable:
      if (listing.empty() && !whenEmpty.empty()) {
        out << whenEmpty << '\n';
      } else {
        listing.PrintTable(out);
      }
      break;
  }
}

void PrintJson(const nlohmann::ordered_json& value, std::ostream& out) {
  out << value.dump(2) << '\n';
}

std::string FormatDate(FILETIME time) {
  SYSTEMTIME st;
  if (time.IsZero() || !FileTimeToSystemTime(time, st)) return "-";
  return std::to_string(st.wYear) + "-" + TwoDigits(st.wMonth) + "-" + TwoDigits(st.wDay) + " " +
         TwoDigits(st.wHour) + ":" + TwoDigits(st.wMinute);
}

std::string IsoDate(FILETIME time) {
  SYSTEMTIME st;
  if (time.IsZero() || !FileTimeToSystemTime(time, st)) return "";
  std::string text = std::to_string(st.wYear) + "-" + TwoDigits(st.wMonth) + "-" +
                     TwoDigits(st.wDay) + "T" + TwoDigits(st.wHour) + ":" + TwoDigits(st.wMinute) +
                     ":" + TwoDigits(st.wSecond);
  const std::optional<int32_t> offset = LocalUtcOffsetSeconds(st);
  if (!offset) return text;
  // Offsets of old local mean time have seconds; ISO 8601 has minutes.
  const int32_t minutes = std::abs(*offset) / 60;
  return text + (*offset < 0 && minutes > 0 ? "-" : "+") + TwoDigits(minutes / 60) + ":" +
         TwoDigits(minutes % 60);
}

std::string ReadLocalFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw TerminalError("cannot read " + path + ": not a file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TerminalError("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw TerminalError("cannot read " + path);
  return bytes.str();
}

std::string ReadStandardInput() {
  return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::optional<std::string>& file) {
  const bool fromFile = file && *file != "-";
  const std::string bytes = fromFile ? ReadLocalFile(*file) : ReadStandardInput();
  return Terminal().ToBoard(fromFile ? *file : "standard input", bytes);
}

}  // namespace obrix::tool
