#include "batch/BatchRun.h"

#include "batch/BatchLog.h"
#include "batch/FileConverter.h"
#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "batch/WorkList.h"
#include "base/FolderLocks.h"
#include "base/Exceptions.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>

// What converting one file gave: the lines that stand before its own (the "add" note), and
// its error when it failed.
struct TBatchRun::TFileResult {
    std::vector<std::string> Notes;
    std::exception_ptr Error;
    TFileOutcome Outcome;
    bool Done = false;
    bool Reached = true;  // false for a file a stopped batch did not begin
};

namespace {

// Converts Path with Converter unless it was refused before the batch began; never raises.
void ConvertOne(TFileConverter& Converter, const std::string& Path, const std::exception_ptr& Refused,
                std::vector<std::string>& Notes, std::exception_ptr& Error, TFileOutcome& Outcome)
{
    if (Refused) {
        Error = Refused;
        return;
    }
    try {
        Outcome = Converter.ConvertFile(Path, [&](const std::string& Line) { Notes.push_back(Line); });
    } catch (...) {
        Error = std::current_exception();
    }
}

// The folder a file is replaced in: that of the file a link leads to.
std::string TargetFolder(const std::string& Path)
{
    struct stat st {};
    if (lstat(Path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(Path.c_str(), nullptr)) {
            const std::string folder = FolderOf(real);
            std::free(real);
            return folder;
        }
    }
    return FolderOf(Path);
}

// Whether converting one listed file could change another listed file: a file's backup copy
// is written under its name + ".bak", which may itself be in the list.
bool FilesDependOnEachOther(const std::vector<std::string>& Paths)
{
    const std::unordered_set<std::string> listed(Paths.begin(), Paths.end());
    for (const std::string& p : Paths)
        if (listed.count(BackupName(p))) return true;
    return false;
}

// The order in which workers take the files: the largest first, so that a big image started
// last does not leave the other workers idle at the end of the batch. Files of equal size (and
// those that cannot be looked at, which fail at once) keep their list order.
std::vector<std::size_t> LargestFirst(const std::vector<std::string>& Paths)
{
    std::vector<std::pair<std::int64_t, std::size_t>> sized(Paths.size());
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        struct stat st {};
        const std::int64_t size = stat(Paths[i].c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
        sized[i] = {size, i};
    }
    std::stable_sort(sized.begin(), sized.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::size_t> order(Paths.size());
    for (std::size_t i = 0; i < sized.size(); ++i) order[i] = sized[i].second;
    return order;
}

}  // namespace

int DefaultBatchJobs()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 4096u));
}

TBatchRun::TBatchRun(const TBatchInput& Input)
    : FInput(Input),
      FConverter(std::make_unique<TFileConverter>(FInput.Settings, FInput.Backup, FInput.GifTransparent, FInput.DryRun))
{
}

TBatchRun::~TBatchRun() = default;

TFileOutcome TBatchRun::ConvertText(const std::string& Path) { return FConverter->ConvertText(Path); }
TFileOutcome TBatchRun::ConvertGif(const std::string& Path) { return FConverter->ConvertGif(Path); }
TFileOutcome TBatchRun::ConvertPng(const std::string& Path)
{
    return FConverter->ConvertPng(Path, [this](const std::string& Line) { AppendLog(Line); });
}
void TBatchRun::ConvertBitmap() { FConverter->ConvertBitmap(); }
TRGBColor TBatchRun::ConvertPixel(const TRGBColor& Color) const { return FConverter->ConvertPixel(Color); }
TBitmap& TBatchRun::WorkBitmapRef() { return FConverter->WorkBitmapRef(); }

void TBatchRun::AppendLog(const std::string& Line)
{
    FLog.push_back(Line);
    if (FObserver) FObserver->LogLine(Line);
}

void TBatchRun::EmitResult(const std::string& Path, const TFileResult& Result, bool Step)
{
    if (!Result.Reached) {
        ++FNotReached;
        return;
    }
    for (const std::string& note : Result.Notes) AppendLog(note);
    if (Result.Error) {
        std::string line = FailureLine(Path, Result.Error);
        if (FInput.DryRun) line.replace(0, BatchLog::FailureHead.size(), BatchLog::WouldFailHead);
        AppendLog(line);
        return;
    }
    std::string line = SuccessLine(Path);
    if (FInput.DryRun) line.replace(0, BatchLog::SuccessHead.size(), BatchLog::WouldConvertHead);
    if (Result.Outcome.Unchanged) line += BatchLog::UnchangedTail;
    if (Result.Outcome.BackupKept) line += BatchLog::BackupKeptTail;
    AppendLog(line);
    ++FSuccesses;
    if (Step) FObserver->ProgressStep();
}

