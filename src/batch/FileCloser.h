#pragma once
// Closing the files a batch has replaced, on threads of their own. Once its new content is
// renamed over it, the old file lives on only while it is open; closing it frees its blocks.
// On a file system that discards freed blocks at once (ext4 mounted with "discard" and without
// a journal) that close waits for the disk, a millisecond or more for each file, while the
// disk takes many such requests side by side: closed one after the other they took 16 s for
// 6,000 small files on this program's test machine, four at a time under 2 s; with a few
// hundred waiting the batch itself seldom waits for them. Nothing on disk
// depends on when they are closed; the new contents are in place and flushed before.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TSourceFile;

class TFileCloser {
public:
    // How many files are closed at once, and how many may be given and not yet closed (each
    // holds a descriptor) before Close waits, unless told otherwise.
    static constexpr std::size_t DefaultThreads = 16;
    static constexpr std::size_t DefaultMostWaiting = 256;

    // The threads are started when the first files are given, not before: a batch begins
    // converting sooner, and starts them while it waits for its first group to be flushed.
    explicit TFileCloser(std::size_t Threads = DefaultThreads, std::size_t MostWaiting = DefaultMostWaiting);
    // Closes what is left, and waits for it.
    ~TFileCloser();
    TFileCloser(const TFileCloser&) = delete;
    TFileCloser& operator=(const TFileCloser&) = delete;

    // Closes File on one of the threads (at once, here, when none could be started). Waits
    // while many are waiting already, so that the batch never holds more than a few dozen files
    // open for this.
    void Close(std::unique_ptr<TSourceFile> File);
    // Closes Files the same way, waking the threads once for all of them rather than for each.
    void Close(std::vector<std::unique_ptr<TSourceFile>> Files);
    // Returns once every file given so far is closed.
    void Wait();

private:
    void Work();
    // Starts the threads, once; false when none runs. Called with FLock held.
    bool Started();

    std::mutex FLock;
    std::condition_variable FGiven;   // a file to close, or the end: wakes one thread
    std::condition_variable FClosed;  // a file closed: room to give more, or all done
    std::deque<std::unique_ptr<TSourceFile>> FWaiting;
    std::size_t FClosing = 0;  // taken by a thread and not yet closed
    std::size_t FThreadCount;
    std::size_t FMostWaiting;
    bool FStarted = false;
    bool FEnding = false;
    std::vector<std::thread> FThreads;
};
