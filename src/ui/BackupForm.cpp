#include "ui/BackupForm.h"
#include "ui/WindowPlacement.h"

#include "batch/BackupStore.h"
#include "batch/FileSearch.h"

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <string>
#include <vector>

namespace {

std::string ToLocal(const QString& Path)
{
    return QFile::encodeName(Path).toStdString();
}

QString FromLocal(const std::string& Path)
{
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

std::vector<std::string> ToLocal(const QStringList& Paths)
{
    std::vector<std::string> out;
    out.reserve(Paths.size());
    for (const QString& p : Paths)
        out.push_back(ToLocal(p));
    return out;
}

// Sets a flag for as long as it lives.
class TFlagScope {
public:
    explicit TFlagScope(bool& Flag) : FFlag(Flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

QToolButton* PictureButton(QWidget* Parent, const char* Name, const QString& Tip, QStyle::StandardPixmap Icon)
{
    auto* b = new QToolButton(Parent);
    b->setObjectName(QString::fromLatin1(Name));
    b->setToolTip(Tip);
    b->setAccessibleName(Tip);
    b->setIcon(Parent->style()->standardIcon(Icon));
    b->setFixedSize(24, 24);
    return b;
}

} // namespace

QString BackupDateText(const QString& Path)
{
    const QDateTime Modified = QFileInfo(Path).lastModified();
    return Modified.isValid() ? Modified.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) : QString();
}

TfrmBackup::TfrmBackup(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmBackup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("バックアップ復元/消去"));

    bbnOpenFile = PictureButton(this, "bbnOpenFile", tr("ファイルからリストに追加"), QStyle::SP_FileIcon);
    bbnOpenFolder =
        PictureButton(this, "bbnOpenFolder", tr("フォルダからリストに追加"), QStyle::SP_DirOpenIcon);
    bbnDeleteFile =
        PictureButton(this, "bbnDeleteFile", tr("選択したファイルを消す"), QStyle::SP_DialogDiscardButton);
    bbnAllDeleteFile =
        PictureButton(this, "bbnAllDeleteFile", tr("リストをクリアする"), QStyle::SP_TrashIcon);

    lvwFile = new QTreeWidget(this);
    lvwFile->setObjectName(QStringLiteral("lvwFile"));
    lvwFile->setColumnCount(3);
    lvwFile->setHeaderLabels({tr("ファイル名"), tr("フルパス"), tr("更新日時")});
    lvwFile->header()->resizeSection(0, 130);
    lvwFile->header()->resizeSection(1, 500);
    lvwFile->header()->setStretchLastSection(false);
    // The date stays in view beside the path, which takes what the window grows by.
    lvwFile->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    lvwFile->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    lvwFile->setTextElideMode(Qt::ElideMiddle);
    lvwFile->setAccessibleName(tr("バックアップファイルの一覧"));
    lvwFile->setRootIsDecorated(false);
    lvwFile->setUniformRowHeights(true);
    lvwFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwFile->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwFile->setAllColumnsShowFocus(true);
    lvwFile->installEventFilter(this);

    cbxSubFolderSearch = new QCheckBox(tr("フォルダを開くときサブフォルダも検索(&F)"), this);
    cbxSubFolderSearch->setObjectName(QStringLiteral("cbxSubFolderSearch"));
    cbxSubFolderSearch->setChecked(true);

    bbnResume = new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload), tr("復元(&R)"), this);
    bbnResume->setObjectName(QStringLiteral("bbnResume"));
    bbnResume->setDefault(true);
    bbnDeleteBackup =
        new QPushButton(style()->standardIcon(QStyle::SP_TrashIcon), tr("消去(&D)"), this);
    bbnDeleteBackup->setObjectName(QStringLiteral("bbnDeleteBackup"));
    bbnCancel =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("閉じる(&X)"), this);
    bbnCancel->setObjectName(QStringLiteral("bbnCancel"));
    cbxSubFolderSearch->setAccessibleName(tr("フォルダを開くときサブフォルダも検索"));
    bbnResume->setAccessibleName(tr("復元"));
    bbnDeleteBackup->setAccessibleName(tr("消去"));
    bbnCancel->setAccessibleName(tr("閉じる"));

    auto* tools = new QHBoxLayout;
    tools->setSpacing(2);
    tools->addWidget(bbnOpenFile);
    tools->addWidget(bbnOpenFolder);
    tools->addWidget(bbnDeleteFile);
    tools->addStretch();
    tools->addWidget(bbnAllDeleteFile);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbnResume);
    buttons->addWidget(bbnDeleteBackup);
    buttons->addWidget(bbnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(lvwFile, 1);
    layout->addLayout(tools);
    layout->addWidget(cbxSubFolderSearch);
    layout->addLayout(buttons);

    connect(bbnOpenFile, &QToolButton::clicked, this, &TfrmBackup::bbnOpenFileClick);
    connect(bbnOpenFolder, &QToolButton::clicked, this, &TfrmBackup::bbnOpenFolderClick);
    connect(bbnDeleteFile, &QToolButton::clicked, this, &TfrmBackup::bbnDeleteFileClick);
    connect(bbnAllDeleteFile, &QToolButton::clicked, this, &TfrmBackup::bbnAllDeleteFileClick);
    connect(bbnResume, &QPushButton::clicked, this, &TfrmBackup::bbnResumeClick);
    connect(bbnDeleteBackup, &QPushButton::clicked, this, &TfrmBackup::bbnDeleteBackupClick);
    connect(bbnCancel, &QPushButton::clicked, this, &TfrmBackup::bbnCancelClick);

    AddDialogKeys(this, bbnResume, bbnCancel);

    setMinimumSize(minimumSizeHint());
    resize(QSize(417, 400).expandedTo(minimumSizeHint()));
}

