// Converted files keep their other names, owner, group, permissions, extended attributes and
// access control lists; backups made by root keep the owner too.

#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "batch/BatchErrors.h"
#include "batch/BatchLog.h"
#include "batch/CommitGroup.h"
#include "batch/FileConverter.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <cstdint>
#include <cstring>

using namespace batchtest;

namespace {

const std::string Red = "<font color=#FF0000>x</font>";
const std::string Green = "<font color=#00FF00>x</font>";
constexpr uid_t Nobody = 65534;

TConversionSettings RedToGreen()
{
    TConversionSettings settings;
    settings.HueOffset = 120;
    return settings;
}

int RunAsNobody(const std::function<int()>& Convert);

// Converts Path red to green with a backup as user 65534: 0 when it went, 3 when it failed.
int ConvertAsNobody(const std::string& Path)
{
    return RunAsNobody([&] {
        try {
            TFileConverter(RedToGreen(), true, false).ConvertText(Path);
            return 0;
        } catch (...) {
            return 3;
        }
    });
}

struct stat StatOf(const std::string& Path)
{
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + Path);
    return st;
}

// The value of an extended attribute, or nothing with Ok false when it is missing.
struct TAttr {
    bool Ok = false;
    std::string Value;
};
TAttr GetAttr(const std::string& Path, const char* Name)
{
    TAttr result;
    char buffer[4096];
    const ssize_t n = getxattr(Path.c_str(), Name, buffer, sizeof buffer);
    if (n < 0) return result;
    result.Ok = true;
    result.Value.assign(buffer, static_cast<std::size_t>(n));
    return result;
}

// An access control list in the kernel's form (system.posix_acl_access): the owner rw, user
// 65534 r, the group r, mask r, others nothing.
std::string AclGivingNobodyRead()
{
    std::string acl;
    const auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) acl.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        acl.push_back(static_cast<char>(tag & 0xFF));
        acl.push_back(static_cast<char>(tag >> 8));
        acl.push_back(static_cast<char>(perm & 0xFF));
        acl.push_back(static_cast<char>(perm >> 8));
        u32(id);
    };
    u32(2);                      // version
    entry(0x01, 6, 0xFFFFFFFF);  // owner
    entry(0x02, 4, Nobody);      // user 65534
    entry(0x04, 4, 0xFFFFFFFF);  // group
    entry(0x10, 4, 0xFFFFFFFF);  // mask
    entry(0x20, 0, 0xFFFFFFFF);  // others
    return acl;
}

TEST(KeepOwner, HardLinkedFileIsConvertedUnderEveryName)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    const std::string other = dir / "same.html";
    WriteFile(path, Red);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    const struct stat before = StatOf(path);

    TFileConverter converter(RedToGreen(), true, false);
    EXPECT_FALSE(converter.ConvertText(path).Unchanged);
    EXPECT_EQ(ReadFile(path), Green);
    EXPECT_EQ(ReadFile(other), Green);
    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, written in place
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(StatOf(other).st_ino, before.st_ino);
    EXPECT_EQ(Mode(path), 0640u);
    // The backup is the original content in a file of its own, with its permissions.
    EXPECT_EQ(ReadFile(path + ".bak"), Red);
    EXPECT_NE(StatOf(path + ".bak").st_ino, before.st_ino);
    EXPECT_EQ(Mode(path + ".bak"), 0640u);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"index.html", "index.html.bak", "same.html"}));
}

TEST(KeepOwner, HardLinkedFileWithoutBackupIsRefused)
{
    TTempDir dir;
    const std::string path = dir / "index.html";
    WriteFile(path, Red);
    ASSERT_EQ(link(path.c_str(), (dir / "same.html").c_str()), 0);
    TFileConverter converter(RedToGreen(), false, false);
    EXPECT_THROW(converter.ConvertText(path), ENeedsBackup);
    EXPECT_EQ(ReadFile(path), Red);
    EXPECT_EQ(ReadFile(dir / "same.html"), Red);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"index.html", "same.html"}));
    // A dry run says so too, and the log gives the reason.
    TFileConverter dry(RedToGreen(), false, false, true);
    EXPECT_THROW(dry.ConvertText(path), ENeedsBackup);
    try {
        converter.ConvertText(path);
    } catch (...) {
        EXPECT_EQ(FailureReason(std::current_exception()), BatchLog::ReasonNeedsBackup);
    }
    // A file with one name is still replaced without a backup.
    WriteFile(dir / "alone.html", Red);
    converter.ConvertText(dir / "alone.html");
    EXPECT_EQ(ReadFile(dir / "alone.html"), Green);
}

