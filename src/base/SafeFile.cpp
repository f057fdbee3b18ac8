#include "base/SafeFile.h"

#include "base/Exceptions.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <memory>
#include <random>

namespace {

std::string ErrnoText(int Error) { return std::strerror(Error); }

struct TFd {
    int Fd = -1;
    explicit TFd(int fd) : Fd(fd) {}
    ~TFd()
    {
        if (Fd >= 0) close(Fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

// Writes all of Data, retrying short writes; returns 0 or the errno of the failure.
int WriteAll(int Fd, std::string_view Data)
{
    const char* p = Data.data();
    std::size_t left = Data.size();
    while (left > 0) {
        const ssize_t n = write(Fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return 0;
}

std::string ResolveLink(const std::string& Path)
{
    struct stat st {};
    if (lstat(Path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return Path;
    std::unique_ptr<char, decltype(&std::free)> real(realpath(Path.c_str(), nullptr), &std::free);
    if (!real)
        { const int failure = errno; throw EFCreateError("Cannot create file \"" + Path + "\". The link leads nowhere: " + ErrnoText(failure), failure); }
    return real.get();
}

// The permission bits a new file gets from the process's umask. The umask can only be read by
// setting it, which races with any thread that creates a file meanwhile; so it is read once,
// while the program starts and before any worker runs, and never set again.
mode_t ReadDefaultMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}
const mode_t DefaultModeAtStart = ReadDefaultMode();

const char TemporaryMarker[] = ".tessival-";
constexpr std::size_t TemporaryNameKept = 48;  // of the file's own name, within the limit for long names
constexpr std::size_t TemporarySuffix = 6;     // the random letters put in place of XXXXXX

std::string FolderPart(const std::string& Path)
{
    const auto slash = Path.rfind('/');
    return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string FolderToFlush(const std::string& Path)
{
    const std::string folder = FolderPart(Path);
    return folder.empty() ? std::string(".") : folder;
}

TDurabilityObserver& Observer()
{
    static TDurabilityObserver observer;
    return observer;
}

void Tell(std::string_view Event, const std::string& Path)
{
    if (Observer()) Observer()(Event, Path);
}

// A buffer filled by a call that says how much it needs (size 0) and fails with ERANGE when
// the answer grew meanwhile. Returns -1 with errno set on failure.
template <typename TCall>
ssize_t FillBuffer(std::string& Buffer, TCall Call)
{
    for (int tries = 0; tries < 8; ++tries) {
        const ssize_t need = Call(nullptr, 0);
        if (need < 0) return -1;
        Buffer.resize(static_cast<std::size_t>(need));
        if (need == 0) return 0;
        const ssize_t got = Call(Buffer.data(), Buffer.size());
        if (got >= 0) {
            Buffer.resize(static_cast<std::size_t>(got));
            return got;
        }
        if (errno != ERANGE) return -1;
    }
    errno = ERANGE;
    return -1;
}

// Gives To every extended attribute From has (access control lists are some of them). Returns
// 0, or the errno of the first one that could not be read or set; a file system without
// extended attributes (ENOTSUP) has none to keep.
int CopyAttributes(int From, int To)
{
    std::string names;
    if (FillBuffer(names, [&](char* B, std::size_t N) { return flistxattr(From, B, N); }) < 0)
        return errno == ENOTSUP ? 0 : errno;
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name = names.c_str() + at;
        at += name.size() + 1;
        if (name.empty()) continue;
        if (FillBuffer(value, [&](char* B, std::size_t N) { return fgetxattr(From, name.c_str(), B, N); }) < 0) {
            if (errno == ENODATA || errno == ENOTSUP) continue;  // removed meanwhile
            return errno;
        }
        if (fsetxattr(To, name.c_str(), value.data(), value.size(), 0) != 0 && errno != ENOTSUP) return errno;
    }
    return 0;
}

// Creates a new file named Pattern with its trailing XXXXXX replaced by random letters, as
// mkostemp does, but with Permissions (less the umask) from the start: when they are the ones
// wanted, setting them afterwards is a call saved for every file.
int CreateUniqueFile(std::string& Pattern, mode_t Permissions)
{
    static constexpr char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::size_t at = Pattern.size() - TemporarySuffix;
    for (int tries = 0; tries < 1000; ++tries) {
        std::uint64_t bits = random();
        for (std::size_t i = 0; i < TemporarySuffix; ++i, bits >>= 6)
            Pattern[at + i] = Letters[(bits & 63) % (sizeof(Letters) - 1)];
        const int fd = open(Pattern.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, Permissions);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes Data to a new temporary file beside Target with Mode (and Owner's owner and group,
// when given, and the extended attributes of the file open as AttributesFrom), flushed to
// disk when Flush; returns its name. Without AllKept, keeping the owner is a courtesy and an
// attribute that cannot be kept fails the write (EInOutError); with it, AllKept tells whether
// the owner, group and every attribute were kept. Nothing is left behind on failure.
std::string WriteTemporary(const std::string& Target, std::string_view Data, mode_t Mode, const struct stat* Owner,
                           bool Flush = true, int AttributesFrom = -1, bool* AllKept = nullptr)
{
    const auto slash = Target.rfind('/');
    const std::string name = slash == std::string::npos ? Target : Target.substr(slash + 1);
    // Beside the target, so the rename stays within one file system.
    std::string temp = FolderPart(Target) + "." + name.substr(0, TemporaryNameKept) + TemporaryMarker + "XXXXXX";

    // A file that will be this process's own is made with its permissions at once (the umask
    // may still take some away); one that will be given away is readable by its maker alone
    // until it has its owner.
    const bool ours = !Owner || (Owner->st_uid == geteuid() && Owner->st_gid == getegid());
    TFd fd(CreateUniqueFile(temp, ours ? (Mode & 0777) : 0600));
    if (fd.Fd < 0)
        { const int failure = errno; throw EFCreateError("Cannot create file \"" + Target + "\". " + ErrnoText(failure), failure); }
    if (AllKept) *AllKept = true;
    try {
        if (const int err = WriteAll(fd.Fd, Data))
            throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(err), err);
        struct stat made {};
        if (fstat(fd.Fd, &made) != 0)
            { const int failure = errno; throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(failure), failure); }
        // The owner first: giving a file away clears its set-user-ID bits, which the
        // permissions then put back.
        // Only a privileged user can give a file away, and some file systems have no owners:
        // keeping the owner is a courtesy, never a reason to fail.
        const bool giveAway = Owner && (made.st_uid != Owner->st_uid || made.st_gid != Owner->st_gid);
        if (giveAway && fchown(fd.Fd, Owner->st_uid, Owner->st_gid) != 0) errno = 0;
        if ((giveAway || (made.st_mode & 07777) != (Mode & 07777)) && fchmod(fd.Fd, Mode & 07777) != 0)
            { const int failure = errno; throw EInOutError("Cannot set the permissions of \"" + Target + "\". " + ErrnoText(failure), failure); }
        if (giveAway && AllKept) {
            struct stat now {};
            if (fstat(fd.Fd, &now) != 0 || now.st_uid != Owner->st_uid || now.st_gid != Owner->st_gid)
                *AllKept = false;
        }
        if (AttributesFrom >= 0) {
            if (const int err = CopyAttributes(AttributesFrom, fd.Fd)) {
                if (!AllKept)
                    throw EInOutError("Cannot keep the extended attributes of \"" + Target + "\". " + ErrnoText(err), err);
                *AllKept = false;
            }
        }
        if (AllKept && !*AllKept) {
            // Not to be used: nothing to flush.
        } else if (Flush && fsync(fd.Fd) != 0) {
            { const int failure = errno; throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(failure), failure); }
        }
        const int fdToClose = fd.Fd;
        fd.Fd = -1;
        if (close(fdToClose) != 0)
            { const int failure = errno; throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(failure), failure); }
    } catch (...) {
        unlink(temp.c_str());
        throw;
    }
    Tell("content", Target);
    return temp;
}

// Checks that Target may be replaced and gives the status of the file there now (false when
// there is none).
bool ExistingTarget(const std::string& Target, const std::string& Named, struct stat& Status)
{
    if (stat(Target.c_str(), &Status) != 0) return false;
    if (!S_ISREG(Status.st_mode))
        throw EFCreateError("Cannot create file \"" + Named + "\". Not a regular file");
    if (access(Target.c_str(), W_OK) != 0)
        { const int failure = errno; throw EFCreateError("Cannot create file \"" + Named + "\". " + ErrnoText(failure), failure); }
    return true;
}

}  // namespace

void SetDurabilityObserver(TDurabilityObserver Observed) { Observer() = std::move(Observed); }

void FlushFolder(const std::string& Folder)
{
    TFd fd(open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Fd < 0) { const int failure = errno; throw EInOutError("Cannot flush folder \"" + Folder + "\". " + ErrnoText(failure), failure); }
    // Some file systems cannot flush a folder and say so; their renames are as durable as they get.
    if (fsync(fd.Fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        { const int failure = errno; throw EInOutError("Cannot flush folder \"" + Folder + "\". " + ErrnoText(failure), failure); }
    Tell("flush", Folder);
}

void FlushFileSystemOf(const std::string& Folder)
{
    TFd fd(open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Fd < 0) { const int failure = errno; throw EInOutError("Cannot flush folder \"" + Folder + "\". " + ErrnoText(failure), failure); }
    if (syncfs(fd.Fd) != 0) { const int failure = errno; throw EInOutError("Cannot flush the disk of \"" + Folder + "\". " + ErrnoText(failure), failure); }
    Tell("flush", Folder);
}

TFileIdentity TFileIdentity::Of(const struct stat& Status)
{
    return {Status.st_dev, Status.st_ino, Status.st_size, Status.st_mtim};
}

std::string ReadOpenFile(int Fd, std::size_t SizeHint, const std::string& Path, bool EndAtSize)
{
    // Straight into the string, in one read for a file that does not change meanwhile; a file
    // that grows is read on to its end.
    std::string data(SizeHint + 1, '\0');
    std::size_t size = 0;
    for (;;) {
        if (size == data.size()) data.resize(data.size() + (data.size() >> 1) + (1 << 16));
        const ssize_t n = read(Fd, data.data() + size, data.size() - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int failure = errno;
            throw EInOutError("Cannot read file \"" + Path + "\". " + ErrnoText(failure), failure);
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
        if (EndAtSize && size == SizeHint) break;
    }
    data.resize(size);
    return data;
}

std::string ReadWholeFile(const std::string& Path)
{
    // Not blocking, so that a named pipe given for a file is refused instead of waited on;
    // for a regular file the flag changes nothing.
    TFd fd(open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Fd < 0) { const int failure = errno; throw EFOpenError("Cannot open file \"" + Path + "\". " + ErrnoText(failure), failure); }
    struct stat st {};
    if (fstat(fd.Fd, &st) != 0)
        { const int failure = errno; throw EInOutError("Cannot read file \"" + Path + "\". " + ErrnoText(failure), failure); }
    if (!S_ISREG(st.st_mode))
        throw EFOpenError("Cannot open file \"" + Path + "\". Not a regular file");

    return ReadOpenFile(fd.Fd, static_cast<std::size_t>(st.st_size), Path);
}

TSourceFile::TSourceFile(const std::string& Path)
{
    // Opened as named unless the name is a link (ELOOP), which is then followed to its file:
    // one call where a look at the name first would take two.
    FFd = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (FFd >= 0) {
        FTarget = Path;
    } else if (errno == ELOOP) {
        FTarget = ResolveLink(Path);
        FFd = open(FTarget.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (FFd < 0) { const int failure = errno; throw EFOpenError("Cannot open file \"" + Path + "\". " + ErrnoText(failure), failure); }
    try {
        if (fstat(FFd, &FStatus) != 0)
            { const int failure = errno; throw EInOutError("Cannot read file \"" + Path + "\". " + ErrnoText(failure), failure); }
        if (!S_ISREG(FStatus.st_mode))
            throw EFOpenError("Cannot open file \"" + Path + "\". Not a regular file");
        while (flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno == EWOULDBLOCK)
                throw EFileLocked("Cannot convert file \"" + Path + "\". Another program holds it locked");
            break;  // a file system without locks: nothing to respect
        }
        // The identity stays the one taken before reading: a file written to while it was read,
        // or afterwards, no longer matches it and is not replaced. So the bytes it had then
        // are all that is read.
        FBytes = ReadOpenFile(FFd, static_cast<std::size_t>(FStatus.st_size), Path, true);
    } catch (...) {
        close(FFd);
        throw;
    }
}

bool TSourceFile::LinkAs(const std::string& Path) const
{
    // The descriptor itself names the file that was opened, wherever its name has gone since;
    // the system takes it for a process allowed to search every folder (root), anyone else
    // names it through its entry in /proc, a longer way to the same file. Refused once, the
    // short way is not tried again.
    static std::atomic<bool> descriptorRefused{false};
    int result = -1;
    if (!descriptorRefused.load(std::memory_order_relaxed)) {
        result = linkat(FFd, "", AT_FDCWD, Path.c_str(), AT_EMPTY_PATH);
        if (result != 0 && errno == ENOENT) descriptorRefused.store(true, std::memory_order_relaxed);
    }
    if (result != 0 && descriptorRefused.load(std::memory_order_relaxed)) {
        const std::string self = "/proc/self/fd/" + std::to_string(FFd);
        result = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, Path.c_str(), AT_SYMLINK_FOLLOW);
    }
    if (result == 0) {
        Tell("create", Path);
        return true;
    }
    if (errno == EEXIST) return false;
    { const int failure = errno; throw EInOutError("Cannot link \"" + FTarget + "\" as \"" + Path + "\". " + ErrnoText(failure), failure); }
}

std::string TSourceFile::ReadAgain() const
{
    std::string data(static_cast<std::size_t>(FStatus.st_size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = pread(FFd, data.data() + done, data.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) { const int failure = n < 0 ? errno : EIO; throw EInOutError("Cannot read file \"" + FTarget + "\" again. " + ErrnoText(failure), failure); }
        done += static_cast<std::size_t>(n);
    }
    return data;
}

void TSourceFile::ForgetCachedContent() const
{
    // Advice only: a file system that keeps its pages (tmpfs) or refuses changes nothing.
    posix_fadvise(FFd, 0, 0, POSIX_FADV_DONTNEED);
}

TSourceFile::~TSourceFile()
{
    if (FFd >= 0) close(FFd);  // and with it the lock
}

TPendingFile::TPendingFile(const std::string& Target, std::string_view Data, const struct stat* Like, bool Flush)
    : FTarget(Target)
{
    struct stat now {};
    const bool exists = ExistingTarget(Target, Target, now);
    const struct stat* model = Like ? Like : exists ? &now : nullptr;
    FTemporary = WriteTemporary(Target, Data, model ? model->st_mode : DefaultModeAtStart, model, Flush);
}

TPendingFile::TPendingFile(const TSourceFile& Source, std::string_view Data, bool Flush, nlink_t OwnNames)
    : FTarget(Source.Target()), FIdentity(Source.Identity())
{
    // The file read is a regular file (TSourceFile); whether it is still there and may be
    // written is asked of its name. Another file put there meanwhile is not replaced (Commit).
    if (access(FTarget.c_str(), W_OK) != 0)
        { const int failure = errno; throw EFCreateError("Cannot create file \"" + FTarget + "\". " + ErrnoText(failure), failure); }
    const struct stat& old = Source.Status();
    // A new file would part the other names from this one: they would keep the old content.
    FInPlace = old.st_nlink > 1 + OwnNames;
    if (!FInPlace) {
        bool kept = true;
        FTemporary = WriteTemporary(FTarget, Data, old.st_mode, &old, Flush, Source.FFd, &kept);
        if (!kept) {
            unlink(FTemporary.c_str());
            FTemporary.clear();
            FInPlace = true;
        }
    }
    if (FInPlace) FData.assign(Data);
}

TPendingFile::~TPendingFile()
{
    if (!FCommitted && !FTemporary.empty()) unlink(FTemporary.c_str());
}

void TPendingFile::CommitInPlace(const std::optional<TFileIdentity>& Expected)
{
    const std::string changed = "Cannot replace file \"" + FTarget + "\". Another program changed it meanwhile";
    // The name the file was read under, not followed should it have become a link since.
    TFd fd(open(FTarget.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.Fd < 0) {
        if (errno == ENOENT || errno == ELOOP) throw EFileChanged(changed);
        { const int failure = errno; throw EInOutError("Cannot replace file \"" + FTarget + "\". " + ErrnoText(failure), failure); }
    }
    struct stat now {};
    if (fstat(fd.Fd, &now) != 0)
        { const int failure = errno; throw EInOutError("Cannot replace file \"" + FTarget + "\". " + ErrnoText(failure), failure); }
    if (!S_ISREG(now.st_mode) || !(TFileIdentity::Of(now) == Expected.value_or(FIdentity))) throw EFileChanged(changed);
    FStarted = true;
    if (const int err = WriteAll(fd.Fd, FData))
        throw EInOutError("Cannot write file \"" + FTarget + "\". " + ErrnoText(err), err);
    if (ftruncate(fd.Fd, static_cast<off_t>(FData.size())) != 0 || fsync(fd.Fd) != 0)
        { const int failure = errno; throw EInOutError("Cannot write file \"" + FTarget + "\". " + ErrnoText(failure), failure); }
    const int fdToClose = fd.Fd;
    fd.Fd = -1;
    if (close(fdToClose) != 0) { const int failure = errno; throw EInOutError("Cannot write file \"" + FTarget + "\". " + ErrnoText(failure), failure); }
    FCommitted = true;
    std::string().swap(FData);
    Tell("write", FTarget);
}

void TPendingFile::Commit(const std::optional<TFileIdentity>& Expected, bool Flush)
{
    if (FInPlace) {
        CommitInPlace(Expected);
        return;
    }
    if (Expected) {
        struct stat now {};
        if (stat(FTarget.c_str(), &now) != 0 || !(TFileIdentity::Of(now) == *Expected))
            throw EFileChanged("Cannot replace file \"" + FTarget + "\". Another program changed it meanwhile");
    }
    if (rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        { const int failure = errno; throw EInOutError("Cannot replace file \"" + FTarget + "\". " + ErrnoText(failure), failure); }
    FCommitted = true;
    Tell("rename", FTarget);
    if (Flush) FlushFolder(FolderToFlush(FTarget));
}

void CheckReplaceable(const std::string& Target, const std::string& Named)
{
    struct stat st {};
    ExistingTarget(Target, Named, st);
}

void SaveFileSafely(const std::string& Path, std::string_view Data)
{
    const std::string target = ResolveLink(Path);
    struct stat st {};
    ExistingTarget(target, Path, st);
    TPendingFile(target, Data).Commit();
}

TPendingCopy::TPendingCopy(const std::string& Path, std::string_view Data, std::optional<mode_t> Mode, bool Flush,
                           const struct stat* Owner)
    : FPath(Path), FTemporary(WriteTemporary(Path, Data, Mode.value_or(DefaultModeAtStart), Owner, Flush))
{
}

TPendingCopy::~TPendingCopy()
{
    if (!FTemporary.empty()) unlink(FTemporary.c_str());
}

bool TPendingCopy::Place()
{
    struct stat old {};
    if (lstat(FPath.c_str(), &old) == 0) return false;
    // A new name for the written file, taken only while free: link() fails on a name that
    // exists, however it came there. File systems without hard links get the rename that
    // refuses to replace, and where that is missing too, the check above stands alone.
    int result = link(FTemporary.c_str(), FPath.c_str());
    int error = result == 0 ? 0 : errno;
    if (result != 0 && error != EEXIST) {
        result = renameat2(AT_FDCWD, FTemporary.c_str(), AT_FDCWD, FPath.c_str(), RENAME_NOREPLACE);
        error = result == 0 ? 0 : errno;
        if (result != 0 && (error == EINVAL || error == ENOSYS || error == ENOTSUP)) {
            result = lstat(FPath.c_str(), &old) == 0 ? -1 : rename(FTemporary.c_str(), FPath.c_str());
            error = result == 0 ? 0 : (errno ? errno : EEXIST);
        }
    }
    unlink(FTemporary.c_str());  // after link() the name is a second one; otherwise the file itself
    FTemporary.clear();
    if (result != 0) {
        if (error == EEXIST) return false;
        { const int failure = error; throw EInOutError("Cannot create file \"" + FPath + "\". " + ErrnoText(failure), failure); }
    }
    Tell("create", FPath);
    return true;
}

bool IsTemporaryFileName(std::string_view Name)
{
    const std::size_t marker = sizeof(TemporaryMarker) - 1;
    if (Name.size() < 2 + marker + TemporarySuffix || Name.front() != '.') return false;
    const std::size_t at = Name.size() - TemporarySuffix - marker;
    if (Name.substr(at, marker) != TemporaryMarker || at - 1 > TemporaryNameKept) return false;
    for (char c : Name.substr(Name.size() - TemporarySuffix))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

std::vector<std::string> RemoveLeftoverTemporaryFiles(const std::string& Folder)
{
    std::vector<std::string> removed;
    struct TCloseDir {
        void operator()(DIR* D) const { closedir(D); }
    };
    std::unique_ptr<DIR, TCloseDir> dir(opendir(Folder.c_str()));
    if (!dir) return removed;
    const std::string prefix = Folder.empty() || Folder.back() == '/' ? Folder : Folder + "/";
    while (const dirent* entry = readdir(dir.get())) {
        if (!IsTemporaryFileName(entry->d_name)) continue;
        const std::string path = prefix + entry->d_name;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0) removed.push_back(path);
    }
    std::sort(removed.begin(), removed.end());
    if (!removed.empty()) FlushFolder(Folder);
    return removed;
}
