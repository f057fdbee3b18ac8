// The file list's operations on a bare table: adding, folder order, drop rules, deleting the
// selection, checking by extension and what the batch is handed.

#include "ui/FileList.h"

#include <QDir>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "support/WindowTestSupport.h"

using namespace windowtest;

namespace {

QList<int> SelectedRows(QTableWidget& Table)
{
    QList<int> Rows;
    for (const QModelIndex& Index : Table.selectionModel()->selectedRows())
        Rows << Index.row();
    std::sort(Rows.begin(), Rows.end());
    return Rows;
}

void Select(QTableWidget& Table, const QList<int>& Rows)
{
    Table.clearSelection();
    for (int Row : Rows)
        Table.selectionModel()->select(Table.model()->index(Row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace

class FileListTest : public QObject {
    Q_OBJECT

private slots:
    void pathRules_data();
    void pathRules();
    void addedItemIsCheckedAndDuplicatesStay();
    void folderListsByExtensionInSearchOrder();
    void subFoldersOnlyWhenAsked();
    void sameFolderTwiceListsEverythingTwice();
    void dropRules();
    void photosAreListedUnchecked();
    void deleteSelection_data();
    void deleteSelection();
    void checkByExtensionOnlyChecks();
    void batchItemsKeepOrderStateAndBytes();
};

void FileListTest::pathRules_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("listed");
    QTest::newRow("html") << "/site/index.html" << "index.html" << ".html" << true;
    QTest::newRow("capital GIF") << "/site/LOGO.GIF" << "LOGO.GIF" << ".GIF" << true;
    QTest::newRow("two dots") << "/site/a.b.css" << "a.b.css" << ".css" << true;
    QTest::newRow("txt") << "/site/notes.txt" << "notes.txt" << ".txt" << false;
    QTest::newRow("no extension") << "/site/README" << "README" << "" << false;
    QTest::newRow("backup") << "/site/a.png.bak" << "a.png.bak" << ".bak" << false;
    QTest::newRow("dot in folder only") << "/si.te/page" << "page" << "" << false;
    QTest::newRow("Japanese") << "/サイト/表紙.htm" << "表紙.htm" << ".htm" << true;
    QTest::newRow("svg") << "/site/logo.svg" << "logo.svg" << ".svg" << true;
    QTest::newRow("svgz") << "/site/icons.SVGZ" << "icons.SVGZ" << ".SVGZ" << true;
    QTest::newRow("jpg") << "/site/photo.jpg" << "photo.jpg" << ".jpg" << true;
    QTest::newRow("jpeg") << "/site/photo.JPEG" << "photo.JPEG" << ".JPEG" << true;
    QTest::newRow("webp") << "/site/hero.webp" << "hero.webp" << ".webp" << true;
    QTest::newRow("jpe") << "/site/old.jpe" << "old.jpe" << ".jpe" << true;
    QTest::newRow("jfif") << "/site/saved.jfif" << "saved.jfif" << ".jfif" << true;
    QTest::newRow("jpeg2") << "/site/x.jpeg2" << "x.jpeg2" << ".jpeg2" << false;
}

void FileListTest::pathRules()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(bool, listed);
    QCOMPARE(FileListRules::FileNameOf(path), name);
    QCOMPARE(FileListRules::ExtensionOf(FileListRules::FileNameOf(path)), extension);
    QCOMPARE(FileListRules::HasListedExtension(path), listed);
}

void FileListTest::addedItemIsCheckedAndDuplicatesStay()
{
    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddFiles({"/w/a.html", "/w/b.css", "/w/a.html"});
    QCOMPARE(List.Count(), 3);
    QCOMPARE(ListedPaths(List), QStringList({"/w/a.html", "/w/b.css", "/w/a.html"}));
    QCOMPARE(List.FileName(1), QString("b.css"));
    QCOMPARE(Table.horizontalHeaderItem(0)->text(), QString("ファイル名"));
    QCOMPARE(Table.horizontalHeaderItem(1)->text(), QString("フルパス"));
    for (int Row = 0; Row < 3; ++Row)
        QVERIFY(List.IsChecked(Row));
    QVERIFY(!(Table.item(0, 0)->flags() & Qt::ItemIsEditable));
}

void FileListTest::folderListsByExtensionInSearchOrder()
{
    QTemporaryDir Dir;
    QVERIFY(Dir.isValid());
    // Created in the opposite order, so the file system's own order cannot explain the result.
    WriteFile(Dir.filePath("c.css"));
    WriteFile(Dir.filePath("b.html"));
    WriteFile(Dir.filePath("a.HTM"));
    WriteFile(Dir.filePath("page.HTML"));
    WriteFile(Dir.filePath("skip.txt"));

    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddFolder(Dir.path(), true);
    const QStringList Found = ListedPaths(List);
    QCOMPARE(Found.size(), 4);
    QCOMPARE(Found.at(0), Dir.filePath("a.HTM"));
    // page.HTML belongs to the ".html" search, never to the ".htm" one.
    QCOMPARE(QSet<QString>(Found.begin() + 1, Found.begin() + 3),
             QSet<QString>({Dir.filePath("b.html"), Dir.filePath("page.HTML")}));
    QCOMPARE(Found.at(3), Dir.filePath("c.css"));
}

void FileListTest::subFoldersOnlyWhenAsked()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("top.gif"));
    WriteFile(Dir.filePath("sub/inner.gif"));
    WriteFile(Dir.filePath("sub/deeper/deep.png"));

