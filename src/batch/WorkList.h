#pragma once
// The batch's list of files: every path once, in ascending order without regard to letter
// case.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

// What the list learnt of a file while adding it, for those that use the list after it.
struct TListedFacts {
    bool Link = false;       // the path is a symbolic link (to the file listed)
    std::int64_t Size = 0;   // bytes of the file, 0 when it could not be looked at
};

// A listed path with what was learnt of it.
struct TListedFile {
    std::string Path;
    TListedFacts Facts;
};

class TWorkList {
public:
    TWorkList();
    // The sets of listed texts find them through the list itself.
    TWorkList(const TWorkList&) = delete;
    TWorkList& operator=(const TWorkList&) = delete;

    // Adds Path unless it names a file already listed: the same text, or the same file (device
    // and inode) reached by another name. "A.html" and "a.html" are two files on a file system
    // that tells case apart, and both stay. Returns whether the path was added.
    bool Add(const std::string& Path);
    // Adds every path of Paths in turn, as Add would, with the files looked at on up to Threads
    // threads at once beforehand (a long list costs a look at each file before a batch begins).
    void AddAll(std::vector<std::string> Paths, unsigned Threads);

    // The paths in ascending order, comparing ASCII letters without regard to case; paths that
    // differ only in case follow each other in byte order.
    std::vector<std::string> Sorted() const;
    // The files in the order of Sorted, each with its facts, taken out of the list (which is
    // empty afterwards).
    std::vector<TListedFile> TakeSorted();

    std::size_t Count() const { return FFiles.size(); }

    // What was learnt of a listed path (all false and 0 for one not listed).
    TListedFacts Facts(const std::string& Path) const;

private:
    // What a look at a path found: whether it is a file reached, and which.
    struct TLook {
        bool Known = false;
        TListedFacts Facts;
        unsigned long long Device = 0, Inode = 0;
    };
    // The listed texts are places in FFiles, hashed and compared by their paths, and found by
    // a text without a copy of it.
    struct TPathHash {
        using is_transparent = void;
        const std::vector<TListedFile>* Files;
        std::size_t operator()(std::string_view Path) const noexcept;
        std::size_t operator()(std::size_t Place) const noexcept { return (*this)((*Files)[Place].Path); }
    };
    struct TPathEqual {
        using is_transparent = void;
        const std::vector<TListedFile>* Files;
        std::string_view PathOf(std::string_view Path) const noexcept { return Path; }
        std::string_view PathOf(std::size_t Place) const noexcept { return (*Files)[Place].Path; }
        template <class A, class B>
        bool operator()(const A& Left, const B& Right) const noexcept { return PathOf(Left) == PathOf(Right); }
    };
    struct TIdentityHash {
        std::size_t operator()(const std::pair<unsigned long long, unsigned long long>& File) const noexcept
        {
            return std::hash<unsigned long long>()(File.second * 0x9E3779B97F4A7C15ull ^ File.first);
        }
    };

    static TLook Look(const std::string& Path);
    bool Record(std::string Path, const TLook& Found);
    // The places of FFiles in the order of Sorted.
    std::vector<std::size_t> SortedPlaces() const;

    std::vector<TListedFile> FFiles;
    std::unordered_set<std::size_t, TPathHash, TPathEqual> FTexts;
    std::unordered_set<std::pair<unsigned long long, unsigned long long>, TIdentityHash> FIdentities;  // device, inode
};

// Less-than for the work list's order.
bool WorkListLess(const std::string& A, const std::string& B);
