#include "upload/rep_archive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>

#include "base/failure.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/process.h"
#include "qwk/packet_archive.h"
#include "qwk/qwk_files.h"

namespace obrix {

namespace {

// unzip's exit statuses that mean it read the archive: done, done with
// warnings (a member skipped, stray bytes), and a name pattern that
// matched no member (given only when nothing worse happened).
constexpr int kUnzipDone = 0;
constexpr int kUnzipWarning = 1;
constexpr int kUnzipNoMatch = 11;

// No reply packet comes near this; a zip bomb stops here.
constexpr uint64_t kUnzipFileLimit = 64ull * 1024 * 1024;

std::string WithoutTrailingSeparator(std::string path) {
  if (path.size() > 1 && path.back() == PathSeparator()) path.pop_back();
  return path;
}

// `name` as an unzip name pattern that cannot read as an option: a leading
// "-" is written as the one-character set "[-]", which matches it alone.
std::string OptionSafePattern(const std::string& name) {
  if (name.empty() || name.front() != '-') return name;
  return "[-]" + name.substr(1);
}

uint64_t RandomNumber() {
  try {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device();
  } catch (...) {
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

}  // namespace

std::vector<std::string> MatchingNames(const std::string& folder, const std::string& name) {
  const std::string wanted = ToUpper(name);
  std::vector<std::string> others;
  bool exact = false;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (entry == name) {
      exact = true;
    } else if (ToUpper(entry) == wanted) {
      others.push_back(entry);
    }
  }
  std::sort(others.begin(), others.end());
  if (exact) others.insert(others.begin(), name);
  return others;
}

std::vector<ReplyArchive> FindReplyArchives(Server& server, const std::string& qwkPath,
                                            const std::string& packetId) {
  std::vector<ReplyArchive> archives;
  for (const std::string& name : MatchingNames(qwkPath, packetId + kReplyArchiveExtension)) {
    std::string path = qwkPath + name;
    std::string reason;
    if (PlainFileSize(path) > 0 && !CanRead(path, reason)) {
      archives.push_back({path, reason});
    } else if (FileExists(server, path)) {
      archives.push_back({path, ""});
    }
  }
  return archives;
}

UnpackFolder::UnpackFolder(const std::string& parent) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "unpack-%016llx",
                  static_cast<unsigned long long>(RandomNumber()));
    const std::string candidate = parent + name;
    if (CreateDirectory(candidate)) {
      path_ = candidate + PathSeparator();
      return;
    }
  }
  throw Failure(kFailurePermission,
                "Cannot create a folder to unpack the reply packet in " + parent);
}

UnpackFolder::~UnpackFolder() { Remove(); }

void UnpackFolder::Remove() {
  if (removed_) return;
  removed_ = true;
  RemoveTree(WithoutTrailingSeparator(path_));
}

void RemoveStaleUnpackFolders(const std::string& parent) {
  constexpr std::string_view kPrefix = "unpack-";
  std::vector<std::string> stale;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() == kPrefix.size() + 16 && name.compare(0, kPrefix.size(), kPrefix) == 0 &&
        IsDirectory(parent + name)) {
      stale.push_back(parent + name);
    }
  }
  for (const std::string& folder : stale) RemoveTree(folder);
}

std::vector<std::string> ReplyListCommand(const std::string& archive) {
  // -Z1: the names alone, one per line.
  return {"unzip", "-Z1", archive};
}

std::vector<std::string> ReplyMembers(const std::string& listing, const std::string& packetId) {
  return MembersNamed(listing, packetId + kReplyFileExtension);
}

std::vector<std::string> MembersNamed(const std::string& listing, const std::string& exact) {
  const std::string wanted = ToUpper(exact);
  std::vector<std::string> members;
  size_t start = 0;
  while (start < listing.size()) {
    size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    std::string name = listing.substr(start, end - start);
    if (!name.empty() && name.back() == '\r') name.pop_back();
    const size_t slash = name.find_last_of('/');
    const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
    if (ToUpper(leaf) == wanted) members.push_back(name);
    start = end + 1;
  }
  const auto named = std::find(members.begin(), members.end(), exact);
  if (named != members.end()) std::rotate(members.begin(), named, named + 1);
  return members;
}

std::vector<std::string> ReplyUnzipCommand(const std::string& archive, const std::string& packetId,
                                           const std::string& folder, bool exactName) {
  return MemberUnzipCommand(archive, packetId + kReplyFileExtension, folder, exactName);
}

