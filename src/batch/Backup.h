#pragma once
// The ".bak" copy a batch keeps of each file before replacing it.

#include <string>
#include <string_view>

// The backup name of a file: its full path followed by ".bak".
std::string BackupName(const std::string& Path);

// Keeps Content, the bytes Path held when it was read, as Path + ".bak", replacing an older
// backup (a link named like the backup is replaced rather than followed). The backup gets
// Path's permission bits. EBackupError when the copy cannot be made; an older backup then stays
// as it was.
void MakeBackupCopy(const std::string& Path, std::string_view Content);
