#pragma once
// Reading whole files and replacing them so that no failure leaves a half-written file.

#include <sys/types.h>

#include <optional>
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

// Writes Data as Path the same way, but a link named Path is replaced rather than followed and
// nothing about an older file is kept: the new file gets Mode, or the usual permission bits of a
// new file. A folder named Path is refused (EFCreateError).
void SaveCopySafely(const std::string& Path, std::string_view Data, std::optional<mode_t> Mode);