// A batch stopped after naming a file's backup (the file itself under a second name) and
// before the new content took the file's place leaves the two names on one file. The next run
// must not take the backup for another user of the file: writing in place would put the new
// content into the backup and lose the original.
TEST(KeepOwner, BackupLeftAsSecondNameByAStoppedRunStaysTheOriginal)
{
    struct TCase {
        const char* Name;
        bool Backup;
        bool DryRun;
    };
    for (const TCase& c : {TCase{"with backups", true, false}, TCase{"without backups", false, false},
                           TCase{"dry run without backups", false, true}}) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string path = dir / "page.html";
        WriteFile(path, Red);
        ASSERT_EQ(link(path.c_str(), (path + ".bak").c_str()), 0);
        const ino_t original = StatOf(path).st_ino;

        TFileConverter converter(RedToGreen(), c.Backup, false, c.DryRun);
        const TFileOutcome outcome = converter.ConvertText(path);
        EXPECT_EQ(outcome.BackupKept, c.Backup);
        EXPECT_EQ(ReadFile(path + ".bak"), Red);
        EXPECT_EQ(StatOf(path + ".bak").st_ino, original);
        EXPECT_EQ(ReadFile(path), c.DryRun ? Red : Green);
        if (!c.DryRun) {
            EXPECT_NE(StatOf(path).st_ino, original);
            EXPECT_EQ(StatOf(path).st_nlink, 1u);
            EXPECT_EQ(StatOf(path + ".bak").st_nlink, 1u);
        }
        EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"page.html", "page.html.bak"}));
    }
}

// The same left-over state on a file with a third name: only an in-place write keeps that name
// sharing the file, and it would write into the backup too. The file fails and nothing changes.
TEST(KeepOwner, BackupLeftAsSecondNameOfAHardLinkedFileFailsTheFile)
{
    TTempDir dir;
    const std::string path = dir / "page.html";
    WriteFile(path, Red);
    ASSERT_EQ(link(path.c_str(), (dir / "same.html").c_str()), 0);
    ASSERT_EQ(link(path.c_str(), (path + ".bak").c_str()), 0);
    TFileConverter converter(RedToGreen(), true, false);
    try {
        converter.ConvertText(path);
        ADD_FAILURE() << "converted in place through its own backup";
    } catch (...) {
        EXPECT_EQ(FailureReason(std::current_exception()), BatchLog::ReasonBackup);
    }
    EXPECT_EQ(ReadFile(path), Red);
    EXPECT_EQ(ReadFile(path + ".bak"), Red);
    EXPECT_EQ(StatOf(path).st_nlink, 3u);
    EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"page.html", "page.html.bak", "same.html"}));
}

// The new file is made with the old one's permissions where it can be, and given them where
// the umask or the folder decide otherwise.
TEST(KeepOwner, PermissionsAreKeptUnderEveryUmask)
{
    const mode_t modes[] = {0600, 0604, 0640, 0644, 0666, 0700, 0755, 0775, 04755, 02755, 01644, 06775};
    const mode_t masks[] = {0, 022, 027, 077, 0777};
    const mode_t previous = umask(0);
    for (const mode_t mask : masks) {
        umask(mask);
        for (const bool backup : {true, false}) {
            TTempDir dir;
            TFileConverter converter(RedToGreen(), backup, false);
            for (const mode_t mode : modes) {
                SCOPED_TRACE("umask " + std::to_string(mask) + ", mode " + std::to_string(mode) +
                             (backup ? ", with backup" : ""));
                const std::string path = dir / ("page" + std::to_string(mode) + ".html");
                WriteFile(path, Red);
                ASSERT_EQ(chmod(path.c_str(), mode), 0);
                const struct stat before = StatOf(path);
                converter.ConvertText(path);
                EXPECT_EQ(ReadFile(path), Green);
                const struct stat after = StatOf(path);
                EXPECT_EQ(after.st_mode & 07777, mode);
                EXPECT_EQ(after.st_uid, before.st_uid);
                EXPECT_EQ(after.st_gid, before.st_gid);
                if (backup) {
                    EXPECT_EQ(StatOf(path + ".bak").st_mode & 07777, mode);
                }
            }
            EXPECT_EQ(FolderNames(dir.Path()).size(), backup ? 2 * std::size(modes) : std::size(modes));
        }
    }
    umask(previous);
}

