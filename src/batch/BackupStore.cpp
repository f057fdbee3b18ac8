#include "batch/BackupStore.h"

#include "base/FolderLocks.h"
#include "base/SafeFile.h"
#include "batch/FileSearch.h"
#include "batch/WorkList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

const std::string BakExt = ".bak";

std::string WithoutTrailingSlashes(std::string Name)
{
    while (Name.size() > 1 && Name.back() == '/')
        Name.pop_back();
    return Name;
}

bool EndsInBak(const std::string& Path)
{
    const std::string name = ExtractFileName(Path);
    return name.size() > BakExt.size() && AsciiLower(name.substr(name.size() - BakExt.size())) == BakExt;
}

bool IsGone(int Error) { return Error == ENOENT || Error == ENOTDIR; }

class TFd {
public:
    explicit TFd(int Fd) : FFd(Fd) {}
    ~TFd()
    {
        if (FFd >= 0) close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// The folder the file a link leads to lies in; empty when Path is no link or leads nowhere.
std::string FolderOfLinkedFile(const std::string& Path)
{
    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
    std::unique_ptr<char, decltype(&std::free)> real(realpath(Path.c_str(), nullptr), &std::free);
    return real ? FolderOf(real.get()) : std::string();
}

// Restores one backup; the reason it failed, or empty.
std::string RestoreOne(const std::string& Path, TFolderLocks& Locks)
{
    const std::string target = BackupTarget(Path);
    if (target.empty()) return std::string(BackupReason::NotBackup);
    if (Locks.AcquireFolderOf(Path) == TFolderLocks::TResult::Busy) return std::string(BackupReason::FolderBusy);
    // A file that is a link is written where the link leads, which may be another folder.
    if (const std::string linked = FolderOfLinkedFile(target);
        !linked.empty() && Locks.Acquire(linked) == TFolderLocks::TResult::Busy)
        return std::string(BackupReason::FolderBusy);

    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0)
        return std::string(IsGone(errno) ? BackupReason::Missing : BackupReason::Unreadable);
    if (S_ISLNK(st.st_mode)) return std::string(BackupReason::Link);
    if (!S_ISREG(st.st_mode)) return std::string(BackupReason::NotFile);
    if (stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return std::string(BackupReason::TargetFolder);
        if (!S_ISREG(st.st_mode)) return std::string(BackupReason::TargetNotFile);
    }

    try {
        SaveFileSafely(target, ReadBackupFile(Path));
    } catch (const EBackupRefused& e) {
        return e.Message();
    } catch (const EFOpenError&) {
        return std::string(BackupReason::Unreadable);
    } catch (const EFCreateError&) {
        return std::string(BackupReason::TargetUnwritable);
    } catch (const EInOutError&) {
        return std::string(BackupReason::InOut);
    } catch (...) {
        return std::string(BackupReason::Unknown);
    }
    return {};
}

// Deletes one backup; the reason it failed, or empty.
std::string DeleteOne(const std::string& Path, TFolderLocks& Locks)
{
    if (!EndsInBak(Path)) return std::string(BackupReason::NotBackup);
    if (Locks.AcquireFolderOf(Path) == TFolderLocks::TResult::Busy) return std::string(BackupReason::FolderBusy);
    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0)
        return std::string(IsGone(errno) ? BackupReason::Missing : BackupReason::Undeletable);
    if (S_ISDIR(st.st_mode)) return std::string(BackupReason::NotFile);
    // unlink removes a link named like a backup, never its target.
    if (unlink(Path.c_str()) != 0)
        return std::string(IsGone(errno) ? BackupReason::Missing : BackupReason::Undeletable);
    return {};
}

std::vector<TBackupFailure> ForEachBackup(const std::vector<std::string>& Paths, const TBackupProgress& Progress,
                                          std::string (*Operation)(const std::string&, TFolderLocks&))
{
    // One holder for the whole run: a folder stays locked until its last backup is handled.
    TFolderLocks locks;
    std::vector<TBackupFailure> failed;
    for (const std::string& path : BackupWorkList(Paths)) {
        std::string reason = Operation(path, locks);
        if (Progress) Progress(path, reason);
        if (!reason.empty()) failed.push_back({path, std::move(reason)});
    }
    return failed;
}

}  // namespace

TBackupDrop ClassifyBackupDrop(const std::string& Name)
{
    const std::string ext = ExtractFileExt(WithoutTrailingSlashes(Name));
    if (ext.empty())
        return TBackupDrop::Folder;
    if (AsciiLower(ext) == BakExt)
        return TBackupDrop::File;
    return TBackupDrop::Ignored;
}

std::vector<std::string> SearchBackups(const std::string& Folder, bool SubFolders)
{
    std::vector<std::string> found;
    SearchFolder(Folder, BakExt, found, SubFolders);
    return found;
}

std::string BackupTarget(const std::string& BackupPath)
{
    if (!EndsInBak(BackupPath))
        return {};
    return BackupPath.substr(0, BackupPath.size() - BakExt.size());
}

std::vector<std::string> BackupWorkList(const std::vector<std::string>& Paths)
{
    TWorkList list;
    for (const std::string& path : Paths)
        list.Add(path);
    return list.Sorted();
}

std::string ReadBackupFile(const std::string& Path)
{
    // Not blocking, so a named pipe is looked at instead of waited on.
    TFd fd(open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.Get() < 0) {
        if (errno == ELOOP) throw EBackupRefused(BackupReason::Link);
        if (IsGone(errno)) throw EBackupRefused(BackupReason::Missing);
        throw EFOpenError("Cannot open file \"" + Path + "\". " + std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0)
        throw EInOutError("Cannot read file \"" + Path + "\". " + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw EBackupRefused(BackupReason::NotFile);

    return ReadOpenFile(fd.Get(), static_cast<std::size_t>(st.st_size), Path);
}

std::vector<TBackupFailure> RestoreBackups(const std::vector<std::string>& Paths, const TBackupProgress& Progress)
{
    return ForEachBackup(Paths, Progress, RestoreOne);
}

std::vector<TBackupFailure> DeleteBackups(const std::vector<std::string>& Paths, const TBackupProgress& Progress)
{
    return ForEachBackup(Paths, Progress, DeleteOne);
}

std::string BackupFailureText(const std::vector<TBackupFailure>& Failed)
{
    if (Failed.empty())
        return {};
    std::string text(BackupText::FailedHead);
    for (const TBackupFailure& failure : Failed)
        text += failure.Path + failure.Reason + "\n";
    return text;
}

std::string RestoreDoneMessage(const std::vector<TBackupFailure>& Failed)
{
    return std::string(BackupText::RestoreDone) + BackupFailureText(Failed);
}

std::string DeleteDoneMessage(const std::vector<TBackupFailure>& Failed)
{
    return std::string(BackupText::DeleteDone) + BackupFailureText(Failed);
}

std::string RestoreQuestion(std::size_t Count)
{
    return Fill(BackupText::RestoreQuestion.Get(Count), {std::to_string(Count)});
}

std::string DeleteQuestion(std::size_t Count)
{
    return Fill(BackupText::DeleteQuestion.Get(Count), {std::to_string(Count)});
}
