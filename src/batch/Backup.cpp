#include "batch/Backup.h"

#include "batch/BatchErrors.h"

#include <sys/stat.h>
#include <unistd.h>

std::string BackupName(const std::string& Path) { return Path + ".bak"; }

namespace {

// Whether a backup is at Backup (a backup's name), raising EBackupError for something there that
// no file could be restored from.
bool BackupAt(const std::string& Backup)
{
    struct stat st {};
    if (lstat(Backup.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode))
        throw EBackupError("Cannot make the backup copy \"" + Backup + "\": " +
                           (S_ISDIR(st.st_mode) ? "A folder has that name" : "Something that is no file has that name"));
    return true;
}

}  // namespace

bool BackupExists(const std::string& Path) { return BackupAt(BackupName(Path)); }

bool BackupIsSecondNameOf(const std::string& Path, const struct stat& File)
{
    if (File.st_nlink < 2) return false;  // no second name at all
    struct stat st {};
    return lstat(BackupName(Path).c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == File.st_dev &&
           st.st_ino == File.st_ino;
}

TPendingBackup::TPendingBackup(const std::string& Path, std::string_view Content, mode_t Mode, bool Flush,
                               const struct stat* Owner)
    : FName(BackupName(Path))
{
    try {
        FCopy = std::make_unique<TPendingCopy>(FName, Content, Mode, Flush, Owner);
    } catch (const Exception& e) {
        throw EBackupError("Cannot make the backup copy \"" + FName + "\": " + e.Message());
    }
}

TPendingBackup::TPendingBackup(const std::string& Path, const TSourceFile& Source)
    : FName(BackupName(Path)), FSource(&Source)
{
}

bool TPendingBackup::Place()
{
    if (FNamed) return true;
    bool placed = false;
    try {
        if (FSource) {
            try {
                placed = FSource->LinkAs(FName);
            } catch (const EInOutError&) {
                FCopy = std::make_unique<TPendingCopy>(FName, FSource->ReadAgain(), FSource->Status().st_mode, true,
                                                      &FSource->Status());
                FSource = nullptr;
            }
        }
        if (!FSource) placed = FCopy->Place();
    } catch (const Exception& e) {
        throw EBackupError("Cannot make the backup copy \"" + FName + "\": " + e.Message());
    }
    if (!placed) {
        BackupAt(FName);  // something that is no file there fails the file
        return false;
    }
    FNamed = true;
    if (FSource) {
        // A second name of the file read: its identity is known.
        FPlaced = FName;
        FDevice = FSource->Status().st_dev;
        FInode = FSource->Status().st_ino;
    } else if (struct stat st {}; lstat(FName.c_str(), &st) == 0) {
        FPlaced = FName;
        FDevice = st.st_dev;
        FInode = st.st_ino;
    }
    return true;
}

TPendingBackup::~TPendingBackup()
{
    if (FPlaced.empty()) return;
    // Only the file this object named: a backup someone put there since stays.
    struct stat st {};
    if (lstat(FPlaced.c_str(), &st) == 0 && st.st_dev == FDevice && st.st_ino == FInode) unlink(FPlaced.c_str());
}
