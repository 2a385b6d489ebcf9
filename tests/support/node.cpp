#include "support/node.h"

#include <algorithm>
#include <filesystem>

#include "base/version.h"

namespace obrix::testing {

namespace {
const std::string kSeparator(50, '-');
}  // namespace

Node::Node(const std::string& board, const std::string& folder) : dir_(folder), board_(board) {
  if (dir_.empty()) {
    dir_ = own_.emplace().path();
  } else {
    std::filesystem::create_directories(dir_);
  }
  obrix_ = InstallObrix(dir_);
}

std::string Node::Work(const std::string& name) const {
  return name.empty() ? dir_ + "/Qwk" : dir_ + "/Qwk/" + name;
}

std::vector<std::string> Node::WorkFiles() const {
  std::vector<std::string> names = FolderNames(Work());
  names.erase(std::remove(names.begin(), names.end(), "obrix.lock"), names.end());
  return names;
}

void Node::WriteRep(const std::vector<TestReply>& replies) const {
  WriteRep(ReplyFile("OBRIX", replies));
}

void Node::WriteRep(const std::string& replyFile) const {
  std::filesystem::create_directories(Work());
  ZipMembers(Work("obrix.rep"), {{"OBRIX.MSG", replyFile}});
}

Process Node::Start(const Call& call) const {
  RunOptions options;
  options.environment = call.environment;
  options.environment.emplace("OBRIX_BOARD", board_);
  options.lowPriority = call.lowPriority;
  options.user = call.runAs;
  std::vector<std::string> argv = call.wrapper;
  argv.insert(argv.end(), {obrix_, "/U", call.user, "/P", call.password, call.operation});
  return StartProgram(argv, dir_, options);
}

ProcessResult Node::Run(const Call& call) const { return Start(call).Finish(120); }

std::vector<std::string> Node::Log() const {
  const std::string path = dir_ + "/obrix.log";
  return Exists(path) ? LogMessages(path) : std::vector<std::string>{};
}

std::vector<std::string> Node::LastRun() const {
  const std::vector<std::string> all = Log();
  const auto start = std::find(all.rbegin(), all.rend(), kSeparator);
  return std::vector<std::string>(start == all.rend() ? all.begin() : start.base() - 1, all.end());
}

::testing::Matcher<std::vector<std::string>> IsRun(const std::string& operation,
                                                   const LineMatchers& lines, bool succeeded,
                                                   const std::string& user) {
  const std::string name = operation == kDownload ? "Download" : "Upload";
  LineMatchers all = {kSeparator,
                      "Obrix version " + std::to_string(version::kMajor) + "." +
                          std::to_string(version::kMinor) + "." +
                          std::to_string(version::kRevision) + version::kComments,
                      std::string(version::kLegalNotice) + " " + version::kCompany,
                      "Connecting to Wildcat...",
                      "Logged in as " + user,
                      "Starting QWK " + name + " process..."};
  all.insert(all.end(), lines.begin(), lines.end());
  all.emplace_back(name + (succeeded ? " complete." : " failed."));
  all.emplace_back("Disconnected from Wildcat.");
  return ::testing::ElementsAreArray(all);
}

LineMatchers Scan(const ScanLog& scan) {
  LineMatchers lines = {"Preparing mail packet...",
                        "Total message limit: " + std::to_string(scan.packetLimit),
                        "Conference message limit: " + std::to_string(scan.conferenceLimit)};
  lines.insert(lines.end(), scan.conferences.begin(), scan.conferences.end());
  lines.emplace_back(scan.total);
  lines.insert(lines.end(), scan.after.begin(), scan.after.end());
  return lines;
}

std::vector<std::string> Subjects(const QwkPacket& packet) {
  std::vector<std::string> subjects;
  for (const PacketMessage& message : packet.messages) subjects.push_back(message.subject);
  return subjects;
}

}  // namespace obrix::testing
