#include "batch/BatchRun.h"

#include "batch/BatchLog.h"
#include "batch/FileConverter.h"
#include "batch/MemoryBudget.h"
#include "base/SafeFile.h"
#include "batch/Backup.h"
#include "batch/WorkList.h"
#include "batch/CommitGroup.h"
#include "batch/FileCloser.h"
#include "base/FolderLocks.h"
#include "base/OpenFileLimit.h"
#include "base/Exceptions.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <map>
#include <set>
#include <string_view>
#include <unordered_set>

// What converting one file gave: the lines that stand before its own (the "add" note), and
// its error when it failed.
struct TBatchRun::TFileResult {
    std::vector<std::string> Notes;
    std::exception_ptr Error;
    TPreparedFile Prepared;
    bool Done = false;    // prepared (or failed, or not reached)
    bool Reached = true;  // false for a file a stopped batch did not begin
};

namespace {

// Converts Path with Converter, ready to be put in place, unless it was refused before the
// batch began; never raises.
void PrepareOne(TFileConverter& Converter, const std::string& Path, const std::exception_ptr& Refused,
                std::vector<std::string>& Notes, std::exception_ptr& Error, TPreparedFile& Prepared)
{
    if (Refused) {
        Error = Refused;
        return;
    }
    try {
        Prepared = Converter.PrepareFile(Path, [&](const std::string& Line) { Notes.push_back(Line); });
    } catch (...) {
        Error = std::current_exception();
    }
}

// How big a group of files put in place together grows: a kill loses at most one group's work
// (never a file), and the log advances at least this often. Each group costs two flushes of
// the file system, which a disk makes wait for all it has in hand: of small pages a group
// holds what a few tenths of a second prepare.
constexpr std::size_t GroupFiles = 1024;
constexpr std::size_t GroupBytes = 64u << 20;
constexpr std::chrono::milliseconds GroupAge{250};

// A worker wakes the thread that puts files in place once this many files are prepared, or
// this long after it last did (so the progress of small files steps smoothly); that thread
// looks on its own at the same interval.
constexpr std::size_t WakeAfterFiles = 16;
constexpr std::chrono::milliseconds WakeAfterTime{20};

// Open descriptors a prepared file may hold while it waits for its group (the file read and
// locked, its new content, a backup copy), and those kept aside for everything else the batch
// opens meanwhile (the folder flushes, the log, the libraries); the replaced files waiting to be
// closed are counted apart.
constexpr std::size_t DescriptorsPerPreparedFile = 3;
constexpr std::size_t DescriptorsKeptAside = 96;

// Replaced files waiting for the closer threads: a quarter of the open files the process has to
// spare besides its folder locks, at most the closer's own default (more gained nothing
// measurable).
std::size_t FilesWaitingToClose(std::size_t FolderLocks)
{
    const std::size_t limit = OpenFileLimit();
    const std::size_t used = FolderLocks + DescriptorsKeptAside;
    return std::clamp<std::size_t>(limit > used ? (limit - used) / 4 : 0, 1, TFileCloser::DefaultMostWaiting);
}

// How many prepared files may wait at once: three groups (one in hand, renamed and waiting for
// the flush the next one brings, one gathering, one being prepared), within the open files the
// process has to spare besides its folder locks and the files waiting to be closed, and at
// least one for each worker.
std::size_t FilesToHoldOpen(std::size_t FolderLocks, std::size_t Workers)
{
    const std::size_t limit = OpenFileLimit();
    const std::size_t used = FolderLocks + DescriptorsKeptAside + FilesWaitingToClose(FolderLocks);
    const std::size_t spare = limit > used ? (limit - used) / DescriptorsPerPreparedFile : 0;
    return std::clamp<std::size_t>(spare, Workers, 3 * GroupFiles);
}

// The files of a batch gathered into groups and put in place (batch/CommitGroup.h), with the
// list places of the group gathering and of the group in hand.
class TGroup {
public:
    // A group is also full at MaxFiles, so that files waiting never hold more descriptors than
    // the process has to spare.
    explicit TGroup(std::size_t MaxFiles, TFileCloser* Closer)
        : FMaxFiles(std::clamp<std::size_t>(MaxFiles, 1, GroupFiles)), FCommitter(Closer)
    {
    }
    void Add(std::size_t Index, const TPreparedFile& File)
    {
        if (FIndices.empty()) FStarted = std::chrono::steady_clock::now();
        FIndices.push_back(Index);
        FBytes += File.WrittenBytes;
    }
    bool Empty() const { return FIndices.empty(); }
    std::size_t Count() const { return FIndices.size(); }
    bool Full() const
    {
        return FIndices.size() >= FMaxFiles || FBytes >= GroupBytes ||
               (!FIndices.empty() && std::chrono::steady_clock::now() - FStarted >= GroupAge);
    }
    std::chrono::steady_clock::time_point Deadline() const { return FStarted + GroupAge; }
    // Whether a group is renamed into place and waits for the flush that makes it last, and
    // until when it waits for the next group to bring that flush.
    bool InHand() const { return !FInHand.empty(); }
    std::size_t InHandCount() const { return FInHand.size(); }
    std::chrono::steady_clock::time_point InHandDeadline() const { return FBegun + GroupAge; }

