#include "batch/FileSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

using TDirIdentity = std::pair<dev_t, ino_t>;

struct TDirCloser {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

// What a search reports besides the files: where it must stay (the real path of the folder
// given, ending in "/"; empty: anywhere) and where the skipped entries go (none: not kept).
struct TSearchBounds {
    std::string Inside;
    std::vector<TSkippedEntry>* Skipped = nullptr;
};

std::string RealPath(const std::string& Path)
{
    std::unique_ptr<char, decltype(&std::free)> real(realpath(Path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

void Skip(const TSearchBounds& Bounds, const std::string& Path, TSkipKind Kind, int Errno)
{
    if (Bounds.Skipped) Bounds.Skipped->push_back({Path, Kind, Errno});
}

bool HasExtension(const std::string& Name, const std::vector<std::string>& LowerExts)
{
    const std::string ext = AsciiLower(ExtractFileExt(Name));
    for (const std::string& e : LowerExts)
        if (ext == e) return true;
    return false;
}

// Searches Folder for files with any of LowerExts, each kind into its own list of Found.
void SearchOne(const std::string& Folder, const std::vector<std::string>& LowerExts,
               std::vector<std::vector<std::string>>& Found, bool SubFolders, std::set<TDirIdentity>& Visited,
               const TSearchBounds& Bounds)
{
    std::string base = Folder;
    if (base.empty()) return;
    if (base.back() != '/') base += '/';

    std::unique_ptr<DIR, TDirCloser> dir(opendir(base.c_str()));
    if (!dir) {
        Skip(Bounds, Folder, TSkipKind::Unreadable, errno);
        return;
    }

    struct stat own {};
    if (fstat(dirfd(dir.get()), &own) == 0 && !Visited.insert({own.st_dev, own.st_ino}).second)
        return;  // already searched through another link

    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string full = base + name;

        // The folder's own listing tells plain files and folders apart; links (and entries of
        // file systems that do not say) are looked at, following the link, so a link to a
        // folder is a folder and a link to a file a file.
        bool folder = entry->d_type == DT_DIR;
        bool file = entry->d_type == DT_REG;
        const bool wanted = HasExtension(name, LowerExts);
        if (full.size() >= PATH_MAX) {
            if (wanted || folder) Skip(Bounds, full, TSkipKind::Unreadable, ENAMETOOLONG);
            continue;
        }
        bool link = entry->d_type == DT_LNK;
        if (!folder && !file) {
            struct stat st {};
            if (stat(full.c_str(), &st) != 0) {
                const int error = errno;
                struct stat own {};
                if (error == ENOENT && lstat(full.c_str(), &own) == 0 && S_ISLNK(own.st_mode)) {
                    if (wanted) Skip(Bounds, full, TSkipKind::DanglingLink, error);
                } else if (wanted || error != ENOENT) {
                    Skip(Bounds, full, TSkipKind::Unreadable, error);
                }
                continue;
            }
            folder = S_ISDIR(st.st_mode);
            file = S_ISREG(st.st_mode);  // opening a pipe or device would hang or harm
            if (!link) {
                struct stat own {};
                link = lstat(full.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
            }
        }
        // A link that leads out of the folder searched is neither listed nor followed.
        if (link && !Bounds.Inside.empty() && (folder || (file && wanted))) {
            const std::string real = RealPath(full);
            if (real.empty() || (real + "/").compare(0, Bounds.Inside.size(), Bounds.Inside) != 0) {
                Skip(Bounds, full, TSkipKind::OutsideFolder, 0);
                continue;
            }
        }
        if (folder) {
            if (SubFolders) SearchOne(full, LowerExts, Found, SubFolders, Visited, Bounds);
            continue;
        }
        if (!file) continue;
        const std::string ext = AsciiLower(ExtractFileExt(name));
        for (std::size_t k = 0; k < LowerExts.size(); ++k)
            if (ext == LowerExts[k]) Found[k].push_back(full);
    }
}

std::vector<std::string> SearchFolders(const std::string& Folder, std::vector<std::string> Extensions, bool SubFolders,
                                       const TSearchBounds& Bounds = {})
{
    for (std::string& ext : Extensions) ext = AsciiLower(ext);
    std::vector<std::vector<std::string>> found(Extensions.size());
    std::set<TDirIdentity> visited;
    SearchOne(Folder, Extensions, found, SubFolders, visited, Bounds);
    std::vector<std::string> all;
    for (std::vector<std::string>& kind : found)
        for (std::string& path : kind) all.push_back(std::move(path));
    return all;
}

}  // namespace

std::string AsciiLower(std::string Text)
{
    for (char& c : Text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return Text;
}

std::string ExtractFileName(const std::string& Path)
{
    const auto slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& Path)
{
    const std::string name = ExtractFileName(Path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

void SearchFolder(const std::string& Folder, const std::string& Extension,
                  std::vector<std::string>& Found, bool SubFolders)
{
    for (std::string& path : SearchFolders(Folder, {Extension}, SubFolders)) Found.push_back(std::move(path));
}

namespace {

const TSiteExtension* SiteExtensionOf(const std::string& Path)
{
    const std::string ext = AsciiLower(ExtractFileExt(Path));
    for (const TSiteExtension& site : SiteExtensions)
        if (ext == site.Extension) return &site;
    return nullptr;
}

}  // namespace

TFileKind FileKindOf(const std::string& Path)
{
    const TSiteExtension* site = SiteExtensionOf(Path);
    return site ? site->Kind : TFileKind::Text;
}

bool IsPhotoPath(const std::string& Path)
{
    const TSiteExtension* site = SiteExtensionOf(Path);
    return site && site->Photo;
}

bool IsPicturePath(const std::string& Path) { return FileKindOf(Path) != TFileKind::Text; }

std::vector<std::string> SearchSiteFolder(const std::string& Folder, bool SubFolders,
                                          std::vector<TSkippedEntry>* Skipped, bool Photos)
{
    TSearchBounds bounds;
    bounds.Skipped = Skipped;
    bounds.Inside = RealPath(Folder);
    if (!bounds.Inside.empty() && bounds.Inside.back() != '/') bounds.Inside += '/';
    // One walk of the folders gives what a search per extension, in turn, would.
    std::vector<std::string> extensions;
    for (const TSiteExtension& site : SiteExtensions)
        if (Photos || !site.Photo) extensions.push_back(site.Extension);
    return SearchFolders(Folder, std::move(extensions), SubFolders, bounds);
}
