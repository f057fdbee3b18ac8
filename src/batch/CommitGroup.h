#pragma once
// Putting a group of converted files in place so that a crash or power cut at any moment leaves
// every file old or new and every backup whole, with a few flushes of each file system for the
// whole group instead of several for every file:
//   1. the new contents and backups, all written beside their files, are flushed at once (a
//      backup that is the file read under a second name has no bytes of its own: it is named
//      before this flush, usually as soon as its file is prepared);
//   2. each backup copy gets its name, and the names are flushed;
//   3. each file still the one that was read is replaced by its new content, and the renames
//      are flushed.
// Only then is a file converted: its log line comes after the last flush.
//
// Groups that follow each other closely share a flush: the one that makes a group's renames
// last (3) is the one that makes the next group's contents and backups last (1), so a batch
// flushes each file system about once per group rather than twice.

#include <exception>
#include <memory>
#include <vector>

class TFileCloser;
struct TPreparedFile;

// Puts groups of prepared files in place one after another. A group begun is renamed into place
// but not yet known to last; it is done when the next group is begun (the flush before that
// group's renames covers it) or when Finish is called, whichever comes first.
class TGroupCommitter {
public:
    // A group now in place for good: its files, and for each (in the same order) the error that
    // made it fail, or null. A failed file is left as it was, and so is its folder.
    struct TDone {
        std::vector<TPreparedFile*> Files;
        std::vector<std::exception_ptr> Errors;
    };

    // With Closer, the files replaced are closed there (batch/FileCloser.h).
    explicit TGroupCommitter(TFileCloser* Closer = nullptr);
    // Finishes the group in hand, so that no backup of a replaced file is ever dropped.
    ~TGroupCommitter();
    TGroupCommitter(const TGroupCommitter&) = delete;
    TGroupCommitter& operator=(const TGroupCommitter&) = delete;

    // Flushes Group's new contents and backups together with the renames of the group in hand,
    // which is then done and returned; names Group's backup copies and replaces its files.
    // Group's files (which must live until Group is done) keep their locks until then.
    TDone Begin(const std::vector<TPreparedFile*>& Group);
    // Flushes the renames of the group in hand and returns it (empty when there is none).
    TDone Finish();
    // Whether a group has been begun and is not done.
    bool Busy() const { return !FInHand.Files.empty(); }

private:
    // Hands over the group in hand after the flush that makes its renames last, its renamed
    // files reported as failed when that flush failed (FlushError).
    TDone Conclude(std::exception_ptr FlushError);

    struct TRenamed;  // the file systems the group in hand was renamed on

    TFileCloser* FCloser;
    std::unique_ptr<TRenamed> FRenamed;
    TDone FInHand;
    std::vector<char> FReplaced;  // per file in hand: renamed (or written) into place
};

// Commits every file of Group at once (begun and finished); returns for each (in the same
// order) the error that made it fail, or null.
std::vector<std::exception_ptr> CommitGroup(const std::vector<TPreparedFile*>& Group,
                                            TFileCloser* Closer = nullptr);