    QTableWidget Flat;
    TFileList::SetUpTable(&Flat);
    TFileList FlatList(&Flat);
    FlatList.AddFolder(Dir.path(), false);
    QCOMPARE(ListedPaths(FlatList), QStringList({Dir.filePath("top.gif")}));

    QTableWidget Deep;
    TFileList::SetUpTable(&Deep);
    TFileList DeepList(&Deep);
    DeepList.AddFolder(Dir.path(), true);
    const QStringList DeepPaths = ListedPaths(DeepList);
    QCOMPARE(QSet<QString>(DeepPaths.begin(), DeepPaths.end()),
             QSet<QString>({Dir.filePath("top.gif"), Dir.filePath("sub/inner.gif"), Dir.filePath("sub/deeper/deep.png")}));
    QCOMPARE(DeepList.FullPath(2), Dir.filePath("sub/deeper/deep.png"));  // the ".png" pass comes last
}

void FileListTest::sameFolderTwiceListsEverythingTwice()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("a.html"));
    WriteFile(Dir.filePath("b.png"));
    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddFolder(Dir.path(), true);
    List.SetChecked(0, false);
    List.AddFolder(Dir.path(), true);
    QCOMPARE(ListedPaths(List), QStringList({Dir.filePath("a.html"), Dir.filePath("b.png"),
                                       Dir.filePath("a.html"), Dir.filePath("b.png")}));
    QVERIFY(!List.IsChecked(0));
    QVERIFY(List.IsChecked(2) && List.IsChecked(3));
}

// Photos (JPEG, WebP) are content more often than decoration: however they come into the list
// they come unchecked, SVG files checked like style sheets. The user may check them.
void FileListTest::photosAreListedUnchecked()
{
    QTemporaryDir Dir;
    for (const char* Name : {"e.webp", "d.JPEG", "c.jpg", "b.svgz", "a.svg", "index.html", "bg.png"})
        WriteFile(Dir.filePath(QString::fromUtf8(Name)));
    WriteFile(Dir.filePath("dropped/g.jpg"));
    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddFolder(Dir.path(), false);
    List.AddFiles({"/w/chosen.jpeg", "/w/chosen.svg"});
    List.AddDropped({Dir.filePath("dropped/g.jpg")}, false);
    List.AddDropped({Dir.filePath("dropped")}, false);
    QCOMPARE(ListedPaths(List),
             QStringList({Dir.filePath("index.html"), Dir.filePath("bg.png"), Dir.filePath("a.svg"),
                          Dir.filePath("b.svgz"), Dir.filePath("c.jpg"), Dir.filePath("d.JPEG"), Dir.filePath("e.webp"),
                          "/w/chosen.jpeg", "/w/chosen.svg", Dir.filePath("dropped/g.jpg"), Dir.filePath("dropped/g.jpg")}));
    QList<bool> Checked;
    for (int Row = 0; Row < List.Count(); ++Row)
        Checked << List.IsChecked(Row);
    QCOMPARE(Checked, QList<bool>({true, true, true, true, false, false, false, false, true, false, false}));
    // Unchecked rows are handed to the batch as unchecked.
    QCOMPARE(List.BatchItems().at(4).Checked, false);
    List.CheckExtension("jpg");
    QVERIFY(List.IsChecked(4) && List.IsChecked(9) && !List.IsChecked(5));
}

