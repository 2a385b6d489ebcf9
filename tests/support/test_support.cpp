#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "platform/files.h"

namespace obrix::testing {

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; path_.empty() && attempt < 100; ++attempt) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("obrix-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) path_ = path.generic_string();
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make read-only folders removable again before removing them.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out << bytes;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

unsigned FileMode(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(path, error);
  if (error || !std::filesystem::exists(status)) return 0;
  return static_cast<unsigned>(status.permissions()) & 0777u;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

namespace {

// `text` with Windows' path separators as "/".
std::string GenericPaths(std::string text) {
#ifdef _WIN32
  std::replace(text.begin(), text.end(), '\\', '/');
#endif
  return text;
}

}  // namespace

std::vector<std::string> LogMessages(const std::string& logPath) {
  std::vector<std::string> messages;
  for (const std::string& line : SplitCrLf(ReadFile(logPath))) {
    // "mm/dd/yyyy hh:mm:ss " is 20 characters.
    const bool stamped = line.size() >= 20 && line[2] == '/' && line[5] == '/' && line[10] == ' ' &&
                         line[13] == ':' && line[16] == ':' && line[19] == ' ';
    messages.push_back(GenericPaths(stamped ? line.substr(20) : line));
  }
  return messages;
}

Process::Process(const std::vector<std::string>& argv, const std::string& workingDirectory,
                 const RunOptions& options) {
  std::string reason;
  child_ = ChildProcess::Start(argv, workingDirectory, options, reason);
  if (!child_) throw std::runtime_error("cannot start " + argv[0] + ": " + reason);
}

int Process::Wait(double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  auto pause = std::chrono::microseconds(100);
  while (!timedOut_ && Running()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ADD_FAILURE() << "the program did not end within " << seconds << " s";
      Kill();
      timedOut_ = true;
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
  return timedOut_ ? -2 : child_->status();
}

std::string TextOf(std::string output) {
#ifdef _WIN32
  std::string lines;
  for (size_t i = 0; i < output.size(); ++i) {
    if (!(output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n')) lines += output[i];
  }
  output = GenericPaths(lines);
#endif
  return output;
}

::testing::Matcher<std::string> MatchesPattern(const std::string& pattern) {
  const std::regex expression(pattern);
  return ::testing::Truly(
      [expression](const std::string& text) { return std::regex_match(text, expression); });
}

ProcessResult Process::Finish(double seconds) {
  const int status = Wait(seconds);
  return {status, Output()};
}

Process StartProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                     const RunOptions& options) {
  return Process(argv, workingDirectory, options);
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::string& workingDirectory,
                         const std::map<std::string, std::string>& environment,
                         const std::string& input) {
  return StartProgram(argv, workingDirectory, {.environment = environment, .input = input})
      .Finish(120);
}

#ifdef _WIN32
// The test program is built beside the programs it runs, and moved with
// them to the machine that runs it.
std::string ObrixBinary() { return ProgramDirectory() + "\\obrix.exe"; }
std::string BoardBinary() { return ProgramDirectory() + "\\obrix-board.exe"; }
std::string TestHelper() { return ProgramDirectory() + "\\obrix_test_helper.exe"; }

std::string MissingReason(Need need) {
  switch (need) {
    case Need::kFileModes:
      return "Windows has no POSIX file modes";
    case Need::kOtherUsers:
      return "Windows runs no program under a numeric user id";
    case Need::kFifos:
      return "Windows has no FIFOs";
    case Need::kSymlinks:
      return "symbolic links need a privilege on Windows";
    case Need::kStopAndContinue:
      return "Windows cannot stop and resume a process tree";
    case Need::kStrace:
      return "strace traces Linux programs only";
    case Need::kPostgresServer:
      return std::getenv("OBRIX_TEST_POSTGRES") ? "" : "no PostgreSQL test server named here";
    case Need::kPosixTools:
      return "the POSIX tools and /proc are Linux's";
    case Need::kFileSizeLimit:
      return "Windows has no per-process file-size limit";
    case Need::kSocketsCloseOnKill:
      return "under Wine a killed program's sockets outlive it (wineserver holds them)";
    case Need::kCaseSensitiveNames:
      return "Windows file names ignore letter case";
  }
  return "";
}
#else
std::string ObrixBinary() { return OBRIX_BINARY; }
std::string BoardBinary() { return OBRIX_BOARD_BINARY; }
std::string TestHelper() { return OBRIX_TEST_HELPER; }

// Linux has all of them; the suite never skips its PostgreSQL half there.
std::string MissingReason(Need) { return ""; }
#endif

std::string InstallObrix(const std::string& dir) {
  std::string target = dir + "/" + std::filesystem::path(ObrixBinary()).filename().string();
  std::filesystem::remove(target);
  std::error_code linked;
  std::filesystem::create_hard_link(ObrixBinary(), target, linked);
  if (linked) std::filesystem::copy_file(ObrixBinary(), target);
  return target;
}

}  // namespace obrix::testing
