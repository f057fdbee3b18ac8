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

TWorkList::TWorkList() : FTexts(0, TPathHash{&FFiles}, TPathEqual{&FFiles}) {}

std::size_t TWorkList::TPathHash::operator()(std::string_view Path) const noexcept
{
    return std::hash<std::string_view>()(Path);
}

// Records Path, whose text is not listed yet, unless the file it names is.
bool TWorkList::Record(std::string Path, const TLook& Found)
{
    if (Found.Known && !FIdentities.insert({Found.Device, Found.Inode}).second) return false;
    FFiles.push_back({std::move(Path), Found.Facts});
    FTexts.insert(FFiles.size() - 1);
    return true;
}

bool TWorkList::Add(const std::string& Path)
{
    if (FTexts.contains(std::string_view(Path))) return false;
    return Record(Path, Look(Path));
}

void TWorkList::AddAll(std::vector<std::string> Paths, unsigned Threads)
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
    FFiles.reserve(FFiles.size() + Paths.size());
    FTexts.reserve(FTexts.size() + Paths.size());
    FIdentities.reserve(FIdentities.size() + Paths.size());
    for (std::size_t i = 0; i < Paths.size(); ++i)
        if (!FTexts.contains(std::string_view(Paths[i]))) Record(std::move(Paths[i]), looks[i]);
}

TListedFacts TWorkList::Facts(const std::string& Path) const
{
    const auto found = FTexts.find(std::string_view(Path));
    return found == FTexts.end() ? TListedFacts{} : FFiles[*found].Facts;
}

std::vector<std::size_t> TWorkList::SortedPlaces() const
{
    // WorkListLess with each path's letters folded once, into one text: the folded paths in
    // byte order, then the paths themselves.
    std::size_t length = 0;
    for (const TListedFile& file : FFiles) length += file.Path.size();
    std::string folded;
    folded.reserve(length);
    for (const TListedFile& file : FFiles)
        for (const char c : file.Path) folded.push_back(static_cast<char>(FoldCase(static_cast<unsigned char>(c))));
    std::vector<std::pair<std::string_view, std::size_t>> keyed;
    keyed.reserve(FFiles.size());
    for (std::size_t i = 0, at = 0; i < FFiles.size(); at += FFiles[i].Path.size(), ++i)
        keyed.emplace_back(std::string_view(folded).substr(at, FFiles[i].Path.size()), i);
    std::sort(keyed.begin(), keyed.end(), [this](const auto& A, const auto& B) {
        const int order = A.first.compare(B.first);
        return order != 0 ? order < 0 : FFiles[A.second].Path < FFiles[B.second].Path;
    });
    std::vector<std::size_t> places;
    places.reserve(keyed.size());
    for (const auto& [key, place] : keyed) places.push_back(place);
    return places;
}

std::vector<std::string> TWorkList::Sorted() const
{
    std::vector<std::string> paths;
    paths.reserve(FFiles.size());
    for (const std::size_t place : SortedPlaces()) paths.push_back(FFiles[place].Path);
    return paths;
}

std::vector<TListedFile> TWorkList::TakeSorted()
{
    const std::vector<std::size_t> places = SortedPlaces();
    FTexts.clear();
    FIdentities.clear();
    std::vector<TListedFile> files;
    files.reserve(places.size());
    for (const std::size_t place : places) files.push_back(std::move(FFiles[place]));
    FFiles.clear();
    return files;
}
