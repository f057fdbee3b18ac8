#pragma once
// The folder search behind the main window's folder command and dropped folders, shared by
// the command-line tool and the backup manager.

#include <string>
#include <vector>

// An entry a folder search met and did not list.
enum class TSkipKind {
    Unreadable,    // a folder that cannot be read, an entry that vanished, a path too long: Errno says
    DanglingLink,  // a link that leads nowhere
    OutsideFolder  // a link that leads out of the folder searched: not followed
};

struct TSkippedEntry {
    std::string Path;
    TSkipKind Kind = TSkipKind::Unreadable;
    int Errno = 0;
};

// Appends to Found every file under Folder whose extension (from the last "." of its name,
// the dot included) equals Extension, both compared in lower case. Entries are taken in the
// order the file system delivers them; a sub-folder is searched where it is met (depth first)
// when SubFolders is set. Only regular files are listed (directories, devices, pipes and
// sockets never are); a symbolic link counts as what it points to, and a folder reached twice
// through links is searched once. A folder that cannot be read contributes nothing.
void SearchFolder(const std::string& Folder, const std::string& Extension,
                  std::vector<std::string>& Found, bool SubFolders);

// What a file is converted as, told by its extension.
enum class TFileKind { Text, Png, Gif, Svg, Jpeg, WebP };

struct TSiteExtension {
    const char* Extension;  // lower case, the dot included
    TFileKind Kind;
    // A photo: content of a site more often than its decoration, and saved with a little loss
    // each time. The window lists photos unchecked; the command-line tool's folder search takes
    // them only when asked (--photos).
    bool Photo;
};

// The extensions a site folder is searched for, in the order of the searches, and what each is.
// The program, the window and the converter take their extensions from here.
inline constexpr TSiteExtension SiteExtensions[] = {
    {".htm", TFileKind::Text, false},  {".html", TFileKind::Text, false}, {".css", TFileKind::Text, false},
    {".gif", TFileKind::Gif, false},   {".png", TFileKind::Png, false},   {".svg", TFileKind::Svg, false},
    {".svgz", TFileKind::Svg, false},  {".jpg", TFileKind::Jpeg, true},   {".jpeg", TFileKind::Jpeg, true},
    {".webp", TFileKind::WebP, true},  {".jpe", TFileKind::Jpeg, true},   {".jfif", TFileKind::Jpeg, true}};

// The kind of Path by its extension, without regard to case: text for any extension not listed.
TFileKind FileKindOf(const std::string& Path);

// Whether the extension of Path is a photo's, or a picture's (any kind but text), without
// regard to case.
bool IsPhotoPath(const std::string& Path);
bool IsPicturePath(const std::string& Path);

// One complete SearchFolder per site extension, in that order: all ".htm" files come first,
// then all ".html" files, and so on; the photo extensions only with Photos. The search stays
// inside Folder: a link leading out of it is not followed. When Skipped is given, it gets (in
// the order they are met) every folder that could not be read (Folder itself included), every
// link leading out of Folder, and every entry with an extension searched for that is a
// dangling link, vanished or has a path too long.
std::vector<std::string> SearchSiteFolder(const std::string& Folder, bool SubFolders,
                                          std::vector<TSkippedEntry>* Skipped = nullptr, bool Photos = true);

// The text after the last "/" of Path (the whole path when there is none).
std::string ExtractFileName(const std::string& Path);

// The extension of a path's file name from its last "." on, the dot included; empty when the
// name has no dot.
std::string ExtractFileExt(const std::string& Path);

// ASCII lower case; other bytes (parts of multi-byte characters) are left alone.
std::string AsciiLower(std::string Text);
