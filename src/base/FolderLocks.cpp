#include "base/FolderLocks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::string_view FolderViewOf(std::string_view FilePath)
{
    const auto slash = FilePath.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return FilePath.substr(0, slash);
}

std::string FolderOf(const std::string& FilePath) { return std::string(FolderViewOf(FilePath)); }

TFolderLocks::~TFolderLocks()
{
    for (const auto& [identity, fd] : FHeld) close(fd);  // closing the last descriptor unlocks
}

std::size_t TFolderLocks::Count()
{
    std::lock_guard<std::mutex> guard(FMutex);
    return FHeld.size();
}

TFolderLocks::TResult TFolderLocks::AcquireFolderOf(const std::string& FilePath)
{
    return Acquire(FolderOf(FilePath));
}

TFolderLocks::TResult TFolderLocks::Acquire(const std::string& Folder)
{
    const int fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return TResult::Unlockable;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return TResult::Unlockable;
    }
    std::lock_guard<std::mutex> guard(FMutex);
    if (FHeld.count({st.st_dev, st.st_ino})) {
        close(fd);
        return TResult::AlreadyHeld;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? TResult::Busy : TResult::Unlockable;
    }
    FHeld.emplace(std::make_pair(st.st_dev, st.st_ino), fd);
    return TResult::Taken;
}
