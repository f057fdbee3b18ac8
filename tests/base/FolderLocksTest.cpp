#include "base/FolderLocks.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path MakeFolder(const std::string& Name)
{
    const fs::path dir = fs::temp_directory_path() / ("tessival-locks-" + std::to_string(getpid()) + "-" + Name);
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    return dir;
}

// What another process gets when it tries the folder's lock.
TFolderLocks::TResult TryInChild(const fs::path& Folder)
{
    const pid_t pid = fork();
    if (pid == 0) {
        TFolderLocks locks;
        _exit(static_cast<int>(locks.Acquire(Folder.string())));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return static_cast<TFolderLocks::TResult>(WEXITSTATUS(status));
}

}  // namespace

TEST(FolderLocks, OneHolderAtATimeInThisProcessAndOthers)
{
    const fs::path dir = MakeFolder("holders");
    {
        TFolderLocks first;
        EXPECT_EQ(first.AcquireFolderOf((dir / "index.html").string()), TFolderLocks::TResult::Taken);
        EXPECT_EQ(first.Acquire(dir.string() + "/"), TFolderLocks::TResult::AlreadyHeld);  // same folder, other spelling
        TFolderLocks second;  // a restore in the same program
        EXPECT_EQ(second.Acquire(dir.string()), TFolderLocks::TResult::Busy);
        EXPECT_EQ(second.Acquire((dir / "sub").string()), TFolderLocks::TResult::Taken);  // not the parent's lock
        EXPECT_EQ(TryInChild(dir), TFolderLocks::TResult::Busy);
    }
    EXPECT_EQ(TryInChild(dir), TFolderLocks::TResult::Taken);  // released with its holder
    fs::remove_all(dir);
}

TEST(FolderLocks, AMissingFolderIsUnlockableAndFolderOfPaths)
{
    TFolderLocks locks;
    EXPECT_EQ(locks.Acquire("/nonexistent/tessival/folder"), TFolderLocks::TResult::Unlockable);
    EXPECT_EQ(FolderOf("a/b/c.css"), "a/b");
    EXPECT_EQ(FolderOf("/c.css"), "/");
    EXPECT_EQ(FolderOf("c.css"), ".");
}