std::vector<std::exception_ptr> TBatchRun::LockFolders(const std::vector<std::string>& Paths)
{
    FFolderLocks = std::make_unique<TFolderLocks>();
    std::vector<std::exception_ptr> refused(Paths.size());
    std::vector<std::string> removed;
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        // The backup is written beside the file as named, the new content beside the file a
        // link leads to.
        for (const std::string& folder : {FolderOf(Paths[i]), TargetFolder(Paths[i])}) {
            const TFolderLocks::TResult result = FFolderLocks->Acquire(folder);
            if (result == TFolderLocks::TResult::Busy) {
                refused[i] = std::make_exception_ptr(
                    EFileLocked("Cannot convert file \"" + Paths[i] + "\". Another batch is converting its folder"));
            } else if (result == TFolderLocks::TResult::Taken && !FInput.DryRun) {
                // Nobody else converts here now, so a temporary file of this program's is a leftover.
                for (std::string& path : RemoveLeftoverTemporaryFiles(folder)) removed.push_back(std::move(path));
            }
        }
    }
    for (const std::string& path : removed)
        AppendLog(std::string(BatchLog::RemovedHead) + LinePrefix(path) + std::string(BatchLog::LeftoverTail));
    return refused;
}

void TBatchRun::ExecuteConversion(TBatchObserver& Observer)
{
    FObserver = &Observer;
    FLog.clear();
    FSuccesses = 0;

    TWorkList workList;
    for (const TBatchItem& item : FInput.Items)
        if (item.Checked) workList.Add(item.FullPath);
    const std::vector<std::string> paths = workList.Sorted();
    FTotal = static_cast<int>(paths.size());
    Observer.ProgressMaximum(FTotal);

    FNotReached = 0;
    FRefused = LockFolders(paths);

    int jobs = std::min(FInput.Jobs, FTotal);
    if (jobs > 1 && FilesDependOnEachOther(paths)) jobs = 1;
    if (jobs > 1)
        RunAtOnce(paths, jobs);
    else
        RunInTurn(paths);

    if (FNotReached > 0)
        AppendLog(std::string(BatchLog::StoppedHead) + std::to_string(FNotReached) + std::string(BatchLog::StoppedTail));
    AppendLog(std::string(BatchLog::EndLine));
    if (FInput.DryRun)
        AppendLog(std::to_string(FSuccesses) + "/" + std::to_string(FTotal) + std::string(BatchLog::DryRunSummaryTail));
    else
        AppendLog(SummaryLine(FSuccesses, FTotal));
    FFolderLocks.reset();
    FObserver = nullptr;
}

void TBatchRun::RunInTurn(const std::vector<std::string>& Paths)
{
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        TFileResult result;
        if (StopRequested())
            result.Reached = false;
        else
            ConvertOne(*FConverter, Paths[i], FRefused[i], result.Notes, result.Error, result.Outcome);
        EmitResult(Paths[i], result, true);
    }
}

void TBatchRun::RunAtOnce(const std::vector<std::string>& Paths, int Jobs)
{
    // Every worker has its own set of conversion objects; the first is the batch's own.
    std::vector<std::unique_ptr<TFileConverter>> extra;
    for (int i = 1; i < Jobs; ++i)
        extra.push_back(
            std::make_unique<TFileConverter>(FInput.Settings, FInput.Backup, FInput.GifTransparent, FInput.DryRun));

    const std::vector<std::size_t> order = LargestFirst(Paths);
    std::vector<TFileResult> results(Paths.size());
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable finished;
    std::size_t converted = 0;  // files converted without error so far, in any order

    const auto work = [&](TFileConverter& Converter) {
        for (std::size_t k; (k = next.fetch_add(1)) < Paths.size();) {
            const std::size_t i = order[k];
            TFileResult result;
            // Once stopped, the files left are withdrawn one by one, so every place in the
            // list still gets its result.
            if (StopRequested())
                result.Reached = false;
            else
                ConvertOne(Converter, Paths[i], FRefused[i], result.Notes, result.Error, result.Outcome);
            result.Done = true;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (result.Reached && !result.Error) ++converted;
                results[i] = std::move(result);
            }
            finished.notify_all();
        }
    };

    std::vector<std::thread> workers;
    // Whatever happens here, no worker outlives this call: the rest of the list is withdrawn
    // and every thread joined.
    struct TJoin {
        std::vector<std::thread>& Threads;
        std::atomic<std::size_t>& Next;
        std::size_t End;
        ~TJoin()
        {
            Next.store(End);
            for (std::thread& t : Threads)
                if (t.joinable()) t.join();
        }
    } join{workers, next, Paths.size()};
    try {
        workers.emplace_back(work, std::ref(*FConverter));
        for (auto& converter : extra) workers.emplace_back(work, std::ref(*converter));
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those that started take every file between them.
        if (workers.empty()) {
            RunInTurn(Paths);
            return;
        }
    }

    // The log is written here, file by file in list order, as results come in. The progress
    // steps once for every file converted as soon as it is, whatever its place in the list, so
    // that a big file early in the list does not hold the bar while the others get done.
    std::size_t stepped = 0;
    for (std::size_t i = 0; i < Paths.size();) {
        std::vector<TFileResult> ready;
        std::size_t steps = 0;
        {
            std::unique_lock<std::mutex> guard(lock);
            finished.wait(guard, [&] { return results[i].Done || converted > stepped; });
            steps = converted - stepped;
            for (std::size_t j = i; j < Paths.size() && results[j].Done; ++j) ready.push_back(std::move(results[j]));
        }
        for (; steps > 0; --steps, ++stepped) FObserver->ProgressStep();
        for (const TFileResult& result : ready) {
            EmitResult(Paths[i], result, false);
            ++i;
        }
    }
}
