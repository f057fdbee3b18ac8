#pragma once
// The list of files to convert (lvwFile) and everything done to it, apart from the dialogs
// and the drawing: adding files and folders, the drop rules, deleting the selection,
// checking by extension, and the hand-over of the checked paths to the batch.

#include "batch/BatchRun.h"

#include <QString>
#include <QStringList>

#include <vector>

class QTableWidget;

// Path rules of the list; no widget involved.
namespace FileListRules {

// The extensions folder searches and drops accept, in search order (the core's SiteExtensions).
const QStringList& ListedExtensions();

// Whether a path's extension is a photo's (listed unchecked), or a picture's (shown by the
// preview on a page of its own), without regard to case.
bool IsPhoto(const QString& Path);
bool IsPicture(const QString& Path);

// The text after the last path delimiter.
QString FileNameOf(const QString& Path);

// The extension of a name: from its last "." on, the dot included; empty when there is none.
QString ExtensionOf(const QString& Name);

// Whether a path's extension is one of ListedExtensions, without regard to case.
bool HasListedExtension(const QString& Path);

// Every file under Folder with a listed extension: all ".htm" files first, then ".html", and
// so on in the order of ListedExtensions; sub-folders depth first when SubFolders. A folder that cannot be
// read contributes no file; it, and what else the search skips, goes to Skipped when given.
QStringList SearchSiteFolder(const QString& Folder, bool SubFolders, std::vector<TSkippedEntry>* Skipped = nullptr);

// Conversions between list texts and the byte paths of the core.
std::string ToNativePath(const QString& Path);
QString FromNativePath(const std::string& Path);

}  // namespace FileListRules

// The operations of a report-view list whose first column is a checkable file name and whose
// second column is the full path.
class TFileList final {
public:
    enum { FileNameColumn = 0, FullPathColumn = 1 };

    explicit TFileList(QTableWidget* List);

    // Prepares a fresh table: the two columns, check boxes, whole-row multiple selection,
    // nothing editable.
    static void SetUpTable(QTableWidget* Table);
    // The name column's width for a list this wide: its designed 100 pixels, 30 per cent of the
    // list once that is more, so that it widens with the window.
    static int NameColumnWidth(int ViewportWidth);

    // Appends one item, checked unless it is a photo (a path already listed is listed again).
    void AddFile(const QString& Path);
    void AddFiles(const QStringList& Paths);
    void AddFolder(const QString& Folder, bool SubFolders);

    // Names dropped on the window, in the order delivered: a folder is searched, a file
    // with a listed extension is added, anything else is ignored.
    void AddDropped(const QStringList& Names, bool SubFolders);

    void DeleteSelected();
    void Clear();
    void CheckAll(bool Checked);

    // Checks every item whose file name has the extension "." + Extension (any case);
    // the others keep their state.
    void CheckExtension(const QString& Extension);

    int Count() const;
    QString FullPath(int Row) const;
    QString FileName(int Row) const;
    bool IsChecked(int Row) const;
    void SetChecked(int Row, bool Checked);

    // The full path of the first selected item; empty when nothing is selected.
    QString FirstSelectedPath() const;

    // The items in list order with their checked state, as the batch takes them.
    std::vector<TBatchItem> BatchItems() const;
    // What the folder searches since the list was last cleared met and did not list.
    const std::vector<TSkippedEntry>& Skipped() const { return FSkipped; }

    // Deletes the selected rows of any table and selects the row at the index of the first
    // selected one, or the last row when fewer rows are left.
    static void DeleteSelectedRows(QTableWidget* Table);

private:
    QTableWidget* FList;
    std::vector<TSkippedEntry> FSkipped;
};
