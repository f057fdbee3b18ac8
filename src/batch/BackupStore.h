#pragma once
// The work of the backup manager, apart from its window: which dropped names it takes, the
// ".bak" folder search, and restoring or deleting every listed backup with the failures
// collected for the completion message.

#include <string>
#include <vector>

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

// Copies every listed backup over its file, in work-list order, each through a new file
// renamed into place, so a failed restore leaves the file as it was; the backups stay. Goes on
// past every failure and returns the paths that failed, in the order tried.
std::vector<std::string> RestoreBackups(const std::vector<std::string>& Paths);

// Deletes every listed backup, in work-list order. A listed file whose name does not end in
// ".bak", a folder, or a file that cannot be deleted is a failure; returns the failed paths.
std::vector<std::string> DeleteBackups(const std::vector<std::string>& Paths);

// The tail of the completion message: empty without failures, otherwise an empty line,
// "ただし以下のファイルは失敗しました．" and one failed path per line.
std::string BackupFailureText(const std::vector<std::string>& Failed);

// The whole completion messages of the two operations.
std::string RestoreDoneMessage(const std::vector<std::string>& Failed);
std::string DeleteDoneMessage(const std::vector<std::string>& Failed);
