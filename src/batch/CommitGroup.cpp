#include "batch/CommitGroup.h"

#include "base/FolderLocks.h"
#include "base/SafeFile.h"
#include "batch/FileCloser.h"
#include "batch/FileConverter.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

// One folder on each file system written to, to flush that file system through.
class TFileSystems {
public:
    void Add(const std::string& Path)
    {
        // Files come folder by folder: the folder of the one before is most often this one's.
        const std::string_view inFolder = FolderViewOf(Path);
        if (inFolder == FLast) return;
        FLast = inFolder;
        std::string folder(inFolder);
        if (!FSeen.insert(folder).second) return;
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0) FFolders.emplace(st.st_dev, std::move(folder));
    }
    void Add(const TFileSystems& Other)
    {
        for (const auto& [device, folder] : Other.FFolders)
            if (FSeen.insert(folder).second) FFolders.emplace(device, folder);
    }
    bool Empty() const { return FFolders.empty(); }
    void Flush() const
    {
        for (const auto& [device, folder] : FFolders) FlushFileSystemOf(folder);
    }

private:
    std::map<dev_t, std::string> FFolders;
    std::set<std::string> FSeen;
    std::string FLast;
};

}  // namespace

struct TGroupCommitter::TRenamed {
    TFileSystems Systems;
};

TGroupCommitter::TGroupCommitter(TFileCloser* Closer) : FCloser(Closer), FRenamed(std::make_unique<TRenamed>()) {}

TGroupCommitter::~TGroupCommitter()
{
    try {
        Finish();
    } catch (...) {
        // Only memory can run out here; what is in hand keeps its backups either way.
    }
}

TGroupCommitter::TDone TGroupCommitter::Begin(const std::vector<TPreparedFile*>& Group)
{
    std::vector<std::exception_ptr> errors(Group.size());
    const auto fail = [&](std::size_t i, const std::exception_ptr& Error) {
        errors[i] = Error;
        // A file written into in place and then failed may be part old, part new: its backup
        // (on disk before the write began) is the way back and stays.
        if (Group[i]->Content && Group[i]->Content->Started() && Group[i]->Backup) Group[i]->Backup->Keep();
        // Dropping them removes the written content and any backup named for it.
        Group[i]->Content.reset();
        Group[i]->Backup.reset();
    };
    TDone done;
    bool concluded = false;
    // Flushes Systems; the first flush also makes the renames of the group in hand last. When
    // it fails, no file of Group whose content is not yet in place can be put there.
    const auto flush = [&](const TFileSystems& Systems) {
        std::exception_ptr error;
        try {
            Systems.Flush();
        } catch (...) {
            error = std::current_exception();
        }
        if (!concluded) {
            done = Conclude(error);
            concluded = true;
        }
        if (error)
            for (std::size_t i = 0; i < Group.size(); ++i)
                if (Group[i]->Content) fail(i, error);
    };

    // A backup copy's bytes are on disk before its name; a backup that is the file's second
    // name has no bytes of its own, and is named before the one flush that makes the new
    // contents and the backups last together (most are named as their files are prepared).
    const bool copies = std::any_of(Group.begin(), Group.end(), [](const TPreparedFile* File) {
        return File->Backup && !File->Backup->Placed() && File->Backup->IsCopy();
    });
    TFileSystems written;
    written.Add(FRenamed->Systems);
    for (const TPreparedFile* file : Group) {
        if (file->Content) written.Add(file->Source->Target());
        if (file->Backup) written.Add(file->Path);
    }
    if (copies && !written.Empty()) flush(written);

    TFileSystems named = copies ? TFileSystems() : written;
    for (std::size_t i = 0; i < Group.size(); ++i) {
        TPreparedFile& file = *Group[i];
        if (!file.Backup || file.Backup->Placed()) continue;
        try {
            if (file.Backup->Place()) {
                named.Add(file.Path);
            } else {
                file.Outcome.BackupKept = true;  // made meanwhile: that one stays
                file.Backup.reset();
            }
        } catch (...) {
            fail(i, std::current_exception());
        }
    }
    if (!named.Empty()) flush(named);
    // Nothing written at all: nothing in hand was renamed either.
    if (!concluded) done = Conclude(nullptr);

    std::vector<char> replaced(Group.size(), 0);
    for (std::size_t i = 0; i < Group.size(); ++i) {
        TPreparedFile& file = *Group[i];
        if (!file.Content) continue;
        try {
            file.Content->Commit(file.Source->Identity(), false);
            FRenamed->Systems.Add(file.Source->Target());
            replaced[i] = 1;
        } catch (...) {
            fail(i, std::current_exception());
        }
    }
    FInHand = {Group, std::move(errors)};
    FReplaced = std::move(replaced);
    return done;
}

TGroupCommitter::TDone TGroupCommitter::Finish()
{
    std::exception_ptr error;
    if (!FRenamed->Systems.Empty()) {
        try {
            FRenamed->Systems.Flush();
        } catch (...) {
            error = std::current_exception();
        }
    }
    return Conclude(error);
}

TGroupCommitter::TDone TGroupCommitter::Conclude(std::exception_ptr FlushError)
{
    TDone done = std::exchange(FInHand, {});
    const std::vector<char> replaced = std::exchange(FReplaced, {});
    FRenamed->Systems = TFileSystems();
    std::vector<std::unique_ptr<TSourceFile>> toClose;
    for (std::size_t i = 0; i < done.Files.size(); ++i) {
        TPreparedFile* file = done.Files[i];
        if (replaced[i]) {
            // Without the flush the files are replaced but cannot be said to last: they are
            // reported as failed, and their backups stay so nothing is lost whichever way the
            // disk keeps them.
            if (FlushError) done.Errors[i] = FlushError;
            if (file->Backup) file->Backup->Keep();
        }
        file->Content.reset();
        file->Backup.reset();
        if (FCloser && replaced[i])
            toClose.push_back(std::move(file->Source));
        else
            file->Source.reset();
    }
    if (FCloser) FCloser->Close(std::move(toClose));
    return done;
}

std::vector<std::exception_ptr> CommitGroup(const std::vector<TPreparedFile*>& Group, TFileCloser* Closer)
{
    TGroupCommitter committer(Closer);
    committer.Begin(Group);
    return committer.Finish().Errors;
}
