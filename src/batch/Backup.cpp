#include "batch/Backup.h"

#include "base/SafeFile.h"
#include "batch/BatchErrors.h"

#include <sys/stat.h>

#include <optional>

std::string BackupName(const std::string& Path) { return Path + ".bak"; }

void MakeBackupCopy(const std::string& Path, std::string_view Content)
{
    const std::string backup = BackupName(Path);
    try {
        struct stat original {};
        std::optional<mode_t> mode;
        if (stat(Path.c_str(), &original) == 0) mode = original.st_mode;
        SaveCopySafely(backup, Content, mode);
    } catch (const Exception& e) {
        throw EBackupError("Cannot make the backup copy \"" + backup + "\": " + e.Message());
    }
}
