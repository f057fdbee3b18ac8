#pragma once
// The ".bak" copy a batch keeps of each file before replacing it. A backup is the original:
// once made it is never written over, so a second batch over the same files, or one restarted
// after an interruption, keeps the way back to the file as it was first.

#include "base/SafeFile.h"

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>

// The backup name of a file: its full path followed by ".bak".
std::string BackupName(const std::string& Path);

// Whether Path's backup exists already, so a conversion would keep it. EBackupError when the
// name is taken by something that is no regular file (a folder, a link): that is no backup the
// file could be restored from.
bool BackupExists(const std::string& Path);

// Whether Path's backup is File itself under its second name: what a batch stopped between
// naming a backup and putting the new content in place leaves. That name is no other user of
// the file, and writing into the file would write into the backup.
bool BackupIsSecondNameOf(const std::string& Path, const struct stat& File);

// The backup a conversion makes: written beside the file under a temporary name first, given its
// name when the file is about to be replaced. Dropped without Keep, a backup this object named is
// removed again, so a file that then fails leaves the folder as it was.
class TPendingBackup {
public:
    // Writes Content (the bytes Path held when it was read) with Mode and, with Owner, that
    // file's owner and group where the user may give them (root); without Flush it is left for
    // a flush of the whole file system. EBackupError when it cannot be written.
    TPendingBackup(const std::string& Path, std::string_view Content, mode_t Mode, bool Flush = true,
                   const struct stat* Owner = nullptr);
    // The backup is the file that was read itself, given a second name: nothing is written,
    // and the backup keeps the file's own time, owner and permissions. Where the file system
    // has no hard links, Place copies the file instead. Source must outlive this object's Place.
    explicit TPendingBackup(const std::string& Path, const TSourceFile& Source);
    ~TPendingBackup();
    TPendingBackup(const TPendingBackup&) = delete;
    TPendingBackup& operator=(const TPendingBackup&) = delete;

    // Names the backup Path + ".bak"; false when a backup has appeared there meanwhile (it is
    // kept, this one dropped). EBackupError when the name cannot be made.
    bool Place();
    // Whether Place has named the backup.
    bool Placed() const { return FNamed; }
    // The file was replaced: the backup stays.
    void Keep() { FPlaced.clear(); }
    // Whether this backup is a copy written for it, whose bytes must be on disk before it is
    // named; a second name of the file read has none of its own.
    bool IsCopy() const { return FCopy != nullptr; }

private:
    std::string FName;
    std::unique_ptr<TPendingCopy> FCopy;
    const TSourceFile* FSource = nullptr;
    std::string FPlaced;
    bool FNamed = false;
    dev_t FDevice = 0;
    ino_t FInode = 0;
};
