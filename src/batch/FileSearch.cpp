#include "batch/FileSearch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <utility>

namespace {

using TDirIdentity = std::pair<dev_t, ino_t>;

struct TDirCloser {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

void SearchOne(const std::string& Folder, const std::string& LowerExt,
               std::vector<std::string>& Found, bool SubFolders, std::set<TDirIdentity>& Visited)
{
    std::string base = Folder;
    if (base.empty()) return;
    if (base.back() != '/') base += '/';

    std::unique_ptr<DIR, TDirCloser> dir(opendir(base.c_str()));
    if (!dir) return;

    struct stat own {};
    if (fstat(dirfd(dir.get()), &own) == 0 && !Visited.insert({own.st_dev, own.st_ino}).second)
        return;  // already searched through another link

    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string full = base + name;

        // stat follows links, so a link to a folder is a folder and a link to a file a file.
        struct stat st {};
        if (stat(full.c_str(), &st) != 0) continue;  // dangling link or vanished entry
        if (S_ISDIR(st.st_mode)) {
            if (SubFolders) SearchOne(full, LowerExt, Found, SubFolders, Visited);
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;  // opening a pipe or device would hang or harm
        if (AsciiLower(ExtractFileExt(name)) == LowerExt) Found.push_back(full);
    }
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
    std::set<TDirIdentity> visited;
    SearchOne(Folder, AsciiLower(Extension), Found, SubFolders, visited);
}

std::vector<std::string> SearchSiteFolder(const std::string& Folder, bool SubFolders)
{
    std::vector<std::string> found;
    for (const char* ext : SiteExtensions) SearchFolder(Folder, ext, found, SubFolders);
    return found;
}
