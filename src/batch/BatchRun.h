#pragma once
// The batch conversion without its window: the work list, the per-file converters for text,
// GIF and PNG files, and the conversion log. The batch window and the command-line tool drive
// it; the window runs it on a worker thread and is told of progress through TBatchObserver.

#include "colour/ConversionSettings.h"
#include "colour/ColourAdjuster.h"
#include "batch/FileSearch.h"
#include "batch/WorkList.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <exception>
#include <vector>

class TBitmap;
class TFileCloser;
class TFileConverter;
class TFolderLocks;
class TMemoryBudget;

// The number of cores (at least 1): how many files a batch converts at once unless told.
int DefaultBatchJobs();

// The most pixels a picture may have unless told: 100 million, 400 MB as the 32-bit pixels it
// is converted in (500 MB with alpha). That is more than any picture a web site shows (a
// 12000 x 8000 panorama is 96 million), and a handful of them fit the memory of a small
// machine side by side.
constexpr std::uint64_t DefaultMaxPixels = 100'000'000;

// What became of a file that converted.
struct TFileOutcome {
    bool BackupKept = false;  // its backup was there already and was kept as it was
    bool Unchanged = false;   // converting it changed nothing, so it was not written
};

// One row of the main window's file list.
struct TBatchItem {
    bool Checked = false;
    std::string FullPath;
};

// Everything the batch takes from the main window, copied when the batch is made.
struct TBatchInput {
    std::vector<TBatchItem> Items;  // file list in list order
    // What the folder searches that filled Items met and did not list, in the order met: each
    // is logged as a failure (once per path) before the files, and counted in the total.
    std::vector<TSkippedEntry> Skipped;
    TConversionSettings Settings;   // the six values
    bool Backup = true;             // cbxBackup
    bool GifTransparent = false;    // cbxGifTransparent
    // How many files may be converted at once; by default one per core. The log, the number
    // of progress steps and the files are the same whatever the number.
    int Jobs = DefaultBatchJobs();
    // Converts every file in memory and logs what would happen, writing nothing.
    bool DryRun = false;
    // A GIF or PNG whose header asks for more pixels is refused before it is decoded, and
    // logged as too large; at most 2^28.
    std::uint64_t MaxPixels = DefaultMaxPixels;
    // The bytes of decoded pictures the workers may hold at once: one whose picture would not
    // fit beside the others' waits for them (one larger than all of it runs alone). 0: half
    // of the memory the system has available when the batch is made.
    std::uint64_t MemoryBudget = 0;
    // Set (from any thread, or a signal handler) to stop the batch: the files in hand are
    // finished, no other is begun, and the log says how many were not reached.
    const std::atomic<bool>* StopRequested = nullptr;
};

// Called on the thread that runs the batch.
class TBatchObserver {
public:
    virtual ~TBatchObserver() = default;
    virtual void ProgressMaximum(int Maximum) = 0;
    virtual void ProgressStep() = 0;
    virtual void LogLine(const std::string& Line) = 0;  // UTF-8, one log line
    // The lines given so far are all there is for a while (a group of files is done, or the
    // batch): a log that holds lines back writes them out now.
    virtual void LogCaughtUp() {}
};

// An observer that wants nothing.
class TSilentObserver final : public TBatchObserver {
public:
    void ProgressMaximum(int) override {}
    void ProgressStep() override {}
    void LogLine(const std::string&) override {}
};

class TBatchRun {
public:
    // Builds the seven shared objects from the input's settings; the settings are frozen for
    // the life of the object. Does not start the batch.
    explicit TBatchRun(const TBatchInput& Input);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // Converts every checked file once, in work-list order, logging one line per file, then
    // the end line and the summary. A file's failure never stops the batch. With Jobs above
    // one, files are converted on worker threads, but the observer is called on this thread
    // only, with the log lines in the same order as one file at a time would give; the
    // progress then steps as each file is converted, which may be ahead of its log line.
    void ExecuteConversion(TBatchObserver& Observer);

    const std::vector<std::string>& Log() const { return FLog; }
    int Successes() const { return FSuccesses; }
    int Total() const { return FTotal; }
    // Checked files the batch did not reach because it was stopped.
    int NotReached() const { return FNotReached; }

    // The per-file converters; each raises the error that made the file fail.
    TFileOutcome ConvertText(const std::string& Path);
    TFileOutcome ConvertGif(const std::string& Path);
    TFileOutcome ConvertPng(const std::string& Path);
    // Converts every pixel of WorkBitmap in place.
    void ConvertBitmap();
    // One pixel's colour converted, with the transparency rule of the working bitmap.
    TRGBColor ConvertPixel(const TRGBColor& Color) const;

    // The working bitmap, for those who look at what the converters made of an image.
    TBitmap& WorkBitmapRef();

private:
    struct TFileResult;

    void AppendLog(const std::string& Line);
    // Logs a file's result; Step: whether its success also steps the progress.
    void EmitResult(const std::string& Path, const TFileResult& Result, bool Step);
    bool StopRequested() const { return FInput.StopRequested && FInput.StopRequested->load(); }
    // Locks the folders the batch writes in, in list order; a file whose folder another batch
    // holds is failed. Leftovers of interrupted runs are removed from the folders locked.
    std::vector<std::exception_ptr> LockFolders(const std::vector<std::string>& Paths);
    void RunInTurn(const std::vector<std::string>& Paths);
    void RunAtOnce(const std::vector<std::string>& Paths, int Jobs);

    TBatchInput FInput;
    TBatchObserver* FObserver = nullptr;
    std::vector<std::string> FLog;
    int FSuccesses = 0;
    int FTotal = 0;
    int FNotReached = 0;

    // The seven shared objects and the converters over them; more sets are made for the
    // workers of a batch that converts several files at once.
    std::unique_ptr<TMemoryBudget> FBudget;
    std::unique_ptr<TFileConverter> FConverter;
    std::unique_ptr<TFolderLocks> FFolderLocks;
    std::unique_ptr<TFileCloser> FCloser;  // of the files replaced, while the batch runs
    std::vector<std::exception_ptr> FRefused;  // per file of the run: why it is not begun
    std::vector<TListedFacts> FFacts;          // per file of the run: what the work list learnt
};