TfrmBackup::~TfrmBackup() = default;

void TfrmBackup::AddFile(const QString& Path)
{
    auto* item = new QTreeWidgetItem(lvwFile);
    item->setText(0, FromLocal(ExtractFileName(ToLocal(Path))));
    item->setText(1, Path);
    item->setText(2, BackupDateText(Path));
}

void TfrmBackup::AddFiles(const QStringList& Paths)
{
    for (const QString& p : Paths)
        AddFile(p);
}

void TfrmBackup::AddFolder(const QString& Folder)
{
    QStringList found;
    for (const std::string& p : SearchBackups(ToLocal(Folder), cbxSubFolderSearch->isChecked()))
        found << FromLocal(p);
    AddFiles(found);
}

void TfrmBackup::AddDroppedFiles(const QStringList& Names)
{
    for (const QString& name : Names) {
        switch (ClassifyBackupDrop(ToLocal(name))) {
        case TBackupDrop::Folder:
            AddFolder(name);
            break;
        case TBackupDrop::File:
            AddFile(name);
            break;
        case TBackupDrop::Ignored:
            break;
        }
    }
}

QStringList TfrmBackup::ListedPaths() const
{
    QStringList paths;
    for (int i = 0; i < lvwFile->topLevelItemCount(); ++i)
        paths << lvwFile->topLevelItem(i)->text(1);
    return paths;
}

void TfrmBackup::bbnOpenFileClick()
{
    QFileDialog dlgOpenFile(this);
    dlgOpenFile.setObjectName(QStringLiteral("dlgOpenFile"));
    dlgOpenFile.setFileMode(QFileDialog::ExistingFiles);
    dlgOpenFile.setNameFilter(tr("バックアップファイル(*.bak)"));
    dlgOpenFile.setSizeGripEnabled(true);
    if (dlgOpenFile.exec() != QDialog::Accepted)
        return;
    AddFiles(dlgOpenFile.selectedFiles());
}

void TfrmBackup::bbnOpenFolderClick()
{
    QFileDialog fdlOpenFolder(this, tr("フォルダを開く"), FSelectFolderName);
    fdlOpenFolder.setObjectName(QStringLiteral("fdlOpenFolder"));
    fdlOpenFolder.setFileMode(QFileDialog::Directory);
    fdlOpenFolder.setOption(QFileDialog::ShowDirsOnly);
    if (fdlOpenFolder.exec() != QDialog::Accepted || fdlOpenFolder.selectedFiles().isEmpty())
        return;
    const QString folder = fdlOpenFolder.selectedFiles().first();
    if (folder.isEmpty())
        return;
    FSelectFolderName = folder;
    AddFolder(folder);
}