// A folder that gives new files its own group (set-group-ID) does not give it to a converted
// file: the file keeps the group it had, for root and for the file's owner.
TEST(KeepOwner, AFileInAFolderGivingItsGroupKeepsItsOwn)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the folder and the file other groups";
    TTempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    const std::string folder = dir / "shared";
    ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(chown(folder.c_str(), 0, Nobody), 0);
    ASSERT_EQ(chmod(folder.c_str(), 02777), 0);

    const std::string rootsFile = folder + "/root.html";
    WriteFile(rootsFile, Red);
    ASSERT_EQ(chown(rootsFile.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(rootsFile.c_str(), 0640), 0);
    TFileConverter(RedToGreen(), false, false).ConvertText(rootsFile);
    EXPECT_EQ(ReadFile(rootsFile), Green);
    EXPECT_EQ(StatOf(rootsFile).st_gid, 0u);
    EXPECT_EQ(StatOf(rootsFile).st_mode & 07777, 0640u);

    const std::string nobodysFile = folder + "/nobody.html";
    WriteFile(nobodysFile, Red);
    ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(folder.c_str(), 02777), 0);
    ASSERT_EQ(chown(nobodysFile.c_str(), Nobody, Nobody), 0);
    ASSERT_EQ(chmod(nobodysFile.c_str(), 0604), 0);
    EXPECT_EQ(ConvertAsNobody(nobodysFile), 0);
    EXPECT_EQ(ReadFile(nobodysFile), Green);
    EXPECT_EQ(StatOf(nobodysFile).st_uid, Nobody);
    EXPECT_EQ(StatOf(nobodysFile).st_gid, Nobody);
    EXPECT_EQ(StatOf(nobodysFile).st_mode & 07777, 0604u);
    EXPECT_EQ(ReadFile(nobodysFile + ".bak"), Red);
}

// A file read when it had N bytes and grown since is not replaced by what was made of those N,
// even when its time is put back.
TEST(KeepOwner, AFileThatGrewAfterItWasReadIsNotReplaced)
{
    TTempDir dir;
    const std::string path = dir / "grows.css";
    WriteFile(path, "a{color:red}");
    {
        TSourceFile source(path);
        EXPECT_EQ(source.Bytes(), "a{color:red}");
        TPendingFile pending(source, "a{color:lime}");
        {
            std::ofstream more(path, std::ios::app | std::ios::binary);
            more << "b{color:blue}";
        }
        const struct stat st = source.Status();
        timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        EXPECT_THROW(pending.Commit(source.Identity()), EFileChanged);
    }
    EXPECT_EQ(ReadFile(path), "a{color:red}b{color:blue}");
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"grows.css"});
}

TEST(KeepOwner, InPlaceWriteChecksTheFileIsStillAsRead)
{
    TTempDir dir;
    const std::string path = dir / "a.css";
    WriteFile(path, "old!");
    ASSERT_EQ(link(path.c_str(), (dir / "b.css").c_str()), 0);
    TSourceFile source(path);
    TPendingFile pending(source, "new content");
    ASSERT_TRUE(pending.InPlace());
    EXPECT_EQ(ReadFile(path), "old!");  // nothing written before Commit
    WriteFile(dir / "b.css", "edit");   // same size, another time
    timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_THROW(pending.Commit(source.Identity()), EFileChanged);
    EXPECT_FALSE(pending.Started());
    EXPECT_EQ(ReadFile(path), "edit");
}

TEST(KeepOwner, FailedInPlaceWriteKeepsTheBackup)
{
    TTempDir dir;
    const std::string path = dir / "a.css";
    WriteFile(path, "short");
    ASSERT_EQ(link(path.c_str(), (dir / "b.css").c_str()), 0);
    TPreparedFile file;
    file.Path = path;
    file.Source = std::make_unique<TSourceFile>(path);
    file.Content = std::make_unique<TPendingFile>(*file.Source, std::string(200, 'n'), false);
    file.Backup = std::make_unique<TPendingBackup>(path, "short", 0644, false, &file.Source->Status());
    std::vector<std::exception_ptr> errors;
    {
        TFileSizeLimit limit(50);  // the backup fits, the new content does not
        errors = CommitGroup({&file});
    }
    ASSERT_EQ(errors.size(), 1u);
    ASSERT_TRUE(errors[0]);
    EXPECT_THROW(std::rethrow_exception(errors[0]), EInOutError);
    // The file may be part written; its backup, on disk before the write began, stays.
    EXPECT_EQ(ReadFile(path + ".bak"), "short");
    // A file that failed before the write began leaves no backup.
    WriteFile(dir / "c.css", "short");
    ASSERT_EQ(link((dir / "c.css").c_str(), (dir / "d.css").c_str()), 0);
    TPreparedFile changed;
    changed.Path = dir / "c.css";
    changed.Source = std::make_unique<TSourceFile>(changed.Path);
    changed.Content = std::make_unique<TPendingFile>(*changed.Source, "new", false);
    changed.Backup = std::make_unique<TPendingBackup>(changed.Path, "short", 0644, false);
    WriteFile(dir / "d.css", "other content");
    errors = CommitGroup({&changed});
    ASSERT_TRUE(errors[0]);
    EXPECT_THROW(std::rethrow_exception(errors[0]), EFileChanged);
    EXPECT_FALSE(Exists(dir / "c.css.bak"));
    EXPECT_EQ(ReadFile(dir / "c.css"), "other content");
}

