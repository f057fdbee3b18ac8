#pragma once
// The backup manager: gathers ".bak" copies into a list and restores every listed backup
// over its file or deletes them all, after the user has agreed and never while the desktop
// program's batch is converting.

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QPushButton;
class QToolButton;
class QTreeWidget;

// The backup file's modification time, "yyyy/MM/dd HH:mm:ss" in local time; empty when the
// file cannot be read.
QString BackupDateText(const QString& Path);

class TfrmBackup : public QWidget {
    Q_OBJECT
public:
    explicit TfrmBackup(QWidget* parent = nullptr);
    ~TfrmBackup() override;

    void AddFile(const QString& Path);
    void AddFiles(const QStringList& Paths);
    // A ".bak" search of Folder (sub-folders when cbxSubFolderSearch is checked), then AddFiles.
    void AddFolder(const QString& Folder);
    // Dropped names in the order delivered: no extension, a folder; ".bak", a file; else nothing.
    void AddDroppedFiles(const QStringList& Names);

    // The full paths of the list, in list order.
    QStringList ListedPaths() const;

    // Asked before a restore or delete: whether the desktop program's batch is converting now.
    // Without it no batch is taken to run (the folder locks still keep off other programs').
    void SetBatchRunning(std::function<bool()> BatchRunning);
    // Whether a restore or delete is under way, from its question to its last file; the main
    // window starts no batch meanwhile.
    bool IsWorking() const { return FWorking; }

public slots:
    void bbnOpenFileClick();
    void bbnOpenFolderClick();
    void bbnDeleteFileClick();
    void bbnAllDeleteFileClick();
    void bbnResumeClick();
    void bbnDeleteBackupClick();
    void bbnCancelClick();

protected:
    void showEvent(QShowEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Whether the listed backups may be changed now: not while a batch runs (the user is told).
    bool MayChangeBackups();
    bool Confirm(const std::string& Question);
    void ShowDone(const QString& Text);

    QToolButton* bbnOpenFile = nullptr;
    QToolButton* bbnOpenFolder = nullptr;
    QToolButton* bbnDeleteFile = nullptr;
    QToolButton* bbnAllDeleteFile = nullptr;
    QTreeWidget* lvwFile = nullptr;
    QCheckBox* cbxSubFolderSearch = nullptr;
    QPushButton* bbnResume = nullptr;
    QPushButton* bbnDeleteBackup = nullptr;
    QPushButton* bbnCancel = nullptr;
    QString FSelectFolderName;  // where the folder dialog opens next
    bool FCentred = false;
    std::function<bool()> FBatchRunning;
    bool FWorking = false;
};
