#pragma once
// The batch's list of files: every path once, in ascending order without regard to letter
// case.

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <cstdint>
#include <unordered_map>

// What the list learnt of a file while adding it, for those that use the list after it.
struct TListedFacts {
    bool Link = false;       // the path is a symbolic link (to the file listed)
    std::int64_t Size = 0;   // bytes of the file, 0 when it could not be looked at
};

class TWorkList {
public:
    // Adds Path unless it names a file already listed: the same text, or the same file (device
    // and inode) reached by another name. "A.html" and "a.html" are two files on a file system
    // that tells case apart, and both stay. Returns whether the path was added.
    bool Add(const std::string& Path);
    // Adds every path of Paths in turn, as Add would, with the files looked at on up to Threads
    // threads at once beforehand (a long list costs a look at each file before a batch begins).
    void AddAll(const std::vector<std::string>& Paths, unsigned Threads);

    // The paths in ascending order, comparing ASCII letters without regard to case; paths that
    // differ only in case follow each other in byte order.
    std::vector<std::string> Sorted() const;

    std::size_t Count() const { return FPaths.size(); }

    // What was learnt of a listed path (all false and 0 for one not listed).
    TListedFacts Facts(const std::string& Path) const;

private:
    // What a look at a path found: whether it is a file reached, and which.
    struct TLook {
        bool Known = false;
        TListedFacts Facts;
        unsigned long long Device = 0, Inode = 0;
    };
    static TLook Look(const std::string& Path);
    bool Record(const std::string& Path, const TLook& Found);

    std::vector<std::string> FPaths;
    std::unordered_map<std::string, TListedFacts> FTexts;
    std::set<std::pair<unsigned long long, unsigned long long>> FFiles;  // device, inode
};

// Less-than for the work list's order.
bool WorkListLess(const std::string& A, const std::string& B);