    // Puts the gathered files in place (those prepared without error, each failing on its
    // own) after the flush that also makes the group in hand last; returns the list places of
    // the group in hand, now done, their errors recorded.
    template <class TResults>
    std::vector<std::size_t> Begin(TResults& Results)
    {
        std::vector<TPreparedFile*> files;
        std::vector<std::size_t> which;
        for (std::size_t i : FIndices)
            if (Results[i].Reached && !Results[i].Error) {
                files.push_back(&Results[i].Prepared);
                which.push_back(i);
            }
        const TGroupCommitter::TDone done = FCommitter.Begin(files);
        std::vector<std::size_t> places = Record(Results, done);
        FInHand = std::exchange(FIndices, {});
        FInHandWhich = std::move(which);
        FBytes = 0;
        FBegun = std::chrono::steady_clock::now();
        return places;
    }
    // Makes the group in hand last on its own; returns its list places.
    template <class TResults>
    std::vector<std::size_t> Finish(TResults& Results)
    {
        return Record(Results, FCommitter.Finish());
    }

private:
    template <class TResults>
    std::vector<std::size_t> Record(TResults& Results, const TGroupCommitter::TDone& Done)
    {
        for (std::size_t k = 0; k < Done.Errors.size(); ++k)
            if (Done.Errors[k]) Results[FInHandWhich[k]].Error = Done.Errors[k];
        FInHandWhich.clear();
        return std::exchange(FInHand, {});
    }

