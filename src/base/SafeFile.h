#pragma once
// Reading files and replacing them so that no failure, crash or power cut leaves a
// half-written file: new content goes to a temporary file beside the old one, is flushed to
// disk, renamed over the old one, and the folder is flushed so the rename lasts too.

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The rest of an open file, to its end (EInOutError naming Path when reading fails); SizeHint is
// what the file holds as far as one knows. With EndAtSize reading stops once SizeHint bytes
// are in, without the read that would find the end: for a caller that notices by other means
// (the file's size and time) a file that grew meanwhile.
std::string ReadOpenFile(int Fd, std::size_t SizeHint, const std::string& Path, bool EndAtSize = false);

// The whole content of a file. EFOpenError when it cannot be opened (missing, no access, a
// folder), EInOutError when reading fails.
std::string ReadWholeFile(const std::string& Path);

// Replaces the content of Path with Data. The new file keeps the permission bits (and, where
// allowed, the owner) of the file it replaces; a new Path gets the usual ones. A symbolic link
// is followed, so the file it points to is replaced and the link stays. A file the user may not
// write is refused (EFCreateError), as is a folder the new file cannot be made in; write and
// rename failures raise EInOutError. On any failure Path is as it was and no stray file is left.
void SaveFileSafely(const std::string& Path, std::string_view Data);

// Raises what replacing Target would raise before writing anything: EFCreateError for a target
// that is no regular file or that the user may not write. Named is the name the message gives.
void CheckReplaceable(const std::string& Target, const std::string& Named);

// Flushes a folder's entries (renames, new and removed files) to disk.
void FlushFolder(const std::string& Folder);

// Flushes everything written to the file system Folder lies on, files and folders alike: one
// flush makes a whole group of files written without their own flushes durable at once.
void FlushFileSystemOf(const std::string& Folder);

// Told of each step that makes written files last: "content" (new bytes for a path written
// under a temporary name, not flushed unless asked), "rename" and "create" (a name given to a
// written file, with its path), "write" (a file's own content rewritten in place, with its
// path, flushed) and "flush" (with the folder flushed). For tests that check the
// order of renames, flushes and what is reported; empty by default.
using TDurabilityObserver = std::function<void(std::string_view Event, const std::string& Path)>;
void SetDurabilityObserver(TDurabilityObserver Observer);

// Who a file is: a file replaced or written to meanwhile is another one.
struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    static TFileIdentity Of(const struct stat& Status);
    friend bool operator==(const TFileIdentity& A, const TFileIdentity& B)
    {
        return A.Device == B.Device && A.Inode == B.Inode && A.Size == B.Size &&
               A.Modified.tv_sec == B.Modified.tv_sec && A.Modified.tv_nsec == B.Modified.tv_nsec;
    }
};

// A file opened to be converted and replaced. While the object lives it holds an advisory lock
// on the file, so a second batch leaves it alone.
class TSourceFile {
public:
    // Opens Path (a link is followed), refuses what is not a regular file (EFOpenError), takes
    // the lock (EFileLocked when another holder has it) and reads the whole content.
    explicit TSourceFile(const std::string& Path);
    ~TSourceFile();
    TSourceFile(const TSourceFile&) = delete;
    TSourceFile& operator=(const TSourceFile&) = delete;

    // The file that will be replaced: Path with its links resolved.
    const std::string& Target() const { return FTarget; }
    const struct stat& Status() const { return FStatus; }
    TFileIdentity Identity() const { return TFileIdentity::Of(FStatus); }
    std::string& Bytes() { return FBytes; }

    // Gives the very file that was read (not whatever has its name now) the new name Path,
    // only while nothing has that name: false when something does. EInOutError when the
    // file system cannot do it (no hard links); the caller then copies instead.
    bool LinkAs(const std::string& Path) const;
    // The file's content read again from the file that was read (EInOutError on failure).
    std::string ReadAgain() const;
    // Tells the system that the content read will not be read again here: its pages in memory,
    // where they are written to disk already, are given back, and writing the new content takes
    // them again instead of memory never used before. Nothing on disk changes.
    void ForgetCachedContent() const;

private:
    friend class TPendingFile;
    std::string FTarget;
    int FFd = -1;
    struct stat FStatus {};
    std::string FBytes;
};

// New content for a file, written and flushed under a temporary name beside it; Commit
// renames it into place. Dropped without Commit, the temporary file is removed.
class TPendingFile {
public:
    // Target must be a regular file the user may write, or missing (EFCreateError otherwise).
    // The new file gets the permission bits and, where allowed, the owner of Like when given,
    // else those of Target as it is now, else the usual ones. Without Flush the new content is
    // left for a flush of the whole file system.
    TPendingFile(const std::string& Target, std::string_view Data, const struct stat* Like = nullptr,
                 bool Flush = true);
    // New content for the file Source read, which must still be writable (EFCreateError). The
    // new file keeps Source's permission bits, owner, group and extended attributes (access
    // control lists among them). Where a new file cannot keep them all (the user may not give
    // a file away, or set one of the attributes), or where other names share the file (a new
    // file would leave them with the old content), nothing is written now: Commit writes Data
    // into the file itself instead (InPlace). Such a write is no atomic replacement, so it is
    // only for a file whose backup is on disk first. OwnNames of the file's names are this
    // program's own (a backup that is the file under a second name): they are no other names
    // to keep the content for, and a new file leaves them the old content, as they should.
    TPendingFile(const TSourceFile& Source, std::string_view Data, bool Flush = true, nlink_t OwnNames = 0);
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    // Renames the new content into place and, with Flush, flushes the folder. With Expected,
    // only when Target is still that file (EFileChanged otherwise, and Target is left as it is).
    // In place, the file is opened, checked to be still Expected (or the file that was read),
    // written over, cut to the new size and flushed whatever Flush says.
    void Commit(const std::optional<TFileIdentity>& Expected = std::nullopt, bool Flush = true);

    // Whether Commit writes into the file itself rather than renaming a new file over it.
    bool InPlace() const { return FInPlace; }
    // Whether Commit began to write into the file: after a failure the file may be part old,
    // part new, and only its backup holds the old content.
    bool Started() const { return FStarted; }

private:
    void CommitInPlace(const std::optional<TFileIdentity>& Expected);

    std::string FTarget;
    std::string FTemporary;
    bool FCommitted = false;
    bool FInPlace = false;
    bool FStarted = false;
    std::string FData;  // in place: the content Commit writes
    TFileIdentity FIdentity;
};

// A new file written under a temporary name beside Path, which Place gives its own name only
// while nothing has that name. Dropped before then, the temporary file is removed.
class TPendingCopy {
public:
    // With Owner, the copy gets its owner and group where the user may give them (root).
    TPendingCopy(const std::string& Path, std::string_view Data, std::optional<mode_t> Mode, bool Flush = true,
                 const struct stat* Owner = nullptr);
    ~TPendingCopy();
    TPendingCopy(const TPendingCopy&) = delete;
    TPendingCopy& operator=(const TPendingCopy&) = delete;

    // False, and the written file dropped, when something has Path's name by now. The new name
    // lasts once Path's folder (or its file system) is flushed.
    bool Place();

private:
    std::string FPath;
    std::string FTemporary;
};

// Whether Name (no folder) is one of the temporary names this program writes beside a file.
bool IsTemporaryFileName(std::string_view Name);

// Removes the temporary files an interrupted run left in Folder (regular files whose name is
// exactly this program's pattern; nothing else is touched) and returns their paths.
std::vector<std::string> RemoveLeftoverTemporaryFiles(const std::string& Folder);
