#include "base/SafeFile.h"
#include "batch/Backup.h"

#include "batch/BatchErrors.h"
#include "batch/FileConverter.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/statfs.h>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

using namespace batchtest;

namespace {

TEST(SafeFile, ReadsWholeFilesAndRefusesWhatIsNoFile)
{
    TTempDir dir;
    std::string data(200000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    WriteFile(dir / "a.bin", data);
    EXPECT_EQ(ReadWholeFile(dir / "a.bin"), data);
    WriteFile(dir / "empty", "");
    EXPECT_EQ(ReadWholeFile(dir / "empty"), "");
    EXPECT_THROW(ReadWholeFile(dir / "missing"), EFOpenError);
    EXPECT_THROW(ReadWholeFile(dir.Path()), EFOpenError);
    ASSERT_EQ(mkfifo((dir / "pipe.html").c_str(), 0644), 0);
    EXPECT_THROW(ReadWholeFile(dir / "pipe.html"), EFOpenError);  // refused, not waited on
}

TEST(SafeFile, ReplacesContentAndKeepsPermissionBits)
{
    TTempDir dir;
    const std::string path = dir / "page.html";
    WriteFile(path, "old content that is longer than the new one");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    SaveFileSafely(path, "new");
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(Mode(path), 0640u);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"page.html"});
}

TEST(SafeFile, LongestFileNamesCanBeReplaced)
{
    TTempDir dir;
    const std::string path = dir / (std::string(251, 'n') + ".css");  // 255 bytes, the limit
    WriteFile(path, "old");
    SaveFileSafely(path, "new");
    EXPECT_EQ(ReadFile(path), "new");
    // Its backup name is one too long for the file system: the backup fails, nothing else.
    {
        TPendingBackup backup(path, "old", 0644);
        EXPECT_THROW(backup.Place(), EBackupError);
    }
    EXPECT_EQ(FolderNames(dir.Path()).size(), 1u);
}

TEST(SafeFile, CreatesAMissingFile)
{
    TTempDir dir;
    SaveFileSafely(dir / "fresh.css", "body{}");
    EXPECT_EQ(ReadFile(dir / "fresh.css"), "body{}");
}

TEST(SafeFile, ALinkIsFollowedAndStaysALink)
{
    TTempDir dir;
    WriteFile(dir / "real/target.css", "old");
    ASSERT_EQ(symlink("real/target.css", (dir / "link.css").c_str()), 0);
    SaveFileSafely(dir / "link.css", "new");
    EXPECT_EQ(ReadFile(dir / "real/target.css"), "new");
    struct stat st {};
    ASSERT_EQ(lstat((dir / "link.css").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(SafeFile, FailedWriteLeavesTheOriginalAndNoStrayFile)
{
    TTempDir dir;
    const std::string path = dir / "big.html";
    WriteFile(path, "original");
    const std::string huge(256 * 1024, 'x');
    {
        TFileSizeLimit limit(64 * 1024);
        EXPECT_THROW(SaveFileSafely(path, huge), EInOutError);
    }
    EXPECT_EQ(ReadFile(path), "original");
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"big.html"});
}

TEST(SafeFile, UnwritableTargetIsRefused)
{
    TTempDir dir;
    // A link into a folder that does not exist: nothing can be created there.
    ASSERT_EQ(symlink("nowhere/x.css", (dir / "broken.css").c_str()), 0);
    EXPECT_THROW(SaveFileSafely(dir / "broken.css", "x"), EFCreateError);

    // A folder cannot be replaced by a file.
    ASSERT_EQ(mkdir((dir / "folder.css").c_str(), 0755), 0);
    EXPECT_THROW(SaveFileSafely(dir / "folder.css", "x"), EFCreateError);
}

TEST(SafeFile, ReadOnlyFileIsRefused)
{
    TTempDir dir;
    if (!PermissionsApply()) GTEST_SKIP() << "running as root: permission bits do not stop writes";
    WriteFile(dir / "ro.css", "keep");
    ASSERT_EQ(chmod((dir / "ro.css").c_str(), 0444), 0);
    EXPECT_THROW(SaveFileSafely(dir / "ro.css", "x"), EFCreateError);
    EXPECT_EQ(ReadFile(dir / "ro.css"), "keep");
}

TEST(SafeFile, ABackupIsMadeOnceAndNeverWrittenOver)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    WriteFile(path, "v2");
    {
        ASSERT_FALSE(BackupExists(path));
        TPendingBackup backup(path, "v1", 0604);
        EXPECT_TRUE(backup.Place());
        backup.Keep();
    }
    EXPECT_EQ(ReadFile(dir / "index.html.bak"), "v1");
    EXPECT_EQ(Mode(dir / "index.html.bak"), 0604u);
    {
        EXPECT_TRUE(BackupExists(path));
        TPendingBackup second(path, "v2", 0644);
        EXPECT_FALSE(second.Place());  // kept, not replaced
        // Dropped without Keep: a backup it did not make is not its to remove.
    }
    EXPECT_EQ(ReadFile(dir / "index.html.bak"), "v1");
    EXPECT_EQ(BackupName("/a/b.gif"), "/a/b.gif.bak");
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"index.html", "index.html.bak"}));
}