    std::size_t FMaxFiles;
    std::vector<std::size_t> FIndices;
    std::size_t FBytes = 0;
    std::chrono::steady_clock::time_point FStarted;
    TGroupCommitter FCommitter;
    std::vector<std::size_t> FInHand;       // list places of the group in hand
    std::vector<std::size_t> FInHandWhich;  // those of its files given to the committer
    std::chrono::steady_clock::time_point FBegun;
};

// The folder a link's file is replaced in: that of the file it leads to (the link's own when
// it leads nowhere).
std::string LinkedFileFolder(const std::string& Link)
{
    if (char* real = realpath(Link.c_str(), nullptr)) {
        const std::string folder = FolderOf(real);
        std::free(real);
        return folder;
    }
    return FolderOf(Link);
}

// Whether converting one listed file could change another listed file: a file's backup copy
// is written under its name + ".bak", which may itself be in the list.
bool FilesDependOnEachOther(const std::vector<std::string>& Paths)
{
    // A backup's name is its file's with a suffix: a listed path with that suffix whose rest is
    // listed too.
    const std::string suffix = BackupName("");
    const std::unordered_set<std::string_view> listed(Paths.begin(), Paths.end());
    for (const std::string_view p : Paths)
        if (p.ends_with(suffix) && listed.count(p.substr(0, p.size() - suffix.size()))) return true;
    return false;
}

// The order in which workers take the files: the largest first, so that a big image started
// last does not leave the other workers idle at the end of the batch. Files of equal size (and
// those that cannot be looked at, which fail at once) keep their list order.
std::vector<std::size_t> LargestFirst(const std::vector<TListedFacts>& Files)
{
    std::vector<std::pair<std::int64_t, std::size_t>> sized(Files.size());
    for (std::size_t i = 0; i < Files.size(); ++i) sized[i] = {Files[i].Size, i};
    std::stable_sort(sized.begin(), sized.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::size_t> order(Files.size());
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
      FBudget(std::make_unique<TMemoryBudget>(FInput.MemoryBudget ? FInput.MemoryBudget : DefaultMemoryBudget())),
      FConverter(std::make_unique<TFileConverter>(FInput.Settings, FInput.Backup, FInput.GifTransparent, FInput.DryRun,
                                                  TPictureLimits{FInput.MaxPixels, FBudget.get()}))
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
        if (FInput.DryRun) line.replace(0, BatchLog::FailureHead.Get().size(), BatchLog::WouldFailHead);
        AppendLog(line);
        return;
    }
    std::string line = SuccessLine(Path);
    if (FInput.DryRun) line.replace(0, BatchLog::SuccessHead.Get().size(), BatchLog::WouldConvertHead);
    if (Result.Prepared.Outcome.Unchanged) line += BatchLog::UnchangedTail;
    if (Result.Prepared.Outcome.BackupKept) line += BatchLog::BackupKeptTail;
    AppendLog(line);
    ++FSuccesses;
    if (Step) FObserver->ProgressStep();
}

std::vector<std::exception_ptr> TBatchRun::LockFolders(const std::vector<std::string>& Paths)
{
    FFolderLocks = std::make_unique<TFolderLocks>();
    std::vector<std::exception_ptr> refused(Paths.size());
    std::vector<std::string> removed;
    std::map<std::string, TFolderLocks::TResult, std::less<>> folders;  // each folder asked once
    // Files of one folder follow each other in the list: the last folder's answer is kept at hand.
    std::string_view last;
    TFolderLocks::TResult lastResult = TFolderLocks::TResult::AlreadyHeld;
    const auto answerFor = [&](std::string_view Folder) {
        if (!last.empty() && Folder == last) return lastResult;
        auto known = folders.find(Folder);
        if (known == folders.end()) {
            const std::string folder(Folder);
            known = folders.emplace(folder, FFolderLocks->Acquire(folder)).first;
            // Nobody else converts here now, so a temporary file of this program's is a leftover.
            if (known->second == TFolderLocks::TResult::Taken && !FInput.DryRun)
                for (std::string& path : RemoveLeftoverTemporaryFiles(folder)) removed.push_back(std::move(path));
        }
        last = known->first;
        lastResult = known->second;
        return lastResult;
    };
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        // The backup is written beside the file as named, the new content beside the file a
        // link leads to.
        const std::string_view folder = FolderViewOf(Paths[i]);
        const std::string linked = FFacts[i].Link ? LinkedFileFolder(Paths[i]) : std::string();
        for (const std::string_view f : {folder, linked.empty() ? folder : std::string_view(linked)}) {
            if (answerFor(f) == TFolderLocks::TResult::Busy)
                refused[i] = std::make_exception_ptr(
                    EFileLocked("Cannot convert file \"" + Paths[i] + "\". Another batch is converting its folder"));
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

    FFacts.clear();
    const std::vector<std::string> paths = [&] {
        TWorkList workList;
        std::vector<std::string> checked;
        checked.reserve(FInput.Items.size());
        for (const TBatchItem& item : FInput.Items)
            if (item.Checked) checked.push_back(item.FullPath);
        workList.AddAll(std::move(checked), static_cast<unsigned>(std::max(1, FInput.Jobs)));
        std::vector<std::string> sorted;
        for (TListedFile& file : workList.TakeSorted()) {
            sorted.push_back(std::move(file.Path));
            FFacts.push_back(file.Facts);
        }
        return sorted;
    }();
    FTotal = static_cast<int>(paths.size());
    Observer.ProgressMaximum(FTotal);

    // What the searches skipped fails first, in the order met, each path once.
    std::set<std::string> skipped;
    for (const TSkippedEntry& entry : FInput.Skipped) {
        if (!skipped.insert(entry.Path).second) continue;
        AppendLog(std::string(FInput.DryRun ? BatchLog::WouldFailHead : BatchLog::FailureHead) + LinePrefix(entry.Path) +
                  std::string(SkipReason(entry)));
        ++FTotal;
    }

    FNotReached = 0;
    FRefused = LockFolders(paths);
    Observer.LogCaughtUp();
    if (!FInput.DryRun) FCloser = std::make_unique<TFileCloser>(TFileCloser::DefaultThreads, FilesWaitingToClose(FFolderLocks->Count()));

    int jobs = std::min(FInput.Jobs, FTotal);
    if (jobs > 1 && FilesDependOnEachOther(paths)) jobs = 1;
    if (jobs > 1)
        RunAtOnce(paths, jobs);
    else
        RunInTurn(paths);
    FCloser.reset();

    if (FNotReached > 0)
        AppendLog(std::string(BatchLog::StoppedHead) + std::to_string(FNotReached) +
                  std::string(BatchLog::StoppedTail.Get(static_cast<std::uint64_t>(FNotReached))));
    AppendLog(std::string(BatchLog::EndLine));
    if (FInput.DryRun)
        AppendLog(std::to_string(FSuccesses) + "/" + std::to_string(FTotal) + std::string(BatchLog::DryRunSummaryTail));
    else
        AppendLog(SummaryLine(FSuccesses, FTotal));
    FObserver->LogCaughtUp();
    FFolderLocks.reset();
    FObserver = nullptr;
}

void TBatchRun::RunInTurn(const std::vector<std::string>& Paths)
{
    std::vector<TFileResult> results(Paths.size());
    // One group at a time, made to last before the next file is begun: the thread that would
    // bring the next group's flush is busy preparing it, however long that takes.
    TGroup group(FilesToHoldOpen(FFolderLocks->Count(), 1), FCloser.get());
    std::size_t logged = 0;
    for (std::size_t i = 0; i < Paths.size(); ++i) {
        TFileResult& result = results[i];
        if (StopRequested())
            result.Reached = false;
        else
            PrepareOne(*FConverter, Paths[i], FRefused[i], result.Notes, result.Error, result.Prepared);
        group.Add(i, result.Prepared);
        if (group.Full() || i + 1 == Paths.size()) {
            group.Begin(results);
            group.Finish(results);
            for (; logged <= i; ++logged) {
                EmitResult(Paths[logged], results[logged], true);
                results[logged] = TFileResult();
            }
            FObserver->LogCaughtUp();
        }
    }
}

void TBatchRun::RunAtOnce(const std::vector<std::string>& Paths, int Jobs)
{
    // Every worker has its own set of conversion objects; the first is the batch's own.
    std::vector<std::unique_ptr<TFileConverter>> extra;
    for (int i = 1; i < Jobs; ++i)
        extra.push_back(std::make_unique<TFileConverter>(FInput.Settings, FInput.Backup, FInput.GifTransparent,
                                                         FInput.DryRun, TPictureLimits{FInput.MaxPixels, FBudget.get()}));

    const std::vector<std::size_t> order = LargestFirst(FFacts);
    std::vector<TFileResult> results(Paths.size());
    std::mutex lock;
    // The workers wait on one (for room ahead, or the end), this thread on the other (for
    // prepared files). A worker wakes this thread once for a few files, not for each: waking
    // a thread costs about as much as preparing a small page.
    std::condition_variable changed;
    std::condition_variable preparedMore;
    std::size_t taken = 0;       // files begun, in the workers' order
    std::size_t committed = 0;   // files put in place for good (or failed)
    std::vector<std::size_t> prepared;  // list places prepared and not yet in a group
    // Files prepared and waiting hold their lock and their written content: the workers stay
    // at most three groups ahead of what is in place for good, and within the open files the
    // process has to spare besides its folder locks (a file that still finds none fails with its
    // reason).
    const std::size_t ahead = FilesToHoldOpen(FFolderLocks->Count(), static_cast<std::size_t>(Jobs));
    bool closing = false;
    auto lastWake = std::chrono::steady_clock::now();

    const auto work = [&](TFileConverter& Converter) {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock<std::mutex> guard(lock);
                const auto mayGoOn = [&] { return closing || taken >= Paths.size() || taken - committed < ahead; };
                if (!mayGoOn()) {
                    // What is prepared has to go in place before anything else can be begun.
                    guard.unlock();
                    preparedMore.notify_one();
                    guard.lock();
                }
                changed.wait(guard, mayGoOn);
                if (closing || taken >= Paths.size()) {
                    guard.unlock();
                    preparedMore.notify_one();
                    return;
                }
                i = order[taken++];
            }
            TFileResult result;
            // Once stopped, the files left are withdrawn one by one, so every place in the
            // list still gets its result.
            if (StopRequested())
                result.Reached = false;
            else
                PrepareOne(Converter, Paths[i], FRefused[i], result.Notes, result.Error, result.Prepared);
            result.Done = true;
            bool wake;
            {
                std::lock_guard<std::mutex> guard(lock);
                results[i] = std::move(result);
                prepared.push_back(i);
                const auto now = std::chrono::steady_clock::now();
                wake = prepared.size() >= WakeAfterFiles || now - lastWake >= WakeAfterTime || taken >= Paths.size();
                if (wake) lastWake = now;
            }
            if (wake) preparedMore.notify_one();
        }
    };

