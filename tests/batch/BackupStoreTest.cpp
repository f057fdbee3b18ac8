// Restoring and deleting backups, the drop rules and the completion messages, on real files.

#include "batch/BackupStore.h"

#include "base/FolderLocks.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void PrintTo(const TBackupFailure& Failure, std::ostream* Out) { *Out << Failure.Path << Failure.Reason; }

namespace {

TBackupFailure Failure(const std::string& Path, std::string_view Reason) { return {Path, std::string(Reason)}; }

// Holds the lock of Folder in a child process, as a batch of another program would, until
// the object goes.
class TLockInOtherProcess {
public:
    explicit TLockInOtherProcess(const std::string& Folder)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) throw std::runtime_error("pipe failed");
        FChild = fork();
        if (FChild == 0) {
            close(ready[0]);
            close(release[1]);
            TFolderLocks locks;
            const char taken = locks.Acquire(Folder) == TFolderLocks::TResult::Taken ? 'y' : 'n';
            (void)!write(ready[1], &taken, 1);
            char c;
            (void)!read(release[0], &c, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        FRelease = release[1];
        char taken = 'n';
        const bool told = read(ready[0], &taken, 1) == 1;
        close(ready[0]);
        if (!told || taken != 'y') {
            Release();
            throw std::runtime_error("the child could not lock");
        }
    }
    ~TLockInOtherProcess() { Release(); }
    TLockInOtherProcess(const TLockInOtherProcess&) = delete;
    TLockInOtherProcess& operator=(const TLockInOtherProcess&) = delete;

private:
    void Release()
    {
        close(FRelease);
        waitpid(FChild, nullptr, 0);
    }

    pid_t FChild = -1;
    int FRelease = -1;
};

// What another holder (a batch of this program, say) gets for Folder right now.
TFolderLocks::TResult LockNow(const std::string& Folder)
{
    TFolderLocks other;
    return other.Acquire(Folder);
}

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

TEST(BackupMessages, FailuresFollowAnEmptyLineWithTheirReasons)
{
    EXPECT_EQ(BackupFailureText({}), "");
    EXPECT_EQ(RestoreDoneMessage({}), "ファイル復元が完了しました．");
    EXPECT_EQ(DeleteDoneMessage({}), "ファイル消去が完了しました．");
    // A short path still counts as a failure (a byte count would have lost it).
    EXPECT_EQ(RestoreDoneMessage({Failure("/a", BackupReason::NotBackup), Failure("/b/c.bak", BackupReason::Link)}),
              "ファイル復元が完了しました．\n\nただし以下のファイルは失敗しました．\n"
              "/a（.bak のファイルではない）\n/b/c.bak（バックアップがリンク）\n");
    EXPECT_EQ(DeleteDoneMessage({Failure("/x.bak", BackupReason::FolderBusy)}),
              "ファイル消去が完了しました．\n\nただし以下のファイルは失敗しました．\n/x.bak（変換中のフォルダ）\n");
}

TEST(BackupMessages, QuestionsNameTheCount)
{
    EXPECT_EQ(RestoreQuestion(12), "12 個のバックアップを元のファイルに戻します。よろしいですか？");
    EXPECT_EQ(DeleteQuestion(1), "1 個のバックアップを消去します。よろしいですか？");
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

    const std::vector<TBackupFailure> failed = RestoreBackups(list);
    EXPECT_EQ(failed, (std::vector<TBackupFailure>{Failure(Path("b.html.bak"), BackupReason::NotFile),
                                                   Failure(Path("dir.html.bak"), BackupReason::TargetFolder),
                                                   Failure(Path("missing.html.bak"), BackupReason::Missing),
                                                   Failure(Path("notes.txt"), BackupReason::NotBackup)}));
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
    const std::vector<TBackupFailure> failed = RestoreBackups({Path("page.html.bak")});
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldSignal);