TEST(KeepOwner, ExtendedAttributesAndAclAreKept)
{
    TTempDir dir;
    const std::string path = dir / "page.html";
    WriteFile(path, Red);
    if (setxattr(path.c_str(), "user.colour", "red", 3, 0) != 0 && errno == ENOTSUP)
        GTEST_SKIP() << "the temporary folder's file system has no user extended attributes";
    ASSERT_TRUE(GetAttr(path, "user.colour").Ok);
    ASSERT_EQ(setxattr(path.c_str(), "user.empty", "", 0, 0), 0);
    const std::string acl = AclGivingNobodyRead();
    const bool haveAcl = setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    if (!haveAcl) {
        ASSERT_EQ(errno, ENOTSUP) << std::strerror(errno);
    }
    const ino_t before = StatOf(path).st_ino;
    const mode_t mode = Mode(path);

    TFileConverter converter(RedToGreen(), true, false);
    converter.ConvertText(path);
    EXPECT_EQ(ReadFile(path), Green);
    EXPECT_NE(StatOf(path).st_ino, before);  // a new file, renamed into place
    EXPECT_EQ(GetAttr(path, "user.colour").Value, "red");
    EXPECT_TRUE(GetAttr(path, "user.empty").Ok);
    EXPECT_EQ(Mode(path), mode);
    if (haveAcl) {
        const TAttr kept = GetAttr(path, "system.posix_acl_access");
        ASSERT_TRUE(kept.Ok) << "the access control list was dropped";
        EXPECT_EQ(kept.Value, acl);
    } else {
        ADD_FAILURE() << "user extended attributes without access control lists: the ACL half was not tested";
    }
    // The backup is the old file itself, with its attributes.
    EXPECT_EQ(StatOf(path + ".bak").st_ino, before);
    EXPECT_EQ(GetAttr(path + ".bak", "user.colour").Value, "red");
}

TEST(KeepOwner, RootKeepsAnotherUsersOwnerOnFileAndBackup)
{
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    TTempDir dir;
    const std::string path = dir / "page.html";
    const std::string linked = dir / "linked.html";
    for (const std::string& p : {path, linked}) {
        WriteFile(p, Red);
        ASSERT_EQ(chown(p.c_str(), Nobody, Nobody), 0);
        ASSERT_EQ(chmod(p.c_str(), 0604), 0);
    }
    ASSERT_EQ(link(linked.c_str(), (dir / "linked2.html").c_str()), 0);

    TFileConverter converter(RedToGreen(), true, false);
    converter.ConvertText(path);
    converter.ConvertText(linked);
    for (const std::string& p : {path, path + ".bak", linked, linked + ".bak"}) {
        SCOPED_TRACE(p);
        const struct stat st = StatOf(p);
        EXPECT_EQ(st.st_uid, Nobody);
        EXPECT_EQ(st.st_gid, Nobody);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
    }
    EXPECT_EQ(ReadFile(path), Green);
    EXPECT_EQ(ReadFile(dir / "linked2.html"), Green);
    EXPECT_EQ(ReadFile(linked + ".bak"), Red);
}

// Runs Convert as user and group 65534 in a child process; its exit status.
int RunAsNobody(const std::function<int()>& Convert)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(Nobody, Nobody, Nobody) != 0 ||
            setresuid(Nobody, Nobody, Nobody) != 0)
            _exit(90);
        _exit(Convert());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(KeepOwner, OrdinaryUserKeepsTheOwnerOfAWritableFile)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a file owned by another user and to become user 65534";
    TTempDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 0777), 0);
    const std::string path = dir / "page.html";
    WriteFile(path, Red);
    ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    const ino_t before = StatOf(path).st_ino;

    // Without a backup the file could only be written over in place: refused.
    EXPECT_EQ(RunAsNobody([&] {
                  try {
                      TFileConverter(RedToGreen(), false, false).ConvertText(path);
                      return 1;
                  } catch (const ENeedsBackup&) {
                      return 0;
                  } catch (...) {
                      return 2;
                  }
              }),
              0);
    EXPECT_EQ(ReadFile(path), Red);

    EXPECT_EQ(ConvertAsNobody(path), 0);
    EXPECT_EQ(ReadFile(path), Green);
    const struct stat after = StatOf(path);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(after.st_gid, 0u);
    EXPECT_EQ(after.st_ino, before);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(ReadFile(path + ".bak"), Red);
    EXPECT_EQ(StatOf(path + ".bak").st_uid, Nobody);  // a user cannot give its copy away
}

}  // namespace
