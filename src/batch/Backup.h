#pragma once
// The ".bak" copy a batch keeps of each file before replacing it. A backup is the original:
// once made it is never written over, so a second batch over the same files, or one restarted
// after an interruption, keeps the way back to the file as it was first.

#include <sys/types.h>

#include <string>
#include <string_view>

// The backup name of a file: its full path followed by ".bak".
std::string BackupName(const std::string& Path);

// The backup a conversion makes. Make creates it, durable on disk, unless a backup is there
// already; dropped without Keep, a backup this object created is removed again, so a file that
// then fails leaves the folder as it was.
class TNewBackup {
public:
    TNewBackup() = default;
    ~TNewBackup();
    TNewBackup(const TNewBackup&) = delete;
    TNewBackup& operator=(const TNewBackup&) = delete;

    // Keeps Content (the bytes Path held when it was read) as Path + ".bak" with Mode. False
    // when a backup exists already and is kept as it is. EBackupError when the copy cannot be
    // made, or when something that is no regular file (a folder, a link) has the backup's name.
    bool Make(const std::string& Path, std::string_view Content, mode_t Mode);
    void Keep() { FCreated.clear(); }

private:
    std::string FCreated;
    dev_t FDevice = 0;
    ino_t FInode = 0;
};

// Whether Path's backup exists already, so a conversion would keep it (EBackupError when the
// name is taken by something that is no regular file).
bool BackupExists(const std::string& Path);
