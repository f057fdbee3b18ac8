#include "ui/FileList.h"

#include "batch/FileSearch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableWidget>

#include <algorithm>

namespace FileListRules {

const QStringList& ListedExtensions()
{
    static const QStringList Extensions = [] {
        QStringList List;
        for (const TSiteExtension& Site : SiteExtensions)
            List.append(QLatin1String(Site.Extension));
        return List;
    }();
    return Extensions;
}

bool IsPhoto(const QString& Path)
{
    return IsPhotoPath(ToNativePath(FileNameOf(Path)));
}

bool IsPicture(const QString& Path)
{
    return IsPicturePath(ToNativePath(FileNameOf(Path)));
}

QString FileNameOf(const QString& Path)
{
    return Path.mid(Path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtensionOf(const QString& Name)
{
    const qsizetype Dot = Name.lastIndexOf(QLatin1Char('.'));
    return Dot < 0 ? QString() : Name.mid(Dot);
}

bool HasListedExtension(const QString& Path)
{
    return ListedExtensions().contains(ExtensionOf(FileNameOf(Path)), Qt::CaseInsensitive);
}

QStringList SearchSiteFolder(const QString& Folder, bool SubFolders, std::vector<TSkippedEntry>* Skipped)
{
    QStringList Found;
    if (Folder.isEmpty())
        return Found;
    for (const std::string& Path : ::SearchSiteFolder(ToNativePath(Folder), SubFolders, Skipped))
        Found.append(FromNativePath(Path));
    return Found;
}

std::string ToNativePath(const QString& Path)
{
    return QFile::encodeName(Path).toStdString();
}

QString FromNativePath(const std::string& Path)
{
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

}  // namespace FileListRules

TFileList::TFileList(QTableWidget* List) : FList(List) {}

void TFileList::SetUpTable(QTableWidget* Table)
{
    Table->setColumnCount(2);
    Table->setHorizontalHeaderLabels(
        {QCoreApplication::translate("TFileList", "ファイル名"), QCoreApplication::translate("TFileList", "フルパス")});
    Table->setColumnWidth(FileNameColumn, 100);
    Table->setColumnWidth(FullPathColumn, 500);
    Table->horizontalHeader()->setHighlightSections(false);
    Table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Table->verticalHeader()->setVisible(false);
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 4);
    Table->setShowGrid(true);
    Table->setWordWrap(false);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSortingEnabled(false);
    Table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

int TFileList::NameColumnWidth(int ViewportWidth)
{
    return std::max(100, ViewportWidth * 3 / 10);
}

void TFileList::AddFile(const QString& Path)
{
    const int Row = FList->rowCount();
    FList->insertRow(Row);
    auto* Name = new QTableWidgetItem(FileListRules::FileNameOf(Path));
    Name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    Name->setCheckState(FileListRules::IsPhoto(Path) ? Qt::Unchecked : Qt::Checked);
    auto* Full = new QTableWidgetItem(Path);
    Full->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    FList->setItem(Row, FileNameColumn, Name);
    FList->setItem(Row, FullPathColumn, Full);
}

void TFileList::AddFiles(const QStringList& Paths)
{
    FList->setUpdatesEnabled(false);
    for (const QString& Path : Paths)
        AddFile(Path);
    FList->setUpdatesEnabled(true);
}

void TFileList::AddFolder(const QString& Folder, bool SubFolders)
{
    AddFiles(FileListRules::SearchSiteFolder(Folder, SubFolders, &FSkipped));
}

void TFileList::AddDropped(const QStringList& Names, bool SubFolders)
{
    for (const QString& Name : Names) {
        if (Name.isEmpty())
            continue;
        if (QFileInfo(Name).isDir())
            AddFolder(Name, SubFolders);
        else if (FileListRules::HasListedExtension(Name))
            AddFile(Name);
    }
}

void TFileList::DeleteSelected()
{
    DeleteSelectedRows(FList);
}

void TFileList::Clear()
{
    FList->setRowCount(0);
    FSkipped.clear();
}

void TFileList::CheckAll(bool Checked)
{
    for (int Row = 0; Row < Count(); ++Row)
        SetChecked(Row, Checked);
}

void TFileList::CheckExtension(const QString& Extension)
{
    const QString Wanted = QLatin1Char('.') + Extension;
    for (int Row = 0; Row < Count(); ++Row) {
        if (FileListRules::ExtensionOf(FileName(Row)).compare(Wanted, Qt::CaseInsensitive) == 0)
            SetChecked(Row, true);
    }
}

int TFileList::Count() const
{
    return FList->rowCount();
}

QString TFileList::FullPath(int Row) const
{
    const QTableWidgetItem* Item = FList->item(Row, FullPathColumn);
    return Item ? Item->text() : QString();
}

QString TFileList::FileName(int Row) const
{
    const QTableWidgetItem* Item = FList->item(Row, FileNameColumn);
    return Item ? Item->text() : QString();
}

bool TFileList::IsChecked(int Row) const
{
    const QTableWidgetItem* Item = FList->item(Row, FileNameColumn);
    return Item && Item->checkState() == Qt::Checked;
}

void TFileList::SetChecked(int Row, bool Checked)
{
    if (QTableWidgetItem* Item = FList->item(Row, FileNameColumn))
        Item->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

QString TFileList::FirstSelectedPath() const
{
    const QModelIndexList Rows = FList->selectionModel()->selectedRows(FullPathColumn);
    if (Rows.isEmpty())
        return {};
    const auto First = std::min_element(Rows.begin(), Rows.end(),
                                        [](const QModelIndex& A, const QModelIndex& B) { return A.row() < B.row(); });
    return FullPath(First->row());
}

std::vector<TBatchItem> TFileList::BatchItems() const
{
    std::vector<TBatchItem> Items;
    Items.reserve(static_cast<std::size_t>(Count()));
    for (int Row = 0; Row < Count(); ++Row)
        Items.push_back(TBatchItem{IsChecked(Row), FileListRules::ToNativePath(FullPath(Row))});
    return Items;
}

void TFileList::DeleteSelectedRows(QTableWidget* Table)
{
    QItemSelectionModel* Selection = Table->selectionModel();
    int Index = -1;
    for (int Row = 0; Row < Table->rowCount(); ++Row) {
        if (Selection->isRowSelected(Row, QModelIndex())) {
            Index = Row;
            break;
        }
    }
    Table->setUpdatesEnabled(false);
    for (int Row = Table->rowCount() - 1; Row >= 0; --Row) {
        if (Selection->isRowSelected(Row, QModelIndex()))
            Table->removeRow(Row);
        if (Index == Table->rowCount())
            --Index;
    }
    Table->setUpdatesEnabled(true);
    Table->clearSelection();
    if (Index >= 0) {
        Table->setCurrentCell(Index, 0, QItemSelectionModel::NoUpdate);
        Table->selectRow(Index);
    }
}
