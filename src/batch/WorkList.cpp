#include "batch/WorkList.h"

#include <sys/stat.h>

#include <algorithm>

namespace {

unsigned char FoldCase(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

}  // namespace

bool WorkListLess(const std::string& A, const std::string& B)
{
    const std::size_t n = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char a = FoldCase(static_cast<unsigned char>(A[i]));
        const unsigned char b = FoldCase(static_cast<unsigned char>(B[i]));
        if (a != b) return a < b;
    }
    if (A.size() != B.size()) return A.size() < B.size();
    return A < B;
}

bool TWorkList::Add(const std::string& Path)
{
    if (FTexts.count(Path)) return false;
    // The name itself is looked at first: for all but a link that is the file, in one call.
    TListedFacts facts;
    struct stat st {};
    bool known = !Path.empty() && lstat(Path.c_str(), &st) == 0;
    if (known && S_ISLNK(st.st_mode)) {
        facts.Link = true;
        known = stat(Path.c_str(), &st) == 0;
    }
    if (known) {
        if (!FFiles.insert({static_cast<unsigned long long>(st.st_dev),
                            static_cast<unsigned long long>(st.st_ino)})
                 .second)
            return false;
        facts.Size = static_cast<std::int64_t>(st.st_size);
    }
    FTexts.emplace(Path, facts);
    FPaths.push_back(Path);
    return true;
}

TListedFacts TWorkList::Facts(const std::string& Path) const
{
    const auto found = FTexts.find(Path);
    return found == FTexts.end() ? TListedFacts{} : found->second;
}

std::vector<std::string> TWorkList::Sorted() const
{
    std::vector<std::string> paths = FPaths;
    std::sort(paths.begin(), paths.end(), WorkListLess);
    return paths;
}
