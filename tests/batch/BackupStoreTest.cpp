// Restoring and deleting backups, the drop rules and the completion messages, on real files.

#include "batch/BackupStore.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class BackupStoreTest : public ::testing::Test {
protected:
    std::string Path(const std::string& Name) const { return Root + "/" + Name; }

    void Write(const std::string& Name, const std::string& Data) const { testsupport::WriteFile(Path(Name), Data); }

    std::string Read(const std::string& Name) const
    {
        std::ifstream in(Path(Name), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    bool Exists(const std::string& Name) const { return fs::exists(fs::symlink_status(Path(Name))); }

    testsupport::TTempDir Dir{"backup"};
    std::string Root = Dir.Path();
};

TEST(BackupDrop, JudgedByTheExtensionOfTheNameAlone)
{
    EXPECT_EQ(ClassifyBackupDrop("/site/index.html.bak"), TBackupDrop::File);
    EXPECT_EQ(ClassifyBackupDrop("/site/INDEX.HTML.BAK"), TBackupDrop::File);
    EXPECT_EQ(ClassifyBackupDrop("/site/pics.Bak"), TBackupDrop::File);
    EXPECT_EQ(ClassifyBackupDrop("/site/folder"), TBackupDrop::Folder);
    EXPECT_EQ(ClassifyBackupDrop("/site/folder/"), TBackupDrop::Folder);
    EXPECT_EQ(ClassifyBackupDrop("/my.site/folder"), TBackupDrop::Folder);
    EXPECT_EQ(ClassifyBackupDrop("/web/site.old"), TBackupDrop::Ignored);
    EXPECT_EQ(ClassifyBackupDrop("/web/site.old/"), TBackupDrop::Ignored);
    EXPECT_EQ(ClassifyBackupDrop("/site/index.html"), TBackupDrop::Ignored);
    EXPECT_EQ(ClassifyBackupDrop("/site/index.bak.txt"), TBackupDrop::Ignored);
}

TEST(BackupTarget, StripsTheBakAndRefusesOtherNames)
{
    EXPECT_EQ(BackupTarget("/site/x.html.bak"), "/site/x.html");
    EXPECT_EQ(BackupTarget("/site/x.html.BAK"), "/site/x.html");
    EXPECT_EQ(BackupTarget("/site/README"), "");
    EXPECT_EQ(BackupTarget("/site/page.html"), "");
    EXPECT_EQ(BackupTarget("/site/.bak"), "");
    EXPECT_EQ(BackupTarget("/site.bak/readme"), "");
}

TEST(BackupMessages, FailuresFollowAnEmptyLine)
{
    EXPECT_EQ(BackupFailureText({}), "");
    EXPECT_EQ(RestoreDoneMessage({}), "ファイル復元が完了しました．");
    EXPECT_EQ(DeleteDoneMessage({}), "ファイル消去が完了しました．");
    // A short path still counts as a failure (a byte count would have lost it).
    EXPECT_EQ(RestoreDoneMessage({"/a", "/b/c.bak"}),
              "ファイル復元が完了しました．\n\nただし以下のファイルは失敗しました．\n/a\n/b/c.bak\n");
    EXPECT_EQ(DeleteDoneMessage({"/x.bak"}), "ファイル消去が完了しました．\n\nただし以下のファイルは失敗しました．\n/x.bak\n");
}

TEST_F(BackupStoreTest, RestoreWritesTheFileAndKeepsTheBackup)
{
    Write("page.css", "converted");
    Write("page.css.bak", "original");
    Write("sub/new.html.bak", "only a backup");
    const std::vector<std::string> list{Path("page.css.bak"), Path("sub/new.html.bak")};

    EXPECT_TRUE(RestoreBackups(list).empty());
    EXPECT_EQ(Read("page.css"), "original");
    EXPECT_EQ(Read("page.css.bak"), "original");
    EXPECT_EQ(Read("sub/new.html"), "only a backup");

    // A second restore does the same again.
    Write("page.css", "converted again");
    EXPECT_TRUE(RestoreBackups(list).empty());
    EXPECT_EQ(Read("page.css"), "original");
    EXPECT_TRUE(Exists("page.css.bak"));
}

TEST_F(BackupStoreTest, RestoreKeepsTheFilesPermissionBits)
{
    Write("run.sh", "new");
    Write("run.sh.bak", "old");
    fs::permissions(Path("run.sh"), fs::perms(0750));
    EXPECT_TRUE(RestoreBackups({Path("run.sh.bak")}).empty());
    EXPECT_EQ(Read("run.sh"), "old");
    EXPECT_EQ(fs::status(Path("run.sh")).permissions() & fs::perms::all, fs::perms(0750));
}

TEST_F(BackupStoreTest, RestoreGoesOnPastFailuresAndListsThemInOrder)
{
    Write("a.html.bak", "A");
    Write("c.html.bak", "C");
    Write("notes.txt", "mine");  // listed by hand: never restored over "notes"
    Write("notes", "keep me");
    fs::create_directories(Path("dir.html"));  // the target is a folder
    Write("dir.html.bak", "D");
    Write("b.html", "untouched");
    fs::create_directories(Path("b.html.bak"));  // the backup cannot be read
    const std::vector<std::string> list{Path("c.html.bak"), Path("missing.html.bak"), Path("notes.txt"),
                                        Path("dir.html.bak"), Path("a.html.bak"), Path("b.html.bak")};

    const std::vector<std::string> failed = RestoreBackups(list);
    EXPECT_EQ(failed, (std::vector<std::string>{Path("b.html.bak"), Path("dir.html.bak"), Path("missing.html.bak"),
                                                Path("notes.txt")}));
    EXPECT_EQ(Read("b.html"), "untouched");
    EXPECT_EQ(Read("a.html"), "A");
    EXPECT_EQ(Read("c.html"), "C");
    EXPECT_EQ(Read("notes"), "keep me");
    EXPECT_EQ(Read("notes.txt"), "mine");
    EXPECT_FALSE(Exists("missing.html"));
    EXPECT_TRUE(fs::is_directory(Path("dir.html")));
}

TEST_F(BackupStoreTest, AWriteThatFailsHalfwayLeavesTheFileAsItWas)
{
    // A file size limit makes the write of the restored copy fail after its first bytes,
    // whoever runs the test.
    Write("page.html", "current");
    Write("page.html.bak", std::string(64 * 1024, 'x'));
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<std::string> failed = RestoreBackups({Path("page.html.bak")});
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldSignal);

    EXPECT_EQ(failed, std::vector<std::string>{Path("page.html.bak")});
    EXPECT_EQ(Read("page.html"), "current");
    EXPECT_EQ(Read("page.html.bak").size(), 64u * 1024);
    // No half-written copy is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(Root), fs::directory_iterator()), 2);
}

