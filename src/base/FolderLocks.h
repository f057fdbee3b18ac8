#pragma once
// Advisory locks on folders that keep two batches, or a batch and a restore of backups, off
// the same files at once. A holder locks each folder whose files it is about to change and
// keeps the locks until it is done; another holder (in this process or any other) meeting a
// locked folder leaves its files alone. Locks are the system's (flock on the folder), so they
// go with the process that held them, however it ends.

#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

class TFolderLocks {
public:
    TFolderLocks() = default;
    ~TFolderLocks();
    TFolderLocks(const TFolderLocks&) = delete;
    TFolderLocks& operator=(const TFolderLocks&) = delete;

    enum class TResult {
        Taken,        // newly locked by this holder
        AlreadyHeld,  // this holder locked it before
        Busy,         // another holder has it
        Unlockable,   // the folder cannot be opened or its file system has no locks; not held
    };

    // Locks the folder a file lies in (the folder part of FilePath, "." for a bare name).
    // Safe to call from several threads.
    TResult AcquireFolderOf(const std::string& FilePath);
    TResult Acquire(const std::string& Folder);

    // How many folders this holder has locked (each holds one open descriptor).
    std::size_t Count();

private:
    std::mutex FMutex;
    std::map<std::pair<dev_t, ino_t>, int> FHeld;  // folder identity -> open descriptor
};

// The folder part of a path: everything before its last "/", "/" for a file in the root,
// "." for a bare name.
std::string FolderOf(const std::string& FilePath);
// The same, as a view into FilePath (or of "." or "/").
std::string_view FolderViewOf(std::string_view FilePath);
