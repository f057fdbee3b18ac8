#pragma once
// Reading whole files and replacing them so that no failure leaves a half-written file.

#include <string>
#include <string_view>

// The whole content of a file. EFOpenError when it cannot be opened (missing, no access, a
// folder), EInOutError when reading fails.
std::string ReadWholeFile(const std::string& Path);

// Replaces the content of Path with Data: the bytes go to a new file in the same folder,
// which is flushed to disk and then renamed over Path. The new file keeps the permission
// bits (and, where allowed, the owner) of the file it replaces; a new Path gets the usual
// ones. A symbolic link is followed, so the file it points to is replaced and the link stays.
// A file the user may not write is refused (EFCreateError), as is a folder the new file cannot
// be made in; write and rename failures raise EInOutError. On any failure Path is as it was
// and no stray file is left behind.
void SaveFileSafely(const std::string& Path, std::string_view Data);

// The backup name of a file: its full path followed by ".bak".
std::string BackupName(const std::string& Path);

// Keeps Content, the bytes Path held when it was read, as Path + ".bak", replacing an older
// backup (the same way SaveFileSafely replaces a file, but a link named like the backup is
// replaced rather than followed). The backup gets Path's permission bits. EBackupError when
// the copy cannot be made; an older backup then stays as it was.
void MakeBackupCopy(const std::string& Path, std::string_view Content);
