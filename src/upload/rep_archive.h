// Finding the caller's REP packet in the work directory and unpacking its
// reply file.
//
// Packet names ignore letter case, because offline readers name the
// archive in lower case and its member in upper case while the work
// directory may sit on a case-sensitive file system. The archive is
// untrusted: only its reply member is extracted, without its folders, into
// a fresh folder private to the run, so nothing of it lands beside the
// packets of other users, and a member that is a link is never read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/command_runner.h"
#include "server/server.h"

namespace obrix {

// The names in `folder` (a path ending with the separator) that equal
// `name` without regard to letter case: the exact spelling first, then the
// others in byte order.
std::vector<std::string> MatchingNames(const std::string& folder, const std::string& name);

// A reply archive found in the work directory.
struct ReplyArchive {
  std::string path;
  // Why the door cannot read it; empty when it can.
  std::string unreadable;
};

// The reply archives packet id + ".rep" in `qwkPath`, in MatchingNames'
// order: every matching name that is a plain file the door cannot read, or
// that FileExists reports present (empty ones are deleted on the way; one
// that cannot be read never is). Empty when there is none. More than one
// means that nobody can tell which is whose.
std::vector<ReplyArchive> FindReplyArchives(Server& server, const std::string& qwkPath,
                                            const std::string& packetId);

// A fresh folder with a name of its own inside a parent folder, removed
// with all it holds when the object goes.
class UnpackFolder {
 public:
  // `parent` ends with the separator. Raises Failure(kFailurePermission)
  // when no folder can be created there.
  explicit UnpackFolder(const std::string& parent);
  ~UnpackFolder();
  UnpackFolder(const UnpackFolder&) = delete;
  UnpackFolder& operator=(const UnpackFolder&) = delete;

  // The folder's path, ending with the separator.
  const std::string& path() const { return path_; }

  // Removes the folder and what it holds now (the destructor then has
  // nothing left to do).
  void Remove();

 private:
  std::string path_;
  bool removed_ = false;
};

// Removes the folders that UnpackFolder made in `parent` (ending with the
// separator) and that a run killed before its end left behind. Only for a
// caller that holds the work directory's lock, so that no other run is
// using one of them.
void RemoveStaleUnpackFolders(const std::string& parent);

// The unzip words that list the archive's member names, one per line.
std::vector<std::string> ReplyListCommand(const std::string& archive);

// The members of a listing (the output of ReplyListCommand) that are the
// reply file packet id + ".msg": that name in any letter case, at any
// depth of the archive. The member named exactly packet id + ".msg" comes
// first when there is one; the others follow in the archive's order.
std::vector<std::string> ReplyMembers(const std::string& listing, const std::string& packetId);

// The members of a listing named `name` in any letter case, at any depth,
// as ReplyMembers finds the reply file.
std::vector<std::string> MembersNamed(const std::string& listing, const std::string& name);

// The unzip words that extract the member `name` as ReplyUnzipCommand does
// the reply file.
std::vector<std::string> MemberUnzipCommand(const std::string& archive, const std::string& name,
                                            const std::string& folder, bool exactName);

// The unzip words that extract the reply member flat into `folder`. With
// `exactName`, the member named exactly packet id + ".msg" alone; without
// it, the member packet id + ".msg" in any letter case, at any depth of the
// archive, in lower case, the first in the archive's order when there are
// several. The archive and the folder are absolute paths; a member pattern
// that would begin with "-" is written so that unzip cannot take it for
// an option.
std::vector<std::string> ReplyUnzipCommand(const std::string& archive, const std::string& packetId,
                                           const std::string& folder, bool exactName);

// Lists the archive and extracts its reply member into `folder` (ending
// with the separator) with `runner`, with standard input from the null
// device, files limited to 64 MiB and its owner's alone. Returns the reply
// members the archive holds (ReplyMembers; the first is the one in
// `folder`, and none when it has none); nullopt when unzip could not read
// the archive. `held`, when given, gets the names of every member.
std::optional<std::vector<std::string>> UnzipReplyMember(ProcessRunner& runner,
                                                         const std::string& archive,
                                                         const std::string& packetId,
                                                         const std::string& folder,
                                                         std::vector<std::string>* held = nullptr);

// Extracts a file that a reader puts beside the reply file (`name`, such
// as "HEADERS.DAT": any letter case, at any depth, the first in the
// archive's order, one named exactly first) flat into `folder`, as the
// reply file is, when `held` (the archive's members, from
// UnzipReplyMember) has one. Returns its path; nullopt when the archive
// has none or unzip could not extract it.
std::optional<std::string> UnzipCompanionMember(ProcessRunner& runner, const std::string& archive,
                                                const std::vector<std::string>& held,
                                                const std::string& name, const std::string& folder);

// The path of the reply file packet id + ".msg" in `folder`, any letter
// case, exact spelling first; nullopt when there is none.
std::optional<std::string> FindReplyFile(const std::string& folder, const std::string& packetId);

}  // namespace obrix