    std::vector<std::thread> workers;
    // Whatever happens here, no worker outlives this call: the rest of the list is withdrawn
    // and every thread joined.
    struct TJoin {
        std::vector<std::thread>& Threads;
        std::mutex& Lock;
        std::condition_variable& Changed;
        bool& Closing;
        ~TJoin()
        {
            {
                std::lock_guard<std::mutex> guard(Lock);
                Closing = true;
            }
            Changed.notify_all();
            for (std::thread& t : Threads)
                if (t.joinable()) t.join();
        }
    } join{workers, lock, changed, closing};
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

    // Files are put in place in groups as they are prepared, whatever their place in the list;
    // the log is written here, file by file in list order, once a file's group is on disk. The
    // progress steps as files are prepared, so that a big file early in the list does not hold
    // the bar while the others get done.
    TGroup group(ahead / 3, FCloser.get());
    std::vector<char> inPlace(Paths.size(), 0);  // this thread's own: committed, ready for the log
    std::size_t logged = 0;
    // Marks the files of a group done, and lets the workers go on.
    const auto settle = [&](const std::vector<std::size_t>& Done) {
        for (std::size_t i : Done) inPlace[i] = 1;
        {
            std::lock_guard<std::mutex> guard(lock);
            committed += Done.size();
        }
        changed.notify_all();
    };
    while (logged < Paths.size()) {
        std::vector<std::size_t> ready;
        std::size_t begun = 0;
        {
            std::unique_lock<std::mutex> guard(lock);
            // Not told of every file, this thread also looks on its own now and then.
            const auto anything = [&] { return !prepared.empty(); };
            auto until = std::chrono::steady_clock::now() + WakeAfterTime;
            if (!group.Empty()) until = std::min(until, group.Deadline());
            if (group.InHand()) until = std::min(until, group.InHandDeadline());
            preparedMore.wait_until(guard, until, anything);
            ready.swap(prepared);
            begun = taken;
        }
        for (std::size_t i : ready) {
            if (results[i].Reached && !results[i].Error) FObserver->ProgressStep();
            group.Add(i, results[i].Prepared);
        }
        // A group is put in place once it is big or old enough, or when no other file is being
        // prepared that it could wait for; once every file is taken, at once, so that little is
        // left to put in place after the last file is prepared. The group in hand is made to
        // last by the flush that begins the next; it is made to last on its own once it has
        // waited long enough, or when no file is being prepared.
        const auto othersComing = [&] { return committed + group.InHandCount() + group.Count() < begun; };
        if (!group.Empty() && (group.Full() || !othersComing() || begun >= Paths.size())) {
            settle(group.Begin(results));
        }
        if (group.InHand() && (!othersComing() || std::chrono::steady_clock::now() >= group.InHandDeadline()))
            settle(group.Finish(results));
        const std::size_t before = logged;
        for (; logged < Paths.size() && inPlace[logged]; ++logged) {
            EmitResult(Paths[logged], results[logged], false);
            results[logged] = TFileResult();
        }
        if (logged != before) FObserver->LogCaughtUp();
    }
}
