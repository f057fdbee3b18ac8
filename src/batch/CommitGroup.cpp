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

// One folder on each file system the group wrote to, to flush that file system through.
class TFileSystems {
public:
    void Add(const std::string& Path)
    {
        std::string folder = FolderOf(Path);
        if (!FSeen.insert(folder).second) return;
        struct stat st {};
        if (stat(folder.c_str(), &st) == 0) FFolders.emplace(st.st_dev, std::move(folder));
    }
    bool Empty() const { return FFolders.empty(); }
    void Flush() const
    {
        for (const auto& [device, folder] : FFolders) FlushFileSystemOf(folder);
    }

private:
    std::map<dev_t, std::string> FFolders;
    std::set<std::string> FSeen;
};

}  // namespace

std::vector<std::exception_ptr> CommitGroup(const std::vector<TPreparedFile*>& Group, TFileCloser* Closer)
{
    std::vector<std::exception_ptr> errors(Group.size());
    const auto fail = [&](std::size_t i) {
        errors[i] = std::current_exception();
        // A file written into in place and then failed may be part old, part new: its backup
        // (on disk before the write began) is the way back and stays.
        if (Group[i]->Content && Group[i]->Content->Started() && Group[i]->Backup) Group[i]->Backup->Keep();
        // Dropping them removes the written content and any backup named for it.
        Group[i]->Content.reset();
        Group[i]->Backup.reset();
    };

    // A backup copy's bytes are on disk before its name; a backup that is the file's second
    // name has no bytes of its own, and is named before the one flush that makes the new
    // contents and the backups last together.
    const bool copies = std::any_of(Group.begin(), Group.end(),
                                    [](const TPreparedFile* File) { return File->Backup && File->Backup->IsCopy(); });
    TFileSystems written;
    for (const TPreparedFile* file : Group) {
        if (file->Content) written.Add(file->Source->Target());
        if (file->Backup) written.Add(file->Path);
    }
    if (copies && !written.Empty()) {
        try {
            written.Flush();
        } catch (...) {
            for (std::size_t i = 0; i < Group.size(); ++i)
                if (Group[i]->Content) fail(i);
        }
    }

    TFileSystems named = copies ? TFileSystems() : written;
    for (std::size_t i = 0; i < Group.size(); ++i) {
        TPreparedFile& file = *Group[i];
        if (!file.Backup) continue;
        try {
            if (file.Backup->Place()) {
                named.Add(file.Path);
            } else {
                file.Outcome.BackupKept = true;  // made meanwhile: that one stays
                file.Backup.reset();
            }
        } catch (...) {
            fail(i);
        }
    }
    if (!named.Empty()) {
        try {
            named.Flush();
        } catch (...) {
            for (std::size_t i = 0; i < Group.size(); ++i)
                if (Group[i]->Content) fail(i);
        }
    }

    TFileSystems renamed;
    std::vector<std::size_t> replaced;
    for (std::size_t i = 0; i < Group.size(); ++i) {
        TPreparedFile& file = *Group[i];
        if (!file.Content) continue;
        try {
            file.Content->Commit(file.Source->Identity(), false);
            renamed.Add(file.Source->Target());
            replaced.push_back(i);
        } catch (...) {
            fail(i);
        }
    }
    try {
        renamed.Flush();
        for (std::size_t i : replaced)
            if (Group[i]->Backup) Group[i]->Backup->Keep();
    } catch (...) {
        // The files are replaced but cannot be said to last: they are reported as failed, and
        // their backups stay so nothing is lost whichever way the disk keeps them.
        for (std::size_t i : replaced) {
            errors[i] = std::current_exception();
            if (Group[i]->Backup) Group[i]->Backup->Keep();
        }
    }
    std::vector<char> isReplaced(Group.size(), 0);
    for (std::size_t i : replaced) isReplaced[i] = 1;
    std::vector<std::unique_ptr<TSourceFile>> toClose;
    for (std::size_t i = 0; i < Group.size(); ++i) {
        TPreparedFile* file = Group[i];
        file->Content.reset();
        file->Backup.reset();
        if (Closer && isReplaced[i])
            toClose.push_back(std::move(file->Source));
        else
            file->Source.reset();
    }
    if (Closer) Closer->Close(std::move(toClose));
    return errors;
}