    EXPECT_EQ(failed, std::vector<TBackupFailure>{Failure(Path("page.html.bak"), BackupReason::InOut)});
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
    const std::vector<TBackupFailure> failed =
        DeleteBackups({Path("x.html.bak"), Path("gone.html.bak"), Path("page.html"), Path("folder.bak")});
    EXPECT_EQ(failed, (std::vector<TBackupFailure>{Failure(Path("folder.bak"), BackupReason::NotFile),
                                                   Failure(Path("gone.html.bak"), BackupReason::Missing),
                                                   Failure(Path("page.html"), BackupReason::NotBackup)}));
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

TEST_F(BackupStoreTest, RestoreRefusesABackupThatIsALink)
{
    // A link named like a backup would copy whatever it points to over the file.
    Write("page.html", "converted");
    Write("secret.txt", "not a backup");
    fs::create_symlink(Path("secret.txt"), Path("page.html.bak"));
    Write("dir/a.html", "converted");
    fs::create_directory_symlink(Path("dir"), Path("folder.html.bak"));
    Write("ok.html.bak", "restored");

    const std::vector<TBackupFailure> failed =
        RestoreBackups({Path("page.html.bak"), Path("folder.html.bak"), Path("ok.html.bak")});
    EXPECT_EQ(failed, (std::vector<TBackupFailure>{Failure(Path("folder.html.bak"), BackupReason::Link),
                                                   Failure(Path("page.html.bak"), BackupReason::Link)}));
    EXPECT_EQ(Read("page.html"), "converted");
    EXPECT_EQ(Read("secret.txt"), "not a backup");
    EXPECT_TRUE(fs::is_symlink(Path("page.html.bak")));
    EXPECT_FALSE(Exists("folder.html"));
    EXPECT_EQ(Read("ok.html"), "restored");
}

TEST_F(BackupStoreTest, ABackupIsReadWithoutFollowingALinkPutInItsPlace)
{
    // What a link swapped in after the backup was looked at meets: the open itself refuses it.
    Write("secret.txt", "not a backup");
    fs::create_symlink(Path("secret.txt"), Path("page.html.bak"));
    try {
        ReadBackupFile(Path("page.html.bak"));
        ADD_FAILURE() << "a link was read";
    } catch (const EBackupRefused& e) {
        EXPECT_EQ(e.Message(), BackupReason::Link);
    }
    ASSERT_EQ(mkfifo(Path("pipe.html.bak").c_str(), 0600), 0);
    try {
        ReadBackupFile(Path("pipe.html.bak"));
        ADD_FAILURE() << "a named pipe was read";
    } catch (const EBackupRefused& e) {
        EXPECT_EQ(e.Message(), BackupReason::NotFile);
    }
    EXPECT_THROW(ReadBackupFile(Path("gone.html.bak")), EBackupRefused);
    Write("real.html.bak", std::string(200000, 'r') + "end");
    EXPECT_EQ(ReadBackupFile(Path("real.html.bak")), std::string(200000, 'r') + "end");
    Write("empty.html.bak", "");
    EXPECT_EQ(ReadBackupFile(Path("empty.html.bak")), "");
}

TEST_F(BackupStoreTest, RestoreRefusesSpecialFilesOnEitherSide)
{
    Write("pipe.html", "converted");
    ASSERT_EQ(mkfifo(Path("pipe.html.bak").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(Path("fifo.css").c_str(), 0600), 0);
    Write("fifo.css.bak", "css");
    fs::create_directories(Path("target-dir"));
    fs::create_directory_symlink(Path("target-dir"), Path("linked.html"));
    Write("linked.html.bak", "page");

    const std::vector<TBackupFailure> failed =
        RestoreBackups({Path("pipe.html.bak"), Path("fifo.css.bak"), Path("linked.html.bak")});
    EXPECT_EQ(failed, (std::vector<TBackupFailure>{Failure(Path("fifo.css.bak"), BackupReason::TargetNotFile),
                                                   Failure(Path("linked.html.bak"), BackupReason::TargetFolder),
                                                   Failure(Path("pipe.html.bak"), BackupReason::NotFile)}));
    EXPECT_EQ(Read("pipe.html"), "converted");
    EXPECT_EQ(fs::status(Path("fifo.css")).type(), fs::file_type::fifo);
    EXPECT_TRUE(fs::is_symlink(Path("linked.html")));
    EXPECT_TRUE(fs::is_empty(Path("target-dir")));
    EXPECT_EQ(Read("linked.html.bak"), "page");
}

TEST_F(BackupStoreTest, ABusyFolderIsLeftAloneInThisProcessOrAnother)
{
    Write("busy/page.html", "being converted");
    Write("busy/page.html.bak", "original");
    Write("busy/old.css.bak", "old");
    Write("free/page.html", "converted");
    Write("free/page.html.bak", "original");
    const std::vector<std::string> list{Path("busy/page.html.bak"), Path("busy/old.css.bak"),
                                        Path("free/page.html.bak")};
    const std::vector<TBackupFailure> busy{Failure(Path("busy/old.css.bak"), BackupReason::FolderBusy),
                                           Failure(Path("busy/page.html.bak"), BackupReason::FolderBusy)};
    {
        TFolderLocks batch;  // a batch of this program
        ASSERT_EQ(batch.Acquire(Path("busy")), TFolderLocks::TResult::Taken);
        EXPECT_EQ(RestoreBackups(list), busy);
        EXPECT_EQ(DeleteBackups(list), busy);
    }
    EXPECT_EQ(Read("busy/page.html"), "being converted");
    EXPECT_EQ(Read("busy/page.html.bak"), "original");
    EXPECT_EQ(Read("busy/old.css.bak"), "old");
    EXPECT_FALSE(Exists("busy/old.css"));
    EXPECT_EQ(Read("free/page.html"), "original");
    EXPECT_FALSE(Exists("free/page.html.bak"));

    Write("free/page.html.bak", "original");
    {
        TLockInOtherProcess batch(Path("busy"));  // a batch of another program
        EXPECT_EQ(RestoreBackups(list), busy);
        EXPECT_EQ(DeleteBackups(list), busy);
    }
    EXPECT_EQ(Read("busy/page.html"), "being converted");
    EXPECT_EQ(Read("busy/page.html.bak"), "original");
    EXPECT_EQ(Read("busy/old.css.bak"), "old");
    EXPECT_FALSE(Exists("free/page.html.bak"));

    // Once the batch is over its folder's backups go through.
    const std::vector<std::string> wereBusy{Path("busy/page.html.bak"), Path("busy/old.css.bak")};
    EXPECT_TRUE(RestoreBackups(wereBusy).empty());
    EXPECT_EQ(Read("busy/page.html"), "original");
    EXPECT_EQ(Read("busy/old.css"), "old");
    EXPECT_TRUE(DeleteBackups(wereBusy).empty());
    EXPECT_FALSE(Exists("busy/page.html.bak"));
    EXPECT_FALSE(Exists("busy/old.css.bak"));
}

TEST_F(BackupStoreTest, AFileLinkedIntoABusyFolderIsNotRestored)
{
    Write("busy/real.html", "being converted");
    fs::create_directories(Path("site"));
    fs::create_symlink(Path("busy/real.html"), Path("site/page.html"));
    Write("site/page.html.bak", "original");
    TLockInOtherProcess batch(Path("busy"));
    EXPECT_EQ(RestoreBackups({Path("site/page.html.bak")}),
              std::vector<TBackupFailure>{Failure(Path("site/page.html.bak"), BackupReason::FolderBusy)});
    EXPECT_EQ(Read("busy/real.html"), "being converted");
}

TEST_F(BackupStoreTest, FoldersStayLockedUntilTheLastBackupIsHandled)
{
    Write("a/x.html.bak", "x");
    Write("b/y.html.bak", "y");
    Write("b/z.html.bak", "z");
    std::vector<std::string> seen;
    const auto progress = [&](const std::string& Done, const std::string& Reason) {
        EXPECT_EQ(Reason, "");
        seen.push_back(Done);
        // Every folder met so far is still locked, against this process and others.
        EXPECT_EQ(LockNow(Path("a")), TFolderLocks::TResult::Busy) << Done;
    };
    EXPECT_TRUE(RestoreBackups({Path("b/z.html.bak"), Path("a/x.html.bak"), Path("b/y.html.bak")}, progress).empty());
    EXPECT_EQ(seen, (std::vector<std::string>{Path("a/x.html.bak"), Path("b/y.html.bak"), Path("b/z.html.bak")}));
    EXPECT_EQ(LockNow(Path("a")), TFolderLocks::TResult::Taken);
    EXPECT_EQ(LockNow(Path("b")), TFolderLocks::TResult::Taken);

    seen.clear();
    EXPECT_TRUE(DeleteBackups({Path("b/z.html.bak"), Path("a/x.html.bak"), Path("b/y.html.bak")}, progress).empty());
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(LockNow(Path("a")), TFolderLocks::TResult::Taken);
}

TEST_F(BackupStoreTest, ProgressTellsEachBackupWithItsReasonInOrder)
{
    Write("b.html.bak", "b");
    std::vector<std::pair<std::string, std::string>> seen;
    const std::vector<TBackupFailure> failed = RestoreBackups(
        {Path("b.html.bak"), Path("a.html.bak")},
        [&](const std::string& Done, const std::string& Reason) { seen.emplace_back(Done, Reason); });
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{
                        {Path("a.html.bak"), std::string(BackupReason::Missing)}, {Path("b.html.bak"), ""}}));
    EXPECT_EQ(failed, std::vector<TBackupFailure>{Failure(Path("a.html.bak"), BackupReason::Missing)});
}

