#include "batch/Backup.h"

#include "base/SafeFile.h"
#include "batch/BatchErrors.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

std::string BackupName(const std::string& Path) { return Path + ".bak"; }

bool BackupExists(const std::string& Path)
{
    const std::string backup = BackupName(Path);
    struct stat st {};
    if (lstat(backup.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode))
        throw EBackupError("Cannot make the backup copy \"" + backup + "\": " +
                           (S_ISDIR(st.st_mode) ? "A folder has that name" : "Something that is no file has that name"));
    return true;
}

bool TNewBackup::Make(const std::string& Path, std::string_view Content, mode_t Mode)
{
    const std::string backup = BackupName(Path);
    if (BackupExists(Path)) return false;
    try {
        if (!CreateFileExclusively(backup, Content, Mode)) {
            BackupExists(Path);  // made meanwhile: kept, if it is a file
            return false;
        }
    } catch (const Exception& e) {
        throw EBackupError("Cannot make the backup copy \"" + backup + "\": " + e.Message());
    }
    struct stat st {};
    if (lstat(backup.c_str(), &st) == 0) {
        FCreated = backup;
        FDevice = st.st_dev;
        FInode = st.st_ino;
    }
    return true;
}

TNewBackup::~TNewBackup()
{
    if (FCreated.empty()) return;
    // Only the file this object made: a backup someone put there since stays.
    struct stat st {};
    if (lstat(FCreated.c_str(), &st) == 0 && st.st_dev == FDevice && st.st_ino == FInode) unlink(FCreated.c_str());
}
