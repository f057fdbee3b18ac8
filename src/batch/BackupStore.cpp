#include "batch/BackupStore.h"

#include "batch/FileSearch.h"
#include "base/SafeFile.h"
#include "batch/WorkList.h"

#include <sys/stat.h>
#include <unistd.h>

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

std::vector<std::string> RestoreBackups(const std::vector<std::string>& Paths)
{
    std::vector<std::string> failed;
    for (const std::string& path : BackupWorkList(Paths)) {
        try {
            const std::string target = BackupTarget(path);
            if (target.empty()) {
                failed.push_back(path);
                continue;
            }
            SaveFileSafely(target, ReadWholeFile(path));
        } catch (...) {
            failed.push_back(path);
        }
    }
    return failed;
}

std::vector<std::string> DeleteBackups(const std::vector<std::string>& Paths)
{
    std::vector<std::string> failed;
    for (const std::string& path : BackupWorkList(Paths)) {
        // unlink refuses folders, and removes a link named like a backup, never its target.
        if (!EndsInBak(path) || unlink(path.c_str()) != 0)
            failed.push_back(path);
    }
    return failed;
}

std::string BackupFailureText(const std::vector<std::string>& Failed)
{
    if (Failed.empty())
        return {};
    std::string text = "\n\nただし以下のファイルは失敗しました．\n";
    for (const std::string& path : Failed)
        text += path + "\n";
    return text;
}

std::string RestoreDoneMessage(const std::vector<std::string>& Failed)
{
    return "ファイル復元が完了しました．" + BackupFailureText(Failed);
}

std::string DeleteDoneMessage(const std::vector<std::string>& Failed)
{
    return "ファイル消去が完了しました．" + BackupFailureText(Failed);
}
