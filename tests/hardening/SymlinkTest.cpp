// Symbolic links in the file list: the file a link leads to is converted in place and the
// link stays a link; the backup beside the link is a plain copy of the old content.

#include "HardeningSupport.h"

#include <gtest/gtest.h>

using namespace hardening;

namespace {

const std::string Red = "p{color:red}\n";
const std::string Green = "p{color:#00FF00}\n";

}  // namespace

TEST(Symlink, TheLinkedFileIsConvertedAndTheLinkStays)
{
    TTempDir dir;
    fs::create_directories(dir / "real");
    fs::create_directories(dir / "links");
    WriteFile(dir / "real/site.css", Red);
    fs::create_symlink("../real/site.css", dir / "links/link.css");
    // A chain: a link to the link.
    WriteFile(dir / "real/other.html", "<font color=red>");
    fs::create_symlink(dir / "real/other.html", dir / "links/first.html");
    fs::create_symlink("first.html", dir / "links/second.html");
    const auto permissions = fs::status(dir / "real/site.css").permissions();

    const TBatchResult run = RunBatch({dir / "links/link.css", dir / "links/second.html"}, HueSettings(120));
    EXPECT_TRUE(HasLine(run, SuccessFor(dir / "links/link.css")));
    EXPECT_TRUE(HasLine(run, SuccessFor(dir / "links/second.html")));

    ASSERT_TRUE(fs::is_symlink(dir / "links/link.css"));
    EXPECT_EQ(fs::read_symlink(dir / "links/link.css"), "../real/site.css");
    EXPECT_EQ(ReadFile(dir / "real/site.css"), Green);
    EXPECT_EQ(fs::status(dir / "real/site.css").permissions(), permissions);
    ASSERT_TRUE(fs::is_symlink(dir / "links/second.html"));
    ASSERT_TRUE(fs::is_symlink(dir / "links/first.html"));
    EXPECT_EQ(fs::read_symlink(dir / "links/second.html"), "first.html");
    EXPECT_EQ(ReadFile(dir / "real/other.html"), "<font color=#00FF00>");

    // The backups stand beside the listed names and are files of their own.
    EXPECT_FALSE(fs::is_symlink(dir / "links/link.css.bak"));
    EXPECT_TRUE(fs::is_regular_file(dir / "links/link.css.bak"));
    EXPECT_EQ(ReadFile(dir / "links/link.css.bak"), Red);
    EXPECT_EQ(ReadFile(dir / "links/second.html.bak"), "<font color=red>");
    EXPECT_FALSE(fs::exists(dir / "real/site.css.bak"));
    EXPECT_TRUE(StrayFiles(dir.Path()).empty());
}

TEST(Symlink, AnOldBackupThatIsALinkIsNeitherFollowedNorReplaced)
{
    TTempDir dir;
    WriteFile(dir / "page.css", Red);
    WriteFile(dir / "precious.txt", "keep me");
    fs::create_symlink("precious.txt", dir / "page.css.bak");

    // A link is no backup the file could be restored from: the file is not converted.
    const TBatchResult run = RunBatch({dir / "page.css"}, HueSettings(120));
    EXPECT_TRUE(HasLine(run, FailureFor(dir / "page.css", BatchLog::ReasonBackup)));
    EXPECT_EQ(ReadFile(dir / "page.css"), Red);
    EXPECT_EQ(ReadFile(dir / "precious.txt"), "keep me");
    EXPECT_TRUE(fs::is_symlink(dir / "page.css.bak"));
}

TEST(Symlink, LinksThatLeadNowhereOrToAFolderFailAndStayAsTheyWere)
{
    TTempDir dir;
    fs::create_symlink("missing.css", dir / "dangling.css");
    fs::create_directory(dir / "folder");
    fs::create_symlink("folder", dir / "tofolder.html");
    const auto before = Listing(dir.Path());

    const TBatchResult run = RunBatch({dir / "dangling.css", dir / "tofolder.html"}, HueSettings(120));
    EXPECT_EQ(run.Successes, 0);
    EXPECT_TRUE(HasLine(run, FailureFor(dir / "dangling.css", BatchLog::ReasonNoFile)));
    EXPECT_TRUE(HasLine(run, FailureFor(dir / "tofolder.html", BatchLog::ReasonUnknown)));
    EXPECT_EQ(Listing(dir.Path()), before);
}
