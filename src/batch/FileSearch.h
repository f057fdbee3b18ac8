#pragma once
// The folder search behind the main window's folder command and dropped folders, shared by
// the command-line tool and the backup manager.

#include <string>
#include <vector>

// Appends to Found every file under Folder whose extension (from the last "." of its name,
// the dot included) equals Extension, both compared in lower case. Entries are taken in the
// order the file system delivers them; a sub-folder is searched where it is met (depth first)
// when SubFolders is set. Only regular files are listed (directories, devices, pipes and
// sockets never are); a symbolic link counts as what it points to, and a folder reached twice
// through links is searched once. A folder that cannot be read contributes nothing.
void SearchFolder(const std::string& Folder, const std::string& Extension,
                  std::vector<std::string>& Found, bool SubFolders);

// The extensions a site folder is searched for, in the order of the searches.
inline constexpr const char* SiteExtensions[] = {".htm", ".html", ".css", ".gif", ".png"};

// One complete SearchFolder per site extension, in that order: all ".htm" files come first,
// then all ".html" files, and so on.
std::vector<std::string> SearchSiteFolder(const std::string& Folder, bool SubFolders);

// The text after the last "/" of Path (the whole path when there is none).
std::string ExtractFileName(const std::string& Path);

// The extension of a path's file name from its last "." on, the dot included; empty when the
// name has no dot.
std::string ExtractFileExt(const std::string& Path);

// ASCII lower case; other bytes (parts of multi-byte characters) are left alone.
std::string AsciiLower(std::string Text);
