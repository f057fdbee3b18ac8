#include "base/SafeFile.h"

#include "base/Exceptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

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
        throw EFCreateError("Cannot create file \"" + Path + "\". The link leads nowhere: " + ErrnoText(errno));
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

// Writes Data beside Target under a temporary name and renames it over Target. Mode (and
// Owner's owner and group, when given) go to the new file before it takes Target's place.
void ReplaceFile(const std::string& Target, std::string_view Data, mode_t Mode, const struct stat* Owner)
{
    const auto slash = Target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : Target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? Target : Target.substr(slash + 1);
    // Beside the target, so the rename stays within one file system; a short piece of the
    // name keeps the temporary name within the file system's limit for long names.
    std::string temp = folder + "." + name.substr(0, 48) + ".tessival-XXXXXX";

    TFd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Fd < 0)
        throw EFCreateError("Cannot create file \"" + Target + "\". " + ErrnoText(errno));

    bool renamed = false;
    struct TTempGuard {
        const std::string& Name;
        bool& Done;
        ~TTempGuard()
        {
            if (!Done) unlink(Name.c_str());
        }
    } guard{temp, renamed};

    if (const int err = WriteAll(fd.Fd, Data))
        throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(err));
    if (fchmod(fd.Fd, Mode & 07777) != 0)
        throw EInOutError("Cannot set the permissions of \"" + Target + "\". " + ErrnoText(errno));
    // Only a privileged user can give a file away, and some file systems have no owners:
    // keeping the owner is a courtesy, never a reason to fail.
    if (Owner && fchown(fd.Fd, Owner->st_uid, Owner->st_gid) != 0) errno = 0;
    if (fsync(fd.Fd) != 0)
        throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(errno));
    const int fdToClose = fd.Fd;
    fd.Fd = -1;
    if (close(fdToClose) != 0)
        throw EInOutError("Cannot write file \"" + Target + "\". " + ErrnoText(errno));
    if (rename(temp.c_str(), Target.c_str()) != 0)
        throw EInOutError("Cannot replace file \"" + Target + "\". " + ErrnoText(errno));
    renamed = true;
}

}  // namespace

std::string ReadWholeFile(const std::string& Path)
{
    // Not blocking, so that a named pipe given for a file is refused instead of waited on;
    // for a regular file the flag changes nothing.
    TFd fd(open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Fd < 0) throw EFOpenError("Cannot open file \"" + Path + "\". " + ErrnoText(errno));
    struct stat st {};
    if (fstat(fd.Fd, &st) != 0)
        throw EInOutError("Cannot read file \"" + Path + "\". " + ErrnoText(errno));
    if (!S_ISREG(st.st_mode))
        throw EFOpenError("Cannot open file \"" + Path + "\". Not a regular file");

    // Straight into the string, in one read for a file that does not change meanwhile; a file
    // that grows is read on to its end.
    std::string data;
    std::size_t size = 0;
    data.resize(static_cast<std::size_t>(st.st_size) + 1);
    for (;;) {
        if (size == data.size()) data.resize(data.size() + (data.size() >> 1) + (1 << 16));
        const ssize_t n = read(fd.Fd, data.data() + size, data.size() - size);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EInOutError("Cannot read file \"" + Path + "\". " + ErrnoText(errno));
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    data.resize(size);
    return data;
}

void SaveFileSafely(const std::string& Path, std::string_view Data)
{
    const std::string target = ResolveLink(Path);
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            throw EFCreateError("Cannot create file \"" + Path + "\". Not a regular file");
        if (access(target.c_str(), W_OK) != 0)
            throw EFCreateError("Cannot create file \"" + Path + "\". " + ErrnoText(errno));
        ReplaceFile(target, Data, st.st_mode, &st);
    } else {
        ReplaceFile(target, Data, DefaultModeAtStart, nullptr);
    }
}

void SaveCopySafely(const std::string& Path, std::string_view Data, std::optional<mode_t> Mode)
{
    struct stat old {};
    if (lstat(Path.c_str(), &old) == 0 && S_ISDIR(old.st_mode))
        throw EFCreateError("Cannot create file \"" + Path + "\". A folder has that name");
    ReplaceFile(Path, Data, Mode.value_or(DefaultModeAtStart), nullptr);
}
