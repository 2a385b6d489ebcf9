// The REP at the pickup name and the archivers' words: several REPs that
// answer to the name are posted by nobody, a download keeps a stray one,
// the reply member named exactly wins over its case variants, and a packet
// id that begins with "-" reaches neither archiver as an option (the real
// zip and unzip, and the real program for the runs).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/command_runner.h"
#include "qwk/packet_archive.h"
#include "support/node.h"
#include "upload/rep_archive.h"

namespace obrix::testing {
namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

TestReply Reply(const std::string& subject) {
  TestReply reply;
  reply.subject = subject;
  reply.text = subject;
  return reply;
}

TEST(UploadPickupTest, TheMemberNamedExactlyComesFirst) {
  const struct {
    std::string listing;
    std::vector<std::string> members;
  } cases[] = {
      {"FIDBBS.MSG\nFIDBBS.msg\n", {"FIDBBS.msg", "FIDBBS.MSG"}},
      {"FIDBBS.msg\r\nFIDBBS.MSG\r\n", {"FIDBBS.msg", "FIDBBS.MSG"}},
      {"a/FIDBBS.MSG\nFidbbs.Msg\nb/FIDBBS.msg\n", {"a/FIDBBS.MSG", "Fidbbs.Msg", "b/FIDBBS.msg"}},
      {"README\nXFIDBBS.msg\n", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplyMembers(c.listing, "FIDBBS"), c.members) << c.listing;
  }
}

// What the real unzip leaves as the reply file of a REP with `members`.
std::string UnpackedReply(const std::vector<std::pair<std::string, std::string>>& members,
                          const std::string& packetId) {
  TempDir dir;
  const std::string archive = dir / "packet.rep";
  ZipMembers(archive, members);
  const std::string folder = dir / "unpack/";
  std::filesystem::create_directory(folder);
  if (!UnzipReplyMember(SystemProcessRunner(), archive, packetId, folder)) return "(unzip failed)";
  const std::optional<std::string> reply = FindReplyFile(folder, packetId);
  return reply ? ReadFile(*reply) : "(none)";
}

TEST(UploadPickupTest, RealUnzipTakesTheExactNameElseTheFirstInTheArchive) {
  OBRIX_SKIP_WITHOUT(Need::kCaseSensitiveNames);
  const struct {
    std::vector<std::pair<std::string, std::string>> members;
    std::string packetId;
    std::string read;
  } cases[] = {
      {{{"FIDBBS.MSG", "upper"}, {"FIDBBS.msg", "exact"}}, "FIDBBS", "exact"},
      {{{"FIDBBS.msg", "exact"}, {"FIDBBS.MSG", "upper"}}, "FIDBBS", "exact"},
      {{{"Fidbbs.Msg", "first"}, {"FIDBBS.MSG", "second"}}, "FIDBBS", "first"},
      {{{"reader/FIDBBS.msg", "in a folder"}, {"FIDBBS.MSG", "upper"}}, "FIDBBS", "in a folder"},
      {{{"-d.msg", "dash"}, {"d.msg", "no dash"}}, "-d", "dash"},
      {{{"x/-D.MSG", "dash in a folder"}}, "-d", "dash in a folder"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UnpackedReply(c.members, c.packetId), c.read) << c.members.front().first;
  }
}

TEST(UploadPickupTest, RealZipPacksAPacketWhoseIdBeginsWithADash) {
  TempDir dir;
  const std::string work = dir / "";
  WriteFile(work + "-d.ptr", "pointers");
  WriteFile(work + "control.dat", "control");
  const ProcessResult zipped = RunProgram(PacketArchiveCommand(work, "-d"), dir.path());
  EXPECT_EQ(zipped.status, 0) << zipped.output;
  EXPECT_THAT(FolderNames(work), ElementsAre("-d.qwk"));  // the parts were moved in
}

class UploadPickupRunTest : public ::testing::Test {
 protected:
  std::string Work(const std::string& name = "") const { return site_.node.Work(name); }
  std::vector<std::string> Kept() const { return FolderNames(Work("kept")); }
  // A kept name of a REP that belongs to no known caller.
  static ::testing::Matcher<std::string> Unowned(const std::string& stem) {
    return MatchesPattern(stem + "-unknown-[0-9]{8}-[0-9]{6}(-[0-9]+)?\\.rep");
  }

  Site site_{{.conferences = 2}};
};

TEST_F(UploadPickupRunTest, SeveralRepsUnderThePickupNameAreKeptAndNonePosted) {
  OBRIX_SKIP_WITHOUT(Need::kCaseSensitiveNames);
  // Left by a caller whose run was killed while it waited for the node,
  // then this caller's, written by a reader that names it in lower case.
  std::filesystem::create_directory(Work());
  ZipMembers(Work("OBRIX.REP"), {{"OBRIX.MSG", ReplyFile("OBRIX", {Reply("Left behind")})}});
  site_.node.WriteRep({Reply("Mine")});

  const ProcessResult run = site_.node.Run({.operation = kUpload});
  EXPECT_EQ(run.status, 5) << run.output;
  const std::string more = ": more than one reply packet answers to OBRIX.rep";
  EXPECT_THAT(site_.node.LastRun(),
              IsUpload({"Not posting " + Work("OBRIX.REP") + more,
                        "Not posting " + Work("obrix.rep") + more,
                        StartsWith("Reply packet kept as " + Work("kept/OBRIX-unknown-")),
                        StartsWith("Reply packet kept as " + Work("kept/obrix-unknown-"))}));
  EXPECT_THAT(site_.board.Subjects(), IsEmpty());
  EXPECT_THAT(site_.node.WorkFiles(), ElementsAre("kept"));
  EXPECT_THAT(Kept(), ElementsAre(Unowned("OBRIX"), Unowned("obrix")));
  EXPECT_EQ(std::filesystem::status(Work("kept")).permissions(), std::filesystem::perms::owner_all);
}

TEST_F(UploadPickupRunTest, ADownloadKeepsAStrayRepAndGoesOn) {
  site_.node.WriteRep({Reply("Nobody's")});
  const ProcessResult run = site_.node.Run();
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(site_.node.LastRun(),
              Contains(AllOf(StartsWith("Reply packet " + Work("obrix.rep") +
                                        " belongs to no caller of this run: kept as " +
                                        Work("kept/obrix-unknown-")),
                             EndsWith(".rep"))));
  EXPECT_THAT(site_.node.LastRun(), Contains("Download complete."));
  EXPECT_THAT(Kept(), ElementsAre(Unowned("obrix")));
  EXPECT_FALSE(Exists(Work("obrix.rep")));

  // So the next upload finds nothing to post as its caller's.
  EXPECT_EQ(site_.node.Run({.operation = kUpload}).status, 1);
  EXPECT_THAT(site_.node.LastRun(), Contains(HasSubstr("Unable to locate BBS .REP packet")));
  EXPECT_THAT(site_.board.Subjects(), IsEmpty());
}

}  // namespace
}  // namespace obrix::testing