std::vector<std::string> MemberUnzipCommand(const std::string& archive, const std::string& name,
                                            const std::string& folder, bool exactName) {
  const std::string member = OptionSafePattern(name);
  // -qq: no chatter on the caller's terminal; -j: no folders; -n: never
  // overwrite, so the first matching member stays; -P: a password for
  // encrypted members, so that unzip never asks. unzip takes no "--", and
  // reads any word after the archive that begins with "-" as an option.
  std::vector<std::string> command = {"unzip", "-qq", "-j", "-n", "-P", "none"};
  if (exactName) {
    // Names match exactly, letter case included (-LL would lower-case
    // the members' names before matching them).
    command.insert(command.end(), {archive, member});
  } else {
    // -LL: names in lower case, so members that differ only in case land
    // on one file; -C: names match in any case.
    command.insert(command.end(), {"-LL", "-C", archive, member, "*/" + member});
  }
  command.insert(command.end(), {"-d", WithoutTrailingSeparator(folder)});
  return command;
}

namespace {

// How unzip runs on a caller's archive: no input, no output, files
// bounded and their owner's alone.
ProcessOptions UnzipOptions() {
  ProcessOptions options;
  options.nullInput = true;
  // unzip warns on its standard error when a name pattern matches no
  // member, even with -qq; nothing of it may reach the caller's screen.
  options.nullOutput = true;
  options.maxFileSize = kUnzipFileLimit;
  options.ownerOnlyFiles = true;
  return options;
}

}  // namespace

std::optional<std::vector<std::string>> UnzipReplyMember(ProcessRunner& runner,
                                                         const std::string& archive,
                                                         const std::string& packetId,
                                                         const std::string& folder,
                                                         std::vector<std::string>* held) {
  const ProcessOptions options = UnzipOptions();
  ProcessOptions listing = options;
  listing.outputPath = folder + "members.txt";
  const int listed = runner.Run(ReplyListCommand(archive), listing);
  if (listed != kUnzipDone && listed != kUnzipWarning) return std::nullopt;
  std::string names;
  if (std::optional<LocalFile> file = LocalFile::OpenRead(listing.outputPath)) {
    names.resize(static_cast<size_t>(file->Size()));
    names.resize(file->ReadAt(names.data(), names.size(), 0));
  }
  RemoveFile(listing.outputPath);
  for (size_t start = 0; held && start < names.size();) {
    const size_t end = std::min(names.find('\n', start), names.size());
    std::string name = names.substr(start, end - start);
    start = end + 1;
    if (!name.empty() && name.back() == '\r') name.pop_back();
    if (!name.empty() && name.back() != '/') held->push_back(std::move(name));  // not a folder
  }
  std::vector<std::string> members = ReplyMembers(names, packetId);
  const bool exactName = !members.empty() && members.front() == packetId + kReplyFileExtension;
  const int status = runner.Run(ReplyUnzipCommand(archive, packetId, folder, exactName), options);
  if (status != kUnzipDone && status != kUnzipWarning && status != kUnzipNoMatch) {
    return std::nullopt;
  }
  return members;
}

std::optional<std::string> UnzipCompanionMember(ProcessRunner& runner, const std::string& archive,
                                                const std::vector<std::string>& held,
                                                const std::string& name,
                                                const std::string& folder) {
  std::string listing;
  for (const std::string& member : held) listing += member + "\n";
  const std::vector<std::string> members = MembersNamed(listing, name);
  if (members.empty()) return std::nullopt;
  const bool exactName = members.front() == name;
  const int status =
      runner.Run(MemberUnzipCommand(archive, name, folder, exactName), UnzipOptions());
  // A pattern that matched no member (the one for folders, say) is no
  // failure: what landed in the folder tells.
  if (status != kUnzipDone && status != kUnzipWarning && status != kUnzipNoMatch) {
    return std::nullopt;
  }
  const std::vector<std::string> found = MatchingNames(folder, name);
  if (found.empty()) return std::nullopt;
  return folder + found.front();
}

std::optional<std::string> FindReplyFile(const std::string& folder, const std::string& packetId) {
  const std::vector<std::string> names = MatchingNames(folder, packetId + kReplyFileExtension);
  if (names.empty()) return std::nullopt;
  return folder + names.front();
}

}  // namespace obrix
