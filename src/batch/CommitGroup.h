#pragma once
// Putting a group of converted files in place so that a crash or power cut at any moment leaves
// every file old or new and every backup whole, with a few flushes of each file system for the
// whole group instead of several for every file:
//   1. the new contents and backups, all written beside their files, are flushed at once;
//   2. each backup gets its name, and the names are flushed;
//   3. each file still the one that was read is replaced by its new content, and the renames
//      are flushed.
// Only then is a file converted: its log line comes after the last flush.

#include <exception>
#include <vector>

class TFileCloser;
struct TPreparedFile;

// Commits every file of Group; returns for each (in the same order) the error that made it fail,
// or null. A failed file is left as it was, and so is its folder; Group's files let go of their
// locks once done. With Closer, the files replaced are closed there (batch/FileCloser.h).
std::vector<std::exception_ptr> CommitGroup(const std::vector<TPreparedFile*>& Group,
                                            TFileCloser* Closer = nullptr);