TEST_F(BackupStoreTest, PermissionFailuresAreNamed)
{
    // Root reads and writes whatever the permission bits say; only another user can see these.
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permission bits do not stop reads or writes";
    Write("locked.html.bak", "original");
    Write("locked.html", "converted");
    fs::permissions(Path("locked.html.bak"), fs::perms::none);
    Write("readonly.html.bak", "original");
    Write("readonly.html", "converted");
    fs::permissions(Path("readonly.html"), fs::perms::owner_read);
    EXPECT_EQ(RestoreBackups({Path("locked.html.bak"), Path("readonly.html.bak")}),
              (std::vector<TBackupFailure>{Failure(Path("locked.html.bak"), BackupReason::Unreadable),
                                           Failure(Path("readonly.html.bak"), BackupReason::TargetUnwritable)}));
    EXPECT_EQ(Read("readonly.html"), "converted");

    Write("sub/x.html.bak", "x");
    fs::permissions(Path("sub"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(DeleteBackups({Path("sub/x.html.bak")}),
              std::vector<TBackupFailure>{Failure(Path("sub/x.html.bak"), BackupReason::Undeletable)});
    fs::permissions(Path("sub"), fs::perms::owner_all);
    EXPECT_EQ(Read("sub/x.html.bak"), "x");
}

}  // namespace