void TfrmBackup::bbnDeleteFileClick()
{
    // The selection lands on the index of the first selected item, or on the last item left
    // when the list became shorter than that.
    int i = -1;
    for (int k = 0; k < lvwFile->topLevelItemCount(); ++k) {
        if (lvwFile->topLevelItem(k)->isSelected()) {
            i = k;
            break;
        }
    }
    for (int k = lvwFile->topLevelItemCount() - 1; k >= 0; --k) {
        if (lvwFile->topLevelItem(k)->isSelected())
            delete lvwFile->takeTopLevelItem(k);
        if (i == lvwFile->topLevelItemCount())
            --i;
    }
    lvwFile->clearSelection();
    if (i >= 0) {
        QTreeWidgetItem* item = lvwFile->topLevelItem(i);
        item->setSelected(true);
        lvwFile->setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    }
}

void TfrmBackup::bbnAllDeleteFileClick()
{
    lvwFile->clear();
}

void TfrmBackup::SetBatchRunning(std::function<bool()> BatchRunning)
{
    FBatchRunning = std::move(BatchRunning);
}

void TfrmBackup::bbnResumeClick()
{
    if (lvwFile->topLevelItemCount() == 0 || FWorking || !MayChangeBackups())
        return;
    const std::vector<std::string> paths = ToLocal(ListedPaths());
    std::vector<TBackupFailure> failed;
    {
        TFlagScope working(FWorking);
        if (!Confirm(RestoreQuestion(BackupWorkList(paths).size())))
            return;
        failed = RestoreBackups(paths);
    }
    ShowDone(QString::fromStdString(RestoreDoneMessage(failed)));
}

void TfrmBackup::bbnDeleteBackupClick()
{
    if (lvwFile->topLevelItemCount() == 0 || FWorking || !MayChangeBackups())
        return;
    const std::vector<std::string> paths = ToLocal(ListedPaths());
    std::vector<TBackupFailure> failed;
    {
        TFlagScope working(FWorking);
        if (!Confirm(DeleteQuestion(BackupWorkList(paths).size())))
            return;
        failed = DeleteBackups(paths);
    }
    ShowDone(QString::fromStdString(DeleteDoneMessage(failed)));
    lvwFile->clear();
}

void TfrmBackup::bbnCancelClick()
{
    close();
}

bool TfrmBackup::MayChangeBackups()
{
    if (!FBatchRunning || !FBatchRunning())
        return true;
    QMessageBox::warning(this, windowTitle(),
                         tr("色置換の実行中はバックアップの復元・消去はできません。\n"
                            "実行が終わってからもう一度お試しください。"),
                         QMessageBox::Ok);
    return false;
}

bool TfrmBackup::Confirm(const std::string& Question)
{
    return QMessageBox::question(this, windowTitle(), QString::fromStdString(Question),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TfrmBackup::ShowDone(const QString& Text)
{
    QMessageBox::information(this, windowTitle(), Text, QMessageBox::Ok);
}

void TfrmBackup::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    setAcceptDrops(true);
    if (FCentred)
        return;
    FCentred = true;
    CentreOnOwner(this);
}

void TfrmBackup::dragEnterEvent(QDragEnterEvent* Event)
{
    if (Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
}

void TfrmBackup::dragMoveEvent(QDragMoveEvent* Event)
{
    if (Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
}

void TfrmBackup::dropEvent(QDropEvent* Event)
{
    QStringList names;
    for (const QUrl& url : Event->mimeData()->urls()) {
        if (url.isLocalFile())
            names << url.toLocalFile();
    }
    Event->acceptProposedAction();
    AddDroppedFiles(names);
}

bool TfrmBackup::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == lvwFile && Event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Delete) {
        bbnDeleteFileClick();
        return true;
    }
    return QWidget::eventFilter(Watched, Event);
}