TEST_F(BackupStoreTest, RestoreThroughALinkWritesTheFileItPointsTo)
{
    Write("real.html", "converted");
    Write("link.html.bak", "old");
    fs::create_symlink(Path("real.html"), Path("link.html"));
    EXPECT_TRUE(RestoreBackups({Path("link.html.bak")}).empty());
    EXPECT_TRUE(fs::is_symlink(Path("link.html")));
    EXPECT_EQ(Read("real.html"), "old");
}

TEST_F(BackupStoreTest, WorkListTakesEachFileOnceInCaseFreeOrder)
{
    Write("B.css.bak", "b");
    Write("a.html.bak", "a");
    Write("A.html.bak", "A");  // another file on this file system
    fs::create_hard_link(Path("a.html.bak"), Path("same.html.bak"));
    const std::vector<std::string> sorted = BackupWorkList(
        {Path("B.css.bak"), Path("a.html.bak"), Path("B.css.bak"), Path("A.html.bak"), Path("same.html.bak")});
    EXPECT_EQ(sorted, (std::vector<std::string>{Path("A.html.bak"), Path("a.html.bak"), Path("B.css.bak")}));
}

TEST_F(BackupStoreTest, DeleteRemovesEachListedBackupOnce)
{
    Write("x.html.bak", "x");
    Write("y.css.bak", "y");
    Write("y.css", "keep");
    EXPECT_TRUE(DeleteBackups({Path("y.css.bak"), Path("x.html.bak"), Path("y.css.bak")}).empty());
    EXPECT_FALSE(Exists("x.html.bak"));
    EXPECT_FALSE(Exists("y.css.bak"));
    EXPECT_EQ(Read("y.css"), "keep");
}

TEST_F(BackupStoreTest, DeleteReportsWhatIsGoneOrNotABackup)
{
    Write("x.html.bak", "x");
    Write("page.html", "the user's page");
    fs::create_directories(Path("folder.bak"));
    const std::vector<std::string> failed =
        DeleteBackups({Path("x.html.bak"), Path("gone.html.bak"), Path("page.html"), Path("folder.bak")});
    EXPECT_EQ(failed, (std::vector<std::string>{Path("folder.bak"), Path("gone.html.bak"), Path("page.html")}));
    EXPECT_FALSE(Exists("x.html.bak"));
    EXPECT_EQ(Read("page.html"), "the user's page");
    EXPECT_TRUE(fs::is_directory(Path("folder.bak")));
}

TEST_F(BackupStoreTest, DeleteRemovesALinkNotWhatItPointsTo)
{
    Write("real.html", "real");
    fs::create_symlink(Path("real.html"), Path("l.html.bak"));
    EXPECT_TRUE(DeleteBackups({Path("l.html.bak")}).empty());
    EXPECT_FALSE(Exists("l.html.bak"));
    EXPECT_EQ(Read("real.html"), "real");
}

TEST_F(BackupStoreTest, SearchFindsBackupsInAnyCase)
{
    Write("a.html.bak", "");
    Write("b.CSS.BAK", "");
    Write("c.html", "");
    Write("sub/d.gif.bak", "");
    std::vector<std::string> flat = SearchBackups(Root, false);
    std::sort(flat.begin(), flat.end());
    EXPECT_EQ(flat, (std::vector<std::string>{Path("a.html.bak"), Path("b.CSS.BAK")}));
    EXPECT_EQ(SearchBackups(Root, true).size(), 3u);
    EXPECT_TRUE(SearchBackups(Path("nowhere"), true).empty());
}

}  // namespace
