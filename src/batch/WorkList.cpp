#include "batch/WorkList.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

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

TWorkList::TLook TWorkList::Look(const std::string& Path)
{
    // The name itself is looked at first: for all but a link that is the file, in one call.
    TLook found;
    struct stat st {};
    found.Known = !Path.empty() && lstat(Path.c_str(), &st) == 0;
    if (found.Known && S_ISLNK(st.st_mode)) {
        found.Facts.Link = true;
        found.Known = stat(Path.c_str(), &st) == 0;
    }
    if (found.Known) {
        found.Device = static_cast<unsigned long long>(st.st_dev);
        found.Inode = static_cast<unsigned long long>(st.st_ino);
        found.Facts.Size = static_cast<std::int64_t>(st.st_size);
    }
    return found;
}

bool TWorkList::Record(const std::string& Path, const TLook& Found)
{
    if (Found.Known && !FFiles.insert({Found.Device, Found.Inode}).second) return false;
    FTexts.emplace(Path, Found.Facts);
    FPaths.push_back(Path);
    return true;
}

bool TWorkList::Add(const std::string& Path)
{
    if (FTexts.count(Path)) return false;
    return Record(Path, Look(Path));
}

void TWorkList::AddAll(const std::vector<std::string>& Paths, unsigned Threads)
{
    // Looks taken side by side, then the list made from them in order, as one Add after
    // another would make it.
    constexpr std::size_t PathsPerThread = 1024;
    const std::size_t threads = std::clamp<std::size_t>(Paths.size() / PathsPerThread, 1, std::max(1u, Threads));
    std::vector<TLook> looks(Paths.size());
    std::atomic<std::size_t> next{0};
    const auto lookAtSome = [&] {
        constexpr std::size_t Chunk = 64;
        for (std::size_t from = next.fetch_add(Chunk); from < Paths.size(); from = next.fetch_add(Chunk))
            for (std::size_t i = from; i < std::min(from + Chunk, Paths.size()); ++i) looks[i] = Look(Paths[i]);
    };
    std::vector<std::thread> helpers;
    for (std::size_t i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(lookAtSome);
        } catch (const std::system_error&) {
            break;  // fewer helpers: this thread looks at the rest
        }
    }
    lookAtSome();
    for (std::thread& t : helpers) t.join();
    FTexts.reserve(FTexts.size() + Paths.size());
    FPaths.reserve(FPaths.size() + Paths.size());
    for (std::size_t i = 0; i < Paths.size(); ++i)
        if (!FTexts.count(Paths[i])) Record(Paths[i], looks[i]);
}

TListedFacts TWorkList::Facts(const std::string& Path) const
{
    const auto found = FTexts.find(Path);
    return found == FTexts.end() ? TListedFacts{} : found->second;
}

std::vector<std::string> TWorkList::Sorted() const
{
    // WorkListLess with each path's letters folded once: the folded texts in byte order, then
    // the paths themselves.
    std::vector<std::pair<std::string, const std::string*>> keyed;
    keyed.reserve(FPaths.size());
    for (const std::string& path : FPaths) {
        std::string folded = path;
        for (char& c : folded) c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
        keyed.emplace_back(std::move(folded), &path);
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& A, const auto& B) {
        const int order = A.first.compare(B.first);
        return order != 0 ? order < 0 : *A.second < *B.second;
    });
    std::vector<std::string> paths;
    paths.reserve(keyed.size());
    for (const auto& [folded, path] : keyed) paths.push_back(*path);
    return paths;
}
