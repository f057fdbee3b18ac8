#include "batch/BatchRun.h"

#include "batch/BatchLog.h"
#include "batch/FileConverter.h"
#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "batch/WorkList.h"

#include <sys/stat.h>

#include <algorithm>
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
    bool Done = false;
};

namespace {

// Converts Path with Converter; never raises.
void ConvertOne(TFileConverter& Converter, const std::string& Path, std::vector<std::string>& Notes,
                std::exception_ptr& Error)
{
    try {
        Converter.ConvertFile(Path, [&](const std::string& Line) { Notes.push_back(Line); });
    } catch (...) {
        Error = std::current_exception();
    }
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
      FConverter(std::make_unique<TFileConverter>(FInput.Settings, FInput.Backup, FInput.GifTransparent))
{
}

TBatchRun::~TBatchRun() = default;

void TBatchRun::ConvertText(const std::string& Path) { FConverter->ConvertText(Path); }
void TBatchRun::ConvertGif(const std::string& Path) { FConverter->ConvertGif(Path); }
void TBatchRun::ConvertPng(const std::string& Path)
{
    FConverter->ConvertPng(Path, [this](const std::string& Line) { AppendLog(Line); });
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
    for (const std::string& note : Result.Notes) AppendLog(note);
    if (Result.Error) {
        AppendLog(FailureLine(Path, Result.Error));
        return;
    }
    AppendLog(SuccessLine(Path));
    ++FSuccesses;
    if (Step) FObserver->ProgressStep();
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

    int jobs = std::min(FInput.Jobs, FTotal);
    if (jobs > 1 && FilesDependOnEachOther(paths)) jobs = 1;
    if (jobs > 1)
        RunAtOnce(paths, jobs);
    else
        RunInTurn(paths);

    AppendLog(std::string(BatchLog::EndLine));
    AppendLog(SummaryLine(FSuccesses, FTotal));
    FObserver = nullptr;
}

void TBatchRun::RunInTurn(const std::vector<std::string>& Paths)
{
    for (const std::string& path : Paths) {
        TFileResult result;
        ConvertOne(*FConverter, path, result.Notes, result.Error);
        EmitResult(path, result, true);
    }
}

void TBatchRun::RunAtOnce(const std::vector<std::string>& Paths, int Jobs)
{
    // Every worker has its own set of conversion objects; the first is the batch's own.
    std::vector<std::unique_ptr<TFileConverter>> extra;
    for (int i = 1; i < Jobs; ++i)
        extra.push_back(std::make_unique<TFileConverter>(FInput.Settings, FInput.Backup, FInput.GifTransparent));

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
            ConvertOne(Converter, Paths[i], result.Notes, result.Error);
            result.Done = true;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (!result.Error) ++converted;
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