TEST(SafeFile, ABackupOfAFileThatThenFailsIsRemovedAgain)
{
    TTempDir dir;
    const std::string path = dir / "style.css";
    WriteFile(path, "a{}");
    {
        TPendingBackup backup(path, "a{}", 0644);
        EXPECT_TRUE(backup.Place());
        EXPECT_EQ(ReadFile(dir / "style.css.bak"), "a{}");
    }
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"style.css"});
}

TEST(SafeFile, BackupThatCannotBeMadeIsAnError)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    WriteFile(path, "v1");
    ASSERT_EQ(mkdir((dir / "index.html.bak").c_str(), 0755), 0);
    EXPECT_THROW(BackupExists(path), EBackupError);
    TPendingBackup overFolder(path, "v1", 0644);
    EXPECT_THROW(overFolder.Place(), EBackupError);
    // A link in the backup's place is no backup: refused, never followed or replaced.
    WriteFile(dir / "elsewhere.txt", "not mine");
    ASSERT_EQ(symlink("elsewhere.txt", (dir / "linked.css.bak").c_str()), 0);
    EXPECT_THROW(BackupExists(dir / "linked.css"), EBackupError);
    TPendingBackup overLink(dir / "linked.css", "c", 0644);
    EXPECT_THROW(overLink.Place(), EBackupError);
    EXPECT_EQ(ReadFile(dir / "elsewhere.txt"), "not mine");

    WriteFile(dir / "other.css", "c");
    {
        TFileSizeLimit limit(4);
        EXPECT_THROW(TPendingBackup(dir / "other.css", std::string(100, 'c'), 0644), EBackupError);
    }
    EXPECT_FALSE(Exists(dir / "other.css.bak"));
}

}  // namespace

namespace {

// Pages of Path's content in memory now, and all its pages.
std::pair<std::size_t, std::size_t> ResidentPages(const std::string& Path)
{
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + Path);
    struct stat st {};
    fstat(fd, &st);
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t pages = (static_cast<std::size_t>(st.st_size) + page - 1) / page;
    void* map = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (map == MAP_FAILED) throw std::runtime_error("cannot map " + Path);
    std::vector<unsigned char> in(pages);
    mincore(map, static_cast<std::size_t>(st.st_size), in.data());
    munmap(map, static_cast<std::size_t>(st.st_size));
    return {static_cast<std::size_t>(std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; })), pages};
}

// Writes Path and waits until it is on disk, as the files of a site are.
void WriteToDisk(const std::string& Path, const std::string& Data)
{
    WriteFile(Path, Data);
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    fsync(fd);
    close(fd);
}

}  // namespace

TEST(SafeFile, AReplacedFileGivesBackItsPagesInMemoryAndAnUnchangedOneKeepsThem)
{
    TTempDir dir;
    struct statfs fs {};
    ASSERT_EQ(statfs(dir.Path().c_str(), &fs), 0);
    if (fs.f_type == TMPFS_MAGIC)
        GTEST_SKIP() << "the temporary folder is on tmpfs, where a file's pages in memory are the file itself";
    std::string sheet;
    while (sheet.size() < (1u << 20)) sheet += ".item-" + std::to_string(sheet.size()) + " { margin: 0 auto; color: red }\n";
    const std::string changed = dir / "changed.css";
    const std::string unchanged = dir / "unchanged.css";
    WriteToDisk(changed, sheet);
    WriteToDisk(unchanged, std::string(1 << 20, ' '));
    {
        TSourceFile read(changed);
        EXPECT_EQ(ResidentPages(changed).first, ResidentPages(changed).second) << "a file just read is in memory";
    }
    TConversionSettings settings;
    settings.HueOffset = 120;
    TFileConverter converter(settings, true, false);
    converter.ConvertFile(changed, [](const std::string&) {});
    converter.ConvertFile(unchanged, [](const std::string&) {});
    // The old content lives on as the backup, on disk, not in memory; the new content, just
    // written, is.
    const auto [backupIn, backupPages] = ResidentPages(changed + ".bak");
    EXPECT_LE(backupIn, backupPages / 8) << backupIn << " of " << backupPages << " pages of the old content kept";
    EXPECT_EQ(ResidentPages(changed).first, ResidentPages(changed).second);
    EXPECT_EQ(ReadFile(changed + ".bak"), sheet);
    EXPECT_NE(ReadFile(changed), sheet);
    // Nothing written for a file that does not change: its pages stay for whoever reads it next.
    EXPECT_EQ(ResidentPages(unchanged).first, ResidentPages(unchanged).second);
}