void FileListTest::dropRules()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("site/index.html"));
    WriteFile(Dir.filePath("site/sub/deep.css"));
    WriteFile(Dir.filePath("LOGO.GIF"));
    WriteFile(Dir.filePath("notes.txt"));

    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddDropped({Dir.filePath("notes.txt"), Dir.filePath("site"), Dir.filePath("LOGO.GIF"),
                     Dir.filePath("gone.png"), QString()},
                    false);
    // The folder itself is searched (not its sub-folder); the capital GIF is taken; the text
    // file is ignored; a listed extension is enough for a file name, as for the open dialog.
    QCOMPARE(ListedPaths(List), QStringList({Dir.filePath("site/index.html"), Dir.filePath("LOGO.GIF"),
                                       Dir.filePath("gone.png")}));

    List.Clear();
    List.AddDropped({Dir.filePath("site")}, true);
    QCOMPARE(ListedPaths(List), QStringList({Dir.filePath("site/index.html"), Dir.filePath("site/sub/deep.css")}));
}

void FileListTest::deleteSelection_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("last two") << 5 << QList<int>{3, 4} << QStringList{"0", "1", "2"} << 2;
    QTest::newRow("one in the middle") << 5 << QList<int>{1} << QStringList{"0", "2", "3", "4"} << 1;
    QTest::newRow("scattered") << 5 << QList<int>{0, 2, 4} << QStringList{"1", "3"} << 0;
    QTest::newRow("from the middle to the end") << 4 << QList<int>{2, 3} << QStringList{"0", "1"} << 1;
    QTest::newRow("all") << 3 << QList<int>{0, 1, 2} << QStringList{} << -1;
    QTest::newRow("none") << 3 << QList<int>{} << QStringList{"0", "1", "2"} << -1;
}

void FileListTest::deleteSelection()
{
    QFETCH(int, count);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, left);
    QFETCH(int, selectedAfter);

    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    for (int Row = 0; Row < count; ++Row)
        List.AddFile(QString::number(Row));
    Select(Table, selected);
    List.DeleteSelected();

    QStringList Names;
    for (int Row = 0; Row < List.Count(); ++Row)
        Names << List.FileName(Row);
    QCOMPARE(Names, left);
    QCOMPARE(SelectedRows(Table), selectedAfter < 0 ? QList<int>{} : QList<int>{selectedAfter});
}

void FileListTest::checkByExtensionOnlyChecks()
{
    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddFiles({"/w/a.htm", "/w/b.HTML", "/w/c.css", "/w/d.png", "/w/e.html.bak", "/w/f.gif"});
    List.CheckAll(false);
    List.SetChecked(3, true);

    List.CheckExtension("htm");
    List.CheckExtension("html");
    QVERIFY(List.IsChecked(0));
    QVERIFY(List.IsChecked(1));
    QVERIFY(!List.IsChecked(2));  // css stays as it was
    QVERIFY(List.IsChecked(3));   // checked before, never unchecked
    QVERIFY(!List.IsChecked(4));
    QVERIFY(!List.IsChecked(5));

    List.CheckExtension("GIF");
    QVERIFY(List.IsChecked(5));
    List.CheckAll(true);
    for (int Row = 0; Row < List.Count(); ++Row)
        QVERIFY(List.IsChecked(Row));
}

void FileListTest::batchItemsKeepOrderStateAndBytes()
{
    QTableWidget Table;
    TFileList::SetUpTable(&Table);
    TFileList List(&Table);
    List.AddFiles({"/w/z.html", "/w/色.css"});
    List.SetChecked(0, false);
    const std::vector<TBatchItem> Items = List.BatchItems();
    QCOMPARE(Items.size(), std::size_t(2));
    QVERIFY(!Items[0].Checked);
    QCOMPARE(QString::fromStdString(Items[0].FullPath), QString("/w/z.html"));
    QVERIFY(Items[1].Checked);
    QCOMPARE(Items[1].FullPath, std::string("/w/\xE8\x89\xB2.css"));
    QCOMPARE(List.FirstSelectedPath(), QString());
    Select(Table, {1, 0});
    QCOMPARE(List.FirstSelectedPath(), QString("/w/z.html"));
}

QTEST_MAIN(FileListTest)
#include "FileListTest.moc"
