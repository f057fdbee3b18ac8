#pragma once
// The work of the backup manager, apart from its window: which dropped names it takes, the
// ".bak" folder search, and restoring or deleting every listed backup with the failures
// collected for the completion message. The window and the command-line tool share it.

#include "base/Exceptions.h"
#include "base/Language.h"
#include "batch/BatchLog.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The reasons a backup fails, in the log's style; one goes after the path of a failed backup
// in the completion message and in the command-line tool's lines. Each is a TText
// (base/Language.h), in Japanese and English; the English ones begin with a space.
namespace BackupReason {

inline constexpr TText NotBackup{"（.bak のファイルではない）", " (not a .bak file)"};
inline constexpr TText Missing{"（バックアップがない）", " (no backup)"};
inline constexpr TText Link{"（バックアップがリンク）", " (the backup is a link)"};
inline constexpr TText NotFile{"（バックアップが普通のファイルでない）", " (the backup is no regular file)"};
inline constexpr TText Unreadable{"（バックアップが読めない）", " (the backup cannot be read)"};
inline constexpr TText TargetFolder{"（元のファイルがフォルダ）", " (the original file is a folder)"};
inline constexpr TText TargetNotFile{"（元のファイルが普通のファイルでない）", " (the original file is no regular file)"};
inline constexpr TText TargetUnwritable{"（元のファイルに書き込めない）", " (the original file cannot be written)"};
inline constexpr const TText& InOut = BatchLog::ReasonInOut;
inline constexpr TText FolderBusy{"（変換中のフォルダ）", " (folder being converted)"};
inline constexpr TText Undeletable{"（消去できない）", " (cannot be deleted)"};
inline constexpr const TText& Unknown = BatchLog::ReasonUnknown;

}  // namespace BackupReason

// The messages of the backup manager and of --restore / --delete-backups.
namespace BackupText {

inline constexpr TText FailedHead{"\n\nただし以下のファイルは失敗しました．\n", "\n\nBut these files failed:\n"};
inline constexpr TText RestoreDone{"ファイル復元が完了しました．", "The files have been restored."};
inline constexpr TText DeleteDone{"ファイル消去が完了しました．", "The backups have been deleted."};
inline constexpr TText RestoreQuestion{"%1 個のバックアップを元のファイルに戻します。よろしいですか？",
    "Put %1 backup back over its original file?", "Put %1 backups back over their original files?"};
inline constexpr TText DeleteQuestion{"%1 個のバックアップを消去します。よろしいですか？", "Delete %1 backup?",
    "Delete %1 backups?"};
// The last line of --restore and --delete-backups, after "done/total".
inline constexpr TText RestoredTail{"個のバックアップを復元成功", " backups restored"};
inline constexpr TText DeletedTail{"個のバックアップを消去成功", " backups deleted"};

}  // namespace BackupText

// A backup that was not restored or deleted, and why (one of BackupReason).
struct TBackupFailure {
    std::string Path;
    std::string Reason;
    bool operator==(const TBackupFailure&) const = default;
};

// A backup refused before anything was written; the message is its reason.
class EBackupRefused : public Exception {
public:
    explicit EBackupRefused(std::string_view Reason) : Exception(std::string(Reason)) {}
};

// Told of each backup once it has been handled, in the order tried: Reason is empty when it
// succeeded.
using TBackupProgress = std::function<void(const std::string& Path, const std::string& Reason)>;

// What becomes of a name dropped onto the backup manager, judged by the extension of its
// name alone (no look at the disk): no extension, a folder to search; ".bak" in any case, a
// backup to list; anything else, nothing. So a folder named "site.old" is ignored.
enum class TBackupDrop { Folder, File, Ignored };
TBackupDrop ClassifyBackupDrop(const std::string& Name);

// Every ".bak" file under Folder in the folder search's order.
std::vector<std::string> SearchBackups(const std::string& Folder, bool SubFolders);

// The file a backup restores: the path without its ".bak" (compared without regard to case).
// Empty when the name does not end in ".bak" or is nothing but ".bak": such a file is never
// restored over another.
std::string BackupTarget(const std::string& BackupPath);

// The listed paths as the operations take them: in the batch's work-list order, each file
// once (the same text, or the same file reached by another name).
std::vector<std::string> BackupWorkList(const std::vector<std::string>& Paths);

// The content of a backup, opened without following a symbolic link. EBackupRefused when Path
// is a link (also one put in its place after it was looked at), is no regular file or is
// missing; EFOpenError when it cannot be opened, EInOutError when reading fails.
std::string ReadBackupFile(const std::string& Path);

// Copies every listed backup over its file, in work-list order, each through a new file
// renamed into place (base/SafeFile.h), so a failed restore leaves the file as it was; the
// backups stay. A backup that is a link or no regular file, and a file that is a folder, are
// refused. The folder of each backup is locked (base/FolderLocks.h) until every backup has
// been handled; a backup in a folder a batch is converting is left alone. Goes on past every
// failure and returns the failures in the order tried.
std::vector<TBackupFailure> RestoreBackups(const std::vector<std::string>& Paths,
                                           const TBackupProgress& Progress = {});

// Deletes every listed backup, in work-list order, under the same folder locks. A listed file
// whose name does not end in ".bak", a folder, or a file that cannot be deleted is a failure;
// a link named like a backup is deleted, never what it points to. Returns the failures.
std::vector<TBackupFailure> DeleteBackups(const std::vector<std::string>& Paths,
                                          const TBackupProgress& Progress = {});

// The tail of the completion message: empty without failures, otherwise an empty line,
// BackupText::FailedHead and one failed path per line, its reason after it.
std::string BackupFailureText(const std::vector<TBackupFailure>& Failed);

// The whole completion messages of the two operations.
std::string RestoreDoneMessage(const std::vector<TBackupFailure>& Failed);
std::string DeleteDoneMessage(const std::vector<TBackupFailure>& Failed);

// The questions asked before Count backups are restored or deleted.
std::string RestoreQuestion(std::size_t Count);
std::string DeleteQuestion(std::size_t Count);
