// The main window headless: its controls and defaults, the scroll-bar labels, the colour
// arrays built from the table rows, drops, keys, the check-by-extension pop-up, the PNG page
// and the single batch window, which never runs together with a restore or delete of backups.

#include "base/Exceptions.h"
#include "ui/MainForm.h"
#include "ui/BackupForm.h"
#include "ui/ColourPairForm.h"
#include "ui/BatchForm.h"
#include "ui/UrlViewForm.h"
#include "ui/CommandLine.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "support/WindowTestSupport.h"

#include <algorithm>
#include <functional>

using namespace windowtest;

namespace {

template <typename T>
T* Control(QObject& Form, const char* Name)
{
    T* Found = Form.findChild<T*>(QLatin1String(Name));
    if (!Found)
        qFatal("no control %s", Name);
    return Found;
}

template <typename T>
QList<T*> OpenWindows()
{
    QList<T*> Found;
    for (QWidget* Widget : QApplication::topLevelWidgets()) {
        if (auto* Form = qobject_cast<T*>(Widget); Form && Form->isVisible())
            Found << Form;
    }
    return Found;
}

// Runs Action and hands every message box it shows to Answer, which must close it; returns
// their texts in the order they came.
QStringList AnsweredMessages(const std::function<void()>& Action, const std::function<void(QMessageBox*)>& Answer)
{
    QStringList Texts;
    QList<QPointer<QMessageBox>> Seen;
    QTimer Timer;
    Timer.setInterval(20);
    QObject::connect(&Timer, &QTimer::timeout, [&] {
        auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!Box || Seen.contains(Box))
            return;
        Seen << Box;
        Texts << Box->text();
        Answer(Box);
    });
    Timer.start();
    Action();
    return Texts;
}

// Answers every message box Action shows with Yes where it has one, else accepts it.
QStringList AnsweredYes(const std::function<void()>& Action)
{
    return AnsweredMessages(Action, [](QMessageBox* Box) {
        if (QAbstractButton* Button = Box->button(QMessageBox::Yes))
            Button->click();
        else
            Box->accept();
    });
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithTheDesignDefaults();
    void menusCarryTheirCaptions();
    void scrollBarsMoveByOneAndShowTheirValue();
    void colourArraysFollowTheRows();
    void hexToIntRefusesWhatIsNotHexadecimal();
    void dropsFollowTheRules();
    void deleteKeyAndButtonDeleteTheSelection();
    void checkPlusMenuOpensBesideTheButtonAndChecksByExtension();
    void picturePageShowsTheImageOrFallsBack();
    void batchInputTakesTheSettingsOfTheMoment();
    void batchCommandWaitsForARunningBatchAndReplacesAFinishedOne();
    void batchAsksFirstAndStartsNothingWithoutFiles();
    void afterABatchTheAdjustmentIsBackAtZero();
    void scrollBarsTakeTheKeyboardAndNumberBoxesFollow();
    void tabReachesEveryControlAndEachHasAName();
    void mnemonicsAreNotShared();
    void fileNameColumnWidensWithTheWindow();
    void readmeOrEditorThatCannotOpenIsReported();
    void commandLineNamesJoinTheList();
    void qtDialogsSpeakJapanese();
    void backupsAreNotChangedWhileTheBatchRuns();
    void noBatchStartsWhileBackupsAreRestored();
    void aboutTextNamesProgramAndVersion();
    void readmeLiesBesideTheProgram();
    void otherWindowsAreSingleInstances();
};

void MainFormTest::startsWithTheDesignDefaults()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QCOMPARE(Form.windowTitle(), QString("Tessival"));
    // The designed places; the right-hand column and with it the window are wider by what its
    // captions need beyond the designed 249 pixels in this font (never cut off).
    const int Wider = std::max(0, Control<QWidget>(Form, "RightColumn")->sizeHint().width() - 249);
    QCOMPARE(Form.centralWidget()->size(), QSize(583 + Wider, 502));

    QCOMPARE(Control<QGroupBox>(Form, "grpHSB")->title(), QString("色の調節(&A)"));
    QCOMPARE(Control<QGroupBox>(Form, "grpSpecificColors")->title(), QString("特定色変更(&C)"));
    QCOMPARE(Control<QGroupBox>(Form, "grpSetting")->title(), QString("設定(&S)"));
    QCOMPARE(Control<QPushButton>(Form, "bbnOperation")->text(), QString("色置換実行(&O)..."));
    QCOMPARE(Control<QPushButton>(Form, "btnNewColors")->text(), QString("追加(&P)..."));
    QCOMPARE(Control<QPushButton>(Form, "btnDeleteColors")->text(), QString("消す(&D)"));

    const auto* Backup = Control<QCheckBox>(Form, "cbxBackup");
    QCOMPARE(Backup->text(), QString("バックアップファイルをつくる(&B)"));
    QVERIFY(Backup->isChecked());
    const auto* SubFolders = Control<QCheckBox>(Form, "cbxSubFolderSearch");
    QCOMPARE(SubFolders->text(), QString("フォルダを開くときサブフォルダも検索(&U)"));
    QVERIFY(SubFolders->isChecked());
    const auto* GifTransparent = Control<QCheckBox>(Form, "cbxGifTransparent");
    QCOMPARE(GifTransparent->text(), QString("透過GIF対応（透過は常に保ちます・互換用）(&G)"));
    QVERIFY(GifTransparent->toolTip().contains(QString("互換のために残してあり")));
    QVERIFY(!GifTransparent->isChecked());
    QCOMPARE(Control<QLabel>(Form, "lblRefreshTime")->text(), QString("プレビューの更新時間[秒]:"));

    auto* Refresh = Control<QSpinBox>(Form, "udnRefreshTime");
    QCOMPARE(Refresh->value(), 3);
    QCOMPARE(Refresh->minimum(), 1);
    QCOMPARE(Refresh->maximum(), 100);
    QVERIFY(!Refresh->wrapping());
    QVERIFY(Control<QLineEdit>(Form, "edtRefreshTime")->isReadOnly());
    Refresh->stepDown();
    Refresh->stepDown();
    Refresh->stepDown();
    QCOMPARE(Refresh->value(), 1);  // no wrap-round
    Refresh->setValue(100);
    Refresh->stepUp();
    QCOMPARE(Refresh->value(), 100);

    const struct {
        const char* Name;
        const char* Tip;
    } Buttons[] = {{"bbnOpenFile", "ファイルからリストに追加"}, {"bbnOpenFolder", "フォルダからリストに追加"},
                   {"bbnDeleteFile", "選択したファイルを消す"}, {"bbnAllCheck", "全てチェックする"},
                   {"bbnAllCheckClear", "すべてのチェックをはずす"}, {"bbnCheckPlus", "指定した拡張子をチェックする"},
                   {"bbnShowPreview", "プレビュー画面を開く"}, {"bbnAllDeleteFile", "リストをクリアする"}};
    for (const auto& Button : Buttons) {
        auto* Widget = Control<QToolButton>(Form, Button.Name);
        QCOMPARE(Widget->toolTip(), QString::fromUtf8(Button.Tip));
        QCOMPARE(Widget->size(), QSize(24, 24));
    }

    auto* Colors = Control<QTableWidget>(Form, "lvwColors");
    QCOMPARE(Colors->columnCount(), 3);
    QCOMPARE(Colors->horizontalHeaderItem(0)->text(), QString("調整"));
    QCOMPARE(Colors->horizontalHeaderItem(1)->text(), QString("この色を"));
    QCOMPARE(Colors->horizontalHeaderItem(2)->text(), QString("この色に"));
    QCOMPARE(Control<QTableWidget>(Form, "lvwFile")->rowCount(), 0);

    const struct {
        const char* Name;
        QRect Design;
    } Areas[] = {{"pnlFile", {8, 8, 306, 486}}, {"grpHSB", {325, 4, 249 + Wider, 121}},
                 {"grpSpecificColors", {325, 140, 249 + Wider, 157}}, {"grpSetting", {325, 312, 249 + Wider, 117}},
                 {"bbnOperation", {325, 440, 249 + Wider, 50}}};
    for (const auto& Area : Areas) {
        auto* Widget = Control<QWidget>(Form, Area.Name);
        QCOMPARE(QRect(Widget->mapTo(Form.centralWidget(), QPoint(0, 0)), Widget->size()), Area.Design);
    }

    for (const char* Name : {"cbxBackup", "cbxSubFolderSearch", "cbxGifTransparent"}) {
        auto* Box = Control<QCheckBox>(Form, Name);
        QVERIFY2(Box->width() >= Box->sizeHint().width(), Name);
    }

    // The file panel takes what the window grows by; the right-hand column keeps its width
    // and its distance from the right edge.
    auto* Panel = Control<QWidget>(Form, "pnlFile");
    auto* Operation = Control<QPushButton>(Form, "bbnOperation");
    const int PanelWidth = Panel->width();
    const int OperationWidth = Operation->width();
    const int RightGap = Form.centralWidget()->width() - Operation->mapTo(Form.centralWidget(), QPoint(Operation->width(), 0)).x();
    Form.resize(Form.width() + 100, Form.height() + 40);
    QTRY_COMPARE(Panel->width(), PanelWidth + 100);
    QCOMPARE(Operation->width(), OperationWidth);
    QCOMPARE(Form.centralWidget()->width() - Operation->mapTo(Form.centralWidget(), QPoint(Operation->width(), 0)).x(), RightGap);
}

void MainFormTest::menusCarryTheirCaptions()
{
    TfrmMain Form;
    QStringList Titles;
    for (QAction* Menu : Form.menuBar()->actions())
        Titles << Menu->text();
    QCOMPARE(Titles, QStringList({"ファイル(&F)", "編集(&E)", "ヘルプ(&H)"}));
    const struct {
        const char* Name;
        const char* Caption;
    } Items[] = {{"mitOpenFile", "ファイルを追加(&F)..."}, {"mitOpenFolder", "フォルダを追加(&O)..."},
                 {"mitListClear", "ファイルリストをクリア(&C)"}, {"mitExit", "終了(&X)"},
                 {"mitURL", "URLでプレビュー(&U)..."}, {"mitBackup", "バックアップの復元/消去(&B)..."},
                 {"mitOperation", "色置換実行(&O)..."}, {"mitReadme", "Readme(&R)"},
                 {"mitAbout", "バージョン情報(&A)..."}, {"mitCss", "css をチェック(&C)"},
                 {"mitPng", "png をチェック(&P)"}, {"mitGif", "gif をチェック(&G)"}, {"mitHtml", "htmlをチェック(&H)"},
                 {"mitSvg", "svg をチェック(&S)"}, {"mitJpeg", "jpeg をチェック(&J)"}, {"mitWebp", "webp をチェック(&W)"}};
    for (const auto& Item : Items)
        QCOMPARE(Control<QAction>(Form, Item.Name)->text(), QString::fromUtf8(Item.Caption));

    Form.FileList().AddFiles({"/w/a.html", "/w/b.css"});
    Control<QAction>(Form, "mitListClear")->trigger();
    QCOMPARE(Form.FileList().Count(), 0);
}

void MainFormTest::scrollBarsMoveByOneAndShowTheirValue()
{
    TfrmMain Form;
    auto* H = Control<QScrollBar>(Form, "scbH");
    auto* S = Control<QScrollBar>(Form, "scbS");
    auto* B = Control<QScrollBar>(Form, "scbB");
    QCOMPARE(H->minimum(), -180);
    QCOMPARE(H->maximum(), 180);
    QCOMPARE(S->minimum(), -255);
    QCOMPARE(S->maximum(), 255);
    QCOMPARE(B->minimum(), -255);
    QCOMPARE(B->maximum(), 255);
    for (const char* Label : {"lblHValue", "lblSValue", "lblBValue"})
        QCOMPARE(Control<QLabel>(Form, Label)->text(), QString("0"));

    H->setValue(H->minimum());
    QCOMPARE(Control<QLabel>(Form, "lblHValue")->text(), QString("-180"));
    S->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(Control<QLabel>(Form, "lblSValue")->text(), QString("1"));
    S->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(Control<QLabel>(Form, "lblSValue")->text(), QString("2"));
    B->setValue(-300);
    QCOMPARE(Control<QLabel>(Form, "lblBValue")->text(), QString("-255"));

    const TConversionSettings Settings = Form.CurrentSettings();
    QCOMPARE(Settings.HueOffset, -180);
    QCOMPARE(Settings.SatOffset, 2);
    QCOMPARE(Settings.BrightOffset, -255);
}

void MainFormTest::colourArraysFollowTheRows()
{
    TfrmMain Form;
    auto* Colors = Control<QTableWidget>(Form, "lvwColors");
    Form.AddColorRow(true, TRGBColor{255, 128, 0}, TRGBColor{0, 0, 255});
    Form.AddColorRow(false, TRGBColor{1, 2, 3}, TRGBColor{171, 205, 239});
    QCOMPARE(Colors->rowCount(), 2);
    QCOMPARE(Colors->item(0, 0)->text(), QString("あり"));
    QCOMPARE(Colors->item(0, 1)->text(), QString("#FF8000"));
    QCOMPARE(Colors->item(0, 2)->text(), QString("#0000FF"));
    QCOMPARE(Colors->item(1, 0)->text(), QString("なし"));
    QCOMPARE(Colors->item(1, 2)->text(), QString("#ABCDEF"));

    QCOMPARE(Form.AdjustFlags(), (std::vector<std::uint8_t>{1, 0}));
    QCOMPARE(Form.BeforeColors().at(0), (TRGBColor{255, 128, 0}));
    QCOMPARE(Form.AfterColors().at(0), (TRGBColor{0, 0, 255}));
    QCOMPARE(Form.BeforeColors().at(1), (TRGBColor{1, 2, 3}));
    QCOMPARE(Form.AfterColors().at(1), (TRGBColor{171, 205, 239}));

    // Only the exact caption "あり" adjusts.
    Colors->item(0, 0)->setText(QString("あり "));
    Form.UpdateSpecificColors();
    QCOMPARE(Form.AdjustFlags(), (std::vector<std::uint8_t>{0, 0}));
    Colors->item(0, 0)->setText(QString("あり"));
    Form.UpdateSpecificColors();

    const TConversionSettings Settings = Form.CurrentSettings();
    QCOMPARE(Settings.AdjustFlags, Form.AdjustFlags());
    QCOMPARE(Settings.BeforeColors.size(), std::size_t(2));

    // Deleting the first row keeps the arrays parallel to what is left.
    Colors->selectRow(0);
    Control<QPushButton>(Form, "btnDeleteColors")->click();
    QCOMPARE(Colors->rowCount(), 1);
    QCOMPARE(Form.AdjustFlags(), (std::vector<std::uint8_t>{0}));
    QCOMPARE(Form.BeforeColors().at(0), (TRGBColor{1, 2, 3}));

    // The Delete key in the table does the same; all rows gone, all arrays empty.
    Colors->selectRow(0);
    Colors->setFocus();
    QTest::keyClick(Colors, Qt::Key_Delete);
    QCOMPARE(Colors->rowCount(), 0);
    QVERIFY(Form.AdjustFlags().empty());
    QVERIFY(Form.BeforeColors().empty());
    QVERIFY(Form.AfterColors().empty());
}

void MainFormTest::hexToIntRefusesWhatIsNotHexadecimal()
{
    TfrmMain Form;
    QCOMPARE(Form.HexToInt("FF"), 255);
    QCOMPARE(Form.HexToInt("80"), 128);
    QCOMPARE(Form.HexToInt("0a"), 10);
    for (const char* Bad : {"", "G0", "-1", " 1", "\xEF\xBC\x91\xEF\xBC\x92"}) {
        try {
            Form.HexToInt(QString::fromUtf8(Bad));
            QFAIL(qPrintable(QString("accepted \"%1\"").arg(QString::fromUtf8(Bad))));
        } catch (const EConvertError& Error) {
            QCOMPARE(QString::fromStdString(Error.Message()), QString("16進文字から数字に変換できませんでした"));
        }
    }
}

void MainFormTest::dropsFollowTheRules()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("site/b.html"));
    WriteFile(Dir.filePath("site/a.HTM"));
    WriteFile(Dir.filePath("site/c.css"));
    WriteFile(Dir.filePath("site/sub/d.png"));
    WriteFile(Dir.filePath("LOGO.GIF"));
    WriteFile(Dir.filePath("notes.txt"));

    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QVERIFY(Form.acceptDrops());
    Control<QCheckBox>(Form, "cbxSubFolderSearch")->setChecked(false);
    QVERIFY(Drop(Form, {Dir.filePath("notes.txt"), Dir.filePath("site"), Dir.filePath("LOGO.GIF")}));
    QCOMPARE(ListedPaths(Form.FileList()), QStringList({Dir.filePath("site/a.HTM"), Dir.filePath("site/b.html"),
                                             Dir.filePath("site/c.css"), Dir.filePath("LOGO.GIF")}));
    for (int Row = 0; Row < Form.FileList().Count(); ++Row)
        QVERIFY(Form.FileList().IsChecked(Row));

    Form.FileList().Clear();
    Control<QCheckBox>(Form, "cbxSubFolderSearch")->setChecked(true);
    QVERIFY(Drop(*Control<QTableWidget>(Form, "lvwFile")->viewport(), {Dir.filePath("site")}));
    QCOMPARE(ListedPaths(Form.FileList()).size(), 4);
    QCOMPARE(ListedPaths(Form.FileList()).last(), Dir.filePath("site/sub/d.png"));
}

void MainFormTest::deleteKeyAndButtonDeleteTheSelection()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    auto* Files = Control<QTableWidget>(Form, "lvwFile");
    Form.FileList().AddFiles({"/w/0.html", "/w/1.html", "/w/2.html", "/w/3.html", "/w/4.html"});
    Files->selectRow(3);
    Files->selectionModel()->select(Files->model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Files->setFocus();
    QTest::keyClick(Files, Qt::Key_Delete);
    QCOMPARE(ListedPaths(Form.FileList()), QStringList({"/w/0.html", "/w/1.html", "/w/2.html"}));
    QCOMPARE(Files->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(Files->selectionModel()->selectedRows().first().row(), 2);

    Control<QToolButton>(Form, "bbnDeleteFile")->click();
    QCOMPARE(ListedPaths(Form.FileList()), QStringList({"/w/0.html", "/w/1.html"}));
    QCOMPARE(Files->selectionModel()->selectedRows().first().row(), 1);

    Control<QToolButton>(Form, "bbnAllCheckClear")->click();
    QVERIFY(!Form.FileList().IsChecked(0) && !Form.FileList().IsChecked(1));
    Control<QToolButton>(Form, "bbnAllCheck")->click();
    QVERIFY(Form.FileList().IsChecked(0) && Form.FileList().IsChecked(1));
    Control<QToolButton>(Form, "bbnAllDeleteFile")->click();
    QCOMPARE(Form.FileList().Count(), 0);
}

void MainFormTest::checkPlusMenuOpensBesideTheButtonAndChecksByExtension()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    auto* Button = Control<QToolButton>(Form, "bbnCheckPlus");
    QCOMPARE(Form.CheckPlusMenuPoint(), Button->mapToGlobal(QPoint(20, 20)));

    Form.FileList().AddFiles({"/w/a.htm", "/w/b.html", "/w/c.css", "/w/d.png", "/w/e.GIF"});
    Form.FileList().CheckAll(false);
    Control<QAction>(Form, "mitHtml")->trigger();
    QCOMPARE(QList<bool>({Form.FileList().IsChecked(0), Form.FileList().IsChecked(1), Form.FileList().IsChecked(2),
                          Form.FileList().IsChecked(3), Form.FileList().IsChecked(4)}),
             QList<bool>({true, true, false, false, false}));
    Control<QAction>(Form, "mitGif")->trigger();
    QVERIFY(Form.FileList().IsChecked(4));
    Control<QAction>(Form, "mitPng")->trigger();
    QVERIFY(Form.FileList().IsChecked(3));
    QVERIFY(!Form.FileList().IsChecked(2));
    Control<QAction>(Form, "mitCss")->trigger();
    QVERIFY(Form.FileList().IsChecked(2));

    // SVG files come checked, photos unchecked; each entry checks its own kind, both spellings.
    Form.FileList().AddFiles({"/w/f.svg", "/w/g.SVGZ", "/w/h.jpg", "/w/i.JPEG", "/w/j.webp"});
    Form.FileList().CheckAll(false);
    const auto CheckedFrom = [&](int First) {
        QList<bool> Checked;
        for (int Row = First; Row < Form.FileList().Count(); ++Row)
            Checked << Form.FileList().IsChecked(Row);
        return Checked;
    };
    Control<QAction>(Form, "mitSvg")->trigger();
    QCOMPARE(CheckedFrom(5), QList<bool>({true, true, false, false, false}));
    Control<QAction>(Form, "mitJpeg")->trigger();
    QCOMPARE(CheckedFrom(5), QList<bool>({true, true, true, true, false}));
    Control<QAction>(Form, "mitWebp")->trigger();
    QCOMPARE(CheckedFrom(5), QList<bool>({true, true, true, true, true}));
    QVERIFY(!Form.FileList().IsChecked(0));

    // The menu opens at its point where the screen has room for it below (seven entries tall).
    Form.move(Form.x(), 0);
    QTRY_COMPARE(Form.y(), 0);
    Button->click();
    auto* Menu = Control<QMenu>(Form, "pupCheckPlus");
    QTRY_VERIFY(Menu->isVisible());
    QCOMPARE(Menu->pos(), Form.CheckPlusMenuPoint());
    Menu->close();
}

void MainFormTest::batchAsksFirstAndStartsNothingWithoutFiles()
{
    QCOMPARE(TfrmMain::BatchQuestion(2, true),
             QStringLiteral("チェックした 2 個のファイルの色を変換します。\n"
                            "バックアップ：つくる（元のファイルは「.bak」を付けた名前で残ります）\n\n実行しますか？"));
    QVERIFY(TfrmMain::BatchQuestion(8700, false).contains(QStringLiteral("8700 個")));
    QVERIFY(TfrmMain::BatchQuestion(1, false).contains(QStringLiteral("バックアップ：つくらない")));
    // Checked photos are counted, and said to lose a little quality.
    QCOMPARE(TfrmMain::BatchQuestion(5, true, 3),
             QStringLiteral("チェックした 5 個のファイルの色を変換します。\n"
                            "バックアップ：つくる（元のファイルは「.bak」を付けた名前で残ります）\n"
                            "写真（JPEG・WebP）：3 個（保存するたびに画質が少し落ちます）\n\n実行しますか？"));
    QCOMPARE(TfrmMain::BatchQuestion(2, true, 0), TfrmMain::BatchQuestion(2, true));

    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    auto* Operation = Control<QPushButton>(Form, "bbnOperation");
    // An empty list, then a list with nothing checked: said so, nothing started.
    QCOMPARE(AnsweredYes([&] { Operation->click(); }), QStringList{TfrmMain::NothingToConvertText()});
    QVERIFY(Form.BatchForm().isNull());
    Form.FileList().AddFiles({"/nowhere/a.html", "/nowhere/b.css", "/nowhere/c.png"});
    Form.FileList().CheckAll(false);
    QCOMPARE(AnsweredYes([&] { Operation->click(); }), QStringList{TfrmMain::NothingToConvertText()});
    QVERIFY(Form.BatchForm().isNull());

    // Two checked, backups off: the question says so, No is the default and starts nothing.
    Form.FileList().SetChecked(0, true);
    Form.FileList().SetChecked(2, true);
    Control<QCheckBox>(Form, "cbxBackup")->setChecked(false);
    bool NoIsDefault = false;
    QCOMPARE(AnsweredMessages([&] { Operation->click(); },
                              [&](QMessageBox* Box) {
                                  NoIsDefault = Box->defaultButton() == Box->button(QMessageBox::No);
                                  Box->button(QMessageBox::No)->click();
                              }),
             QStringList{TfrmMain::BatchQuestion(2, false)});
    QVERIFY(NoIsDefault);
    QVERIFY(Form.BatchForm().isNull());
    // A photo checked by hand is counted in the question.
    Form.FileList().AddFiles({"/nowhere/d.webp", "/nowhere/e.jpg"});
    Form.FileList().SetChecked(3, true);
    QCOMPARE(AnsweredMessages([&] { Operation->click(); },
                              [&](QMessageBox* Box) { Box->button(QMessageBox::No)->click(); }),
             QStringList{TfrmMain::BatchQuestion(3, false, 1)});
    QVERIFY(Form.BatchForm().isNull());
    // Yes starts it.
    AnsweredYes([&] { Operation->click(); });
    QVERIFY(Form.BatchForm());
    QTRY_VERIFY(Form.BatchForm()->IsFinished());
}

void MainFormTest::afterABatchTheAdjustmentIsBackAtZero()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("page.html"), "<body text=\"#FF0000\" bgcolor=\"#000080\">\r\n");
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    auto* Hue = Control<QScrollBar>(Form, "scbH");
    auto* Colors = Control<QTableWidget>(Form, "lvwColors");

    // A batch that converted nothing leaves the settings as they are, to be tried again.
    Form.FileList().AddFiles({Dir.filePath("missing.html")});
    Hue->setValue(120);
    Form.AddColorRow(false, TRGBColor{0, 0, 128}, TRGBColor{255, 255, 255});
    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QTRY_VERIFY(Form.BatchForm() && Form.BatchForm()->IsFinished());
    QCOMPARE(Hue->value(), 120);
    QCOMPARE(Colors->rowCount(), 1);

    // One that wrote the files: they now hold the change, so nothing is left to shift.
    Form.FileList().Clear();
    Form.FileList().AddFiles({Dir.filePath("page.html")});
    Control<QScrollBar>(Form, "scbS")->setValue(-10);
    Control<QScrollBar>(Form, "scbB")->setValue(7);
    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QTRY_VERIFY(Form.BatchForm() && Form.BatchForm()->IsFinished());
    QVERIFY(ReadFile(Dir.filePath("page.html")).contains("#FFFFFF"));
    for (const char* Bar : {"scbH", "scbS", "scbB"})
        QCOMPARE(Control<QScrollBar>(Form, Bar)->value(), 0);
    for (const char* Box : {"udnH", "udnS", "udnB"})
        QCOMPARE(Control<QSpinBox>(Form, Box)->value(), 0);
    QCOMPARE(Colors->rowCount(), 0);
    const TConversionSettings Left = Form.CurrentSettings();
    QVERIFY(Left.HueOffset == 0 && Left.SatOffset == 0 && Left.BrightOffset == 0);
    QVERIFY(Left.BeforeColors.empty() && Left.AfterColors.empty() && Left.AdjustFlags.empty());
}

void MainFormTest::scrollBarsTakeTheKeyboardAndNumberBoxesFollow()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowActive(&Form));
    const struct {
        const char* Bar;
        const char* Box;
        const char* Label;
        int Limit;
    } Rows[] = {{"scbH", "udnH", "lblHValue", 180}, {"scbS", "udnS", "lblSValue", 255}, {"scbB", "udnB", "lblBValue", 255}};
    for (const auto& Row : Rows) {
        auto* Bar = Control<QScrollBar>(Form, Row.Bar);
        auto* Box = Control<QSpinBox>(Form, Row.Box);
        QVERIFY(Bar->focusPolicy() & Qt::TabFocus);
        QCOMPARE(Box->minimum(), -Row.Limit);
        QCOMPARE(Box->maximum(), Row.Limit);
        Bar->setFocus();
        QTRY_VERIFY(Bar->hasFocus());
        QTest::keyClick(Bar, Qt::Key_Right);
        QTest::keyClick(Bar, Qt::Key_Right);
        QTest::keyClick(Bar, Qt::Key_Left);
        QCOMPARE(Bar->value(), 1);
        QCOMPARE(Box->value(), 1);
        QCOMPARE(Control<QLabel>(Form, Row.Label)->text(), QString("1"));
        // A number typed into the box moves the bar.
        Box->setFocus();
        Box->selectAll();
        QTest::keyClicks(Box, "-42");
        QTest::keyClick(Box, Qt::Key_Return);
        QCOMPARE(Box->value(), -42);
        QCOMPARE(Bar->value(), -42);
        QCOMPARE(Control<QLabel>(Form, Row.Label)->text(), QString("-42"));
        Bar->setValue(0);
        QCOMPARE(Box->value(), 0);
    }
    QCOMPARE(Form.CurrentSettings().HueOffset, 0);
    Control<QSpinBox>(Form, "udnH")->setValue(30);
    QCOMPARE(Form.CurrentSettings().HueOffset, 30);
}

void MainFormTest::tabReachesEveryControlAndEachHasAName()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowActive(&Form));
    const QStringList Controls{"lvwFile", "bbnOpenFile", "bbnOpenFolder", "bbnDeleteFile", "bbnAllCheck",
                               "bbnAllCheckClear", "bbnCheckPlus", "bbnShowPreview", "bbnAllDeleteFile",
                               "scbH", "udnH", "scbS", "udnS", "scbB", "udnB", "lvwColors", "btnNewColors",
                               "btnDeleteColors", "cbxBackup", "cbxSubFolderSearch", "cbxGifTransparent",
                               "udnRefreshTime", "bbnOperation"};
    for (const QString& Name : Controls) {
        auto* Widget = Control<QWidget>(Form, qPrintable(Name));
        QVERIFY2(!Widget->accessibleName().isEmpty(), qPrintable(Name));
    }
    Control<QWidget>(Form, "lvwFile")->setFocus();
    QSet<QString> Reached;
    for (int Press = 0; Press < 3 * Controls.size(); ++Press) {
        QWidget* Focus = QApplication::focusWidget();
        QVERIFY(Focus);
        // A number box's edit stands for its box.
        for (QWidget* W = Focus; W && W != &Form; W = W->parentWidget())
            if (Controls.contains(W->objectName()))
                Reached << W->objectName();
        QTest::keyClick(Focus, Qt::Key_Tab);
    }
    for (const QString& Name : Controls)
        QVERIFY2(Reached.contains(Name), qPrintable(Name));
}

void MainFormTest::mnemonicsAreNotShared()
{
    TfrmMain Form;
    QStringList Keys;
    const auto KeyOf = [](const QString& Text) {
        const qsizetype At = Text.indexOf(QStringLiteral("(&"));
        return At < 0 ? QString() : Text.mid(At + 2, 1).toUpper();
    };
    for (QAction* Menu : Form.menuBar()->actions())
        Keys << KeyOf(Menu->text());
    for (QAbstractButton* Button : Form.centralWidget()->findChildren<QAbstractButton*>())
        Keys << KeyOf(Button->text());
    for (QGroupBox* Group : Form.centralWidget()->findChildren<QGroupBox*>())
        Keys << KeyOf(Group->title());
    Keys.removeAll(QString());
    QVERIFY(Keys.contains("F"));  // the file menu's
    for (const QString& Key : Keys)
        QVERIFY2(Keys.count(Key) == 1, qPrintable(QStringLiteral("Alt+%1 twice: %2").arg(Key, Keys.join(' '))));
}

void MainFormTest::fileNameColumnWidensWithTheWindow()
{
    QCOMPARE(TFileList::NameColumnWidth(0), 100);
    QCOMPARE(TFileList::NameColumnWidth(302), 100);
    QCOMPARE(TFileList::NameColumnWidth(900), 270);
    QCOMPARE(TFileList::NameColumnWidth(333), 100);
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    auto* Files = Control<QTableWidget>(Form, "lvwFile");
    QCOMPARE(Files->columnWidth(0), 100);
    Form.resize(Form.width() + 600, Form.height());
    QTRY_COMPARE(Files->columnWidth(0), TFileList::NameColumnWidth(Files->viewport()->width()));
    QVERIFY(Files->columnWidth(0) > 250);
}

void MainFormTest::readmeOrEditorThatCannotOpenIsReported()
{
    QVERIFY(TfrmMain::ReadmeFailureText(QString()).contains(QStringLiteral("見つかりません")));
    QVERIFY(TfrmMain::ReadmeFailureText("/x/readme.txt").contains("/x/readme.txt"));
    QVERIFY(TfrmMain::EditorFailureText("/x/a.css").contains("/x/a.css"));

    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QList<QUrl> Asked;
    Form.SetUrlOpener([&](const QUrl& Url) {
        Asked << Url;
        return false;
    });
    const auto Accept = [](QMessageBox* Box) { Box->accept(); };
    QCOMPARE(AnsweredMessages([&] { Control<QAction>(Form, "mitReadme")->trigger(); }, Accept),
             QStringList{TfrmMain::ReadmeFailureText(TfrmMain::ReadmePath())});
    QCOMPARE(Asked, QList<QUrl>{QUrl::fromLocalFile(TfrmMain::ReadmePath())});

    // A stylesheet with no editor to be had: no desktop default, no VISUAL or EDITOR.
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("a.css"));
    const QByteArray Path = qgetenv("PATH"), Visual = qgetenv("VISUAL"), Editor = qgetenv("EDITOR");
    qputenv("PATH", Dir.path().toLocal8Bit());
    qunsetenv("VISUAL");
    qunsetenv("EDITOR");
    Form.FileList().AddFiles({Dir.filePath("a.css")});
    Control<QTableWidget>(Form, "lvwFile")->selectRow(0);
    const QStringList Texts = AnsweredMessages([&] { Control<QToolButton>(Form, "bbnShowPreview")->click(); }, Accept);
    qputenv("PATH", Path);
    if (!Visual.isEmpty()) qputenv("VISUAL", Visual);
    if (!Editor.isEmpty()) qputenv("EDITOR", Editor);
    QCOMPARE(Texts, QStringList{TfrmMain::EditorFailureText(Dir.filePath("a.css"))});
}

void MainFormTest::commandLineNamesJoinTheList()
{
    TCommandLine Line = ParseCommandLine({"a.html", "--version", "site", "--", "--help", "-"});
    QVERIFY(Line.Version);
    QVERIFY(!Line.Help);
    QVERIFY(Line.Error.isEmpty());
    QCOMPARE(Line.Names, QStringList({"a.html", "site", "--help", "-"}));
    QVERIFY(ParseCommandLine({"-h"}).Help);
    QVERIFY(ParseCommandLine({"--frobnicate"}).Error.contains("--frobnicate"));
    QVERIFY(HelpText().startsWith(QStringLiteral("使い方: tessival")));
    QVERIFY(HelpText().contains(QStringLiteral("（.htm .html .css .gif .png .svg .svgz .jpg .jpeg .webp .jpe .jfif）")));
    QVERIFY(HelpText().contains(QStringLiteral("写真（.jpg .jpeg .webp .jpe .jfif）はチェックをはずして")));
    QCOMPARE(VersionText(), QStringLiteral("tessival ") + TfrmMain::GetFileVersion() + '\n');

    QTemporaryDir Dir;
    WriteFile(Dir.filePath("site/b.html"));
    WriteFile(Dir.filePath("site/sub/c.css"));
    WriteFile(Dir.filePath("one.png"));
    TfrmMain Form;
    const QString Here = QDir::currentPath();
    QDir::setCurrent(Dir.path());
    Form.AddCommandLineFiles({"one.png", Dir.filePath("site")});
    QDir::setCurrent(Here);
    QCOMPARE(ListedPaths(Form.FileList()),
             QStringList({Dir.filePath("one.png"), Dir.filePath("site/b.html"), Dir.filePath("site/sub/c.css")}));
}

void MainFormTest::qtDialogsSpeakJapanese()
{
    const QString Before = QCoreApplication::translate("QFileDialog", "Look in:");
    QVERIFY(InstallQtTranslations(*QCoreApplication::instance()));
    const QString After = QCoreApplication::translate("QFileDialog", "Look in:");
    QVERIFY2(After != Before, qPrintable(After));
    QVERIFY(QCoreApplication::translate("QColorDialog", "&Basic colors") != QLatin1String("&Basic colors"));
}

void MainFormTest::picturePageShowsTheImageOrFallsBack()
{
    QTemporaryDir Dir;
    const QString Png = Dir.filePath("画像 #1&2.png");
    const QString Page = TfrmMain::MakePicturePage(Png, Dir.path());
    QCOMPARE(Page, Dir.filePath("pictureshow.html"));
    QFile File(Page);
    QVERIFY(File.open(QIODevice::ReadOnly));
    const QByteArray Expected = "<html><body>\r\n<img src=\"" +
                                QUrl::fromLocalFile(Png).toString(QUrl::FullyEncoded).replace("&", "&amp;").toUtf8() +
                                "\">\r\n</body></html>\r\n";
    QCOMPARE(File.readAll(), Expected);
    QVERIFY(Expected.contains("%23"));  // the "#" cannot end the path early
    File.close();

    // A second page replaces the first.
    TfrmMain::MakePicturePage(Dir.filePath("b.png"), Dir.path());
    QVERIFY(File.open(QIODevice::ReadOnly));
    QVERIFY(File.readAll().contains("b.png"));
    File.close();
    // Every picture format gets the same page.
    for (const char* Name : {"c.gif", "d.svg", "e.svgz", "f.jpg", "g.JPEG", "h.webp"}) {
        QCOMPARE(TfrmMain::MakePicturePage(Dir.filePath(Name), Dir.path()), Page);
        QVERIFY(File.open(QIODevice::ReadOnly));
        QCOMPARE(File.readAll(), "<html><body>\r\n<img src=\"" + QUrl::fromLocalFile(Dir.filePath(Name)).toEncoded() +
                                     "\">\r\n</body></html>\r\n");
        File.close();
    }

    // A compressed SVG is shown from the SVG inside, copied beside the page.
    const QByteArray Svg = "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect fill=\"red\"/></svg>\n";
    WriteFile(Dir.filePath("i.svg"), Svg);
    QCOMPARE(QProcess::execute("gzip", {"-S", "z", Dir.filePath("i.svg")}), 0);
    QCOMPARE(TfrmMain::MakePicturePage(Dir.filePath("i.svgz"), Dir.path()), Page);
    QVERIFY(File.open(QIODevice::ReadOnly));
    QCOMPARE(File.readAll(), "<html><body>\r\n<img src=\"" +
                                 QUrl::fromLocalFile(Dir.filePath("pictureshow.svg")).toEncoded() +
                                 "\">\r\n</body></html>\r\n");
    File.close();
    QFile Copy(Dir.filePath("pictureshow.svg"));
    QVERIFY(Copy.open(QIODevice::ReadOnly));
    QCOMPARE(Copy.readAll(), Svg);

    QCOMPARE(TfrmMain::MakePicturePage(Png, Dir.filePath("no/such/folder")), Png);

    // The page the preview shows goes to the user's runtime or cache folder, never beside the
    // program.
    const QString Folder = TfrmMain::PicturePageFolder();
    QVERIFY(QFileInfo(Folder).isDir());
    QVERIFY(QDir(Folder) != QDir(QCoreApplication::applicationDirPath()));
    const QString Runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString Cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QVERIFY2((!Runtime.isEmpty() && Folder.startsWith(Runtime)) || Folder == Cache, qPrintable(Folder));
}

void MainFormTest::batchInputTakesTheSettingsOfTheMoment()
{
    TfrmMain Form;
    Form.FileList().AddFiles({"/w/a.html", "/w/b.png"});
    Form.FileList().SetChecked(1, false);
    Control<QCheckBox>(Form, "cbxBackup")->setChecked(false);
    Control<QCheckBox>(Form, "cbxGifTransparent")->setChecked(true);
    Control<QScrollBar>(Form, "scbH")->setValue(120);
    Form.AddColorRow(true, TRGBColor{255, 0, 0}, TRGBColor{0, 0, 0});

    const TBatchInput Input = Form.BatchInput();
    QCOMPARE(Input.Items.size(), std::size_t(2));
    QCOMPARE(Input.Items[0].FullPath, std::string("/w/a.html"));
    QVERIFY(Input.Items[0].Checked);
    QVERIFY(!Input.Items[1].Checked);
    QVERIFY(!Input.Backup);
    QVERIFY(Input.GifTransparent);
    QCOMPARE(Input.Settings.HueOffset, 120);
    QCOMPARE(Input.Settings.BeforeColors, std::vector<TRGBColor>({TRGBColor{255, 0, 0}}));
}

void MainFormTest::batchCommandWaitsForARunningBatchAndReplacesAFinishedOne()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Form.FileList().AddFiles({"/nowhere/a.html"});
    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QPointer<TfrmBatch> First = Form.BatchForm();
    QVERIFY(First);
    QVERIFY(First->isVisible());
    QCOMPARE(First->windowTitle(), QString("実行"));

    // Before the batch has reported back the window is running: its OK button is off, it
    // refuses to close, and the command does nothing.
    QVERIFY(First->IsRunning());
    QVERIFY(!Control<QPushButton>(*First, "bbnOK")->isEnabled());
    QVERIFY(!First->close());
    QVERIFY(AnsweredYes([&] { Control<QAction>(Form, "mitOperation")->trigger(); }).isEmpty());
    QCOMPARE(Form.BatchForm().data(), First.data());
    QCOMPARE(Form.findChildren<TfrmBatch*>().size(), 1);

    QTRY_VERIFY(First->IsFinished());
    QVERIFY(Control<QPushButton>(*First, "bbnOK")->isEnabled());
    // Finished and still open: the command asks, and answered No leaves the log where it is.
    QCOMPARE(AnsweredMessages([&] { Control<QPushButton>(Form, "bbnOperation")->click(); },
                              [](QMessageBox* Box) { Box->button(QMessageBox::No)->click(); })
                 .size(),
             1);
    QCOMPARE(Form.BatchForm().data(), First.data());
    QVERIFY(First->isVisible());
    // Answered Yes, the finished log closes and the new batch has its own window.
    QCOMPARE(AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); }).size(), 1);
    QTRY_VERIFY(First.isNull());
    QVERIFY(Form.BatchForm());
    QCOMPARE(Form.findChildren<TfrmBatch*>().size(), 1);
    QTRY_VERIFY(Form.BatchForm()->IsFinished());

    QPointer<TfrmBatch> Second = Form.BatchForm();
    Control<QPushButton>(*Second, "bbnOK")->click();
    QTRY_VERIFY(Second.isNull());
    QVERIFY(Form.BatchForm().isNull());
    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QVERIFY(Form.BatchForm());
    QTRY_VERIFY(Form.BatchForm()->IsFinished());
}

void MainFormTest::backupsAreNotChangedWhileTheBatchRuns()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("page.css"), "converted");
    WriteFile(Dir.filePath("page.css.bak"), "original");
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Control<QAction>(Form, "mitBackup")->trigger();
    TfrmBackup* Backup = OpenWindows<TfrmBackup>().first();
    Backup->AddFile(Dir.filePath("page.css.bak"));
    Form.FileList().AddFiles({Dir.filePath("missing.css")});

    // Until the batch has reported back it is running, whatever it converts.
    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QVERIFY(Form.BatchForm() && Form.BatchForm()->IsRunning());
    const auto Accept = [](QMessageBox* Box) { Box->accept(); };
    const QString Refusal = QStringLiteral(
        "色置換の実行中はバックアップの復元・消去はできません。\n実行が終わってからもう一度お試しください。");
    QCOMPARE(AnsweredMessages([&] { Backup->bbnResumeClick(); }, Accept), QStringList{Refusal});
    QCOMPARE(ReadFile(Dir.filePath("page.css")), QByteArray("converted"));
    QTRY_VERIFY(Form.BatchForm()->IsFinished());
    QPointer<TfrmBatch> First = Form.BatchForm();
    Control<QPushButton>(*First, "bbnOK")->click();
    QTRY_VERIFY(First.isNull());

    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QVERIFY(Form.BatchForm() && Form.BatchForm()->IsRunning());
    QCOMPARE(AnsweredMessages([&] { Backup->bbnDeleteBackupClick(); }, Accept), QStringList{Refusal});
    QCOMPARE(ReadFile(Dir.filePath("page.css.bak")), QByteArray("original"));
    QCOMPARE(Backup->ListedPaths(), QStringList{Dir.filePath("page.css.bak")});

    // The batch over, the backup manager goes ahead (its window still open).
    QTRY_VERIFY(Form.BatchForm()->IsFinished());
    const auto Yes = [](QMessageBox* Box) {
        if (QAbstractButton* Button = Box->button(QMessageBox::Yes))
            Button->click();
        else
            Box->accept();
    };
    QCOMPARE(AnsweredMessages([&] { Backup->bbnResumeClick(); }, Yes).size(), 2);
    QCOMPARE(ReadFile(Dir.filePath("page.css")), QByteArray("original"));
}

void MainFormTest::noBatchStartsWhileBackupsAreRestored()
{
    QTemporaryDir Dir;
    WriteFile(Dir.filePath("page.css"), "converted");
    WriteFile(Dir.filePath("page.css.bak"), "original");
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Control<QAction>(Form, "mitBackup")->trigger();
    TfrmBackup* Backup = OpenWindows<TfrmBackup>().first();
    Backup->AddFile(Dir.filePath("page.css.bak"));
    Form.FileList().AddFiles({Dir.filePath("missing.css")});

    // While the backup manager asks, the batch command is given; then the question is answered No.
    bool Asked = false;
    const QStringList Texts = AnsweredMessages([&] { Backup->bbnResumeClick(); }, [&](QMessageBox* Box) {
        if (Asked) {
            Box->accept();
            return;
        }
        Asked = true;
        QTimer::singleShot(0, &Form, [&Form] { Control<QPushButton>(Form, "bbnOperation")->click(); });
        QTimer::singleShot(0, Box, [Box] { Box->button(QMessageBox::No)->click(); });
    });
    QCOMPARE(Texts, (QStringList{QStringLiteral("1 個のバックアップを元のファイルに戻します。よろしいですか？"),
                                 QStringLiteral("バックアップの復元・消去の実行中は色置換を実行できません。")}));
    QVERIFY(Form.BatchForm().isNull());
    QCOMPARE(ReadFile(Dir.filePath("page.css")), QByteArray("converted"));

    // Once the backup manager is done, the batch starts.
    AnsweredYes([&] { Control<QPushButton>(Form, "bbnOperation")->click(); });
    QVERIFY(Form.BatchForm());
    QTRY_VERIFY(Form.BatchForm()->IsFinished());
}

void MainFormTest::aboutTextNamesProgramAndVersion()
{
    const QStringList Lines = TfrmMain::AboutText().split('\n');
    QCOMPARE(Lines.size(), 4);
    QCOMPARE(Lines.at(0), QString("Tessival ") + TfrmMain::GetFileVersion());
    QVERIFY(!TfrmMain::GetFileVersion().isEmpty());
    QCOMPARE(Lines.at(1), QString());
    QVERIFY(!Lines.at(2).isEmpty() && !Lines.at(3).isEmpty());
}

void MainFormTest::readmeLiesBesideTheProgram()
{
    // The test programs share the program's folder, where the build puts readme.txt.
    const QString Path = TfrmMain::ReadmePath();
    QCOMPARE(Path, QDir(QCoreApplication::applicationDirPath()).filePath("readme.txt"));
    QFile File(Path);
    QVERIFY(File.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(File.readAll()).startsWith(QStringLiteral("Tessival")));
}

void MainFormTest::otherWindowsAreSingleInstances()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));

    Control<QPushButton>(Form, "btnNewColors")->click();
    Control<QPushButton>(Form, "btnNewColors")->click();
    QCOMPARE(OpenWindows<TfrmColourPair>().size(), 1);
    // The pair the dialog hands over becomes a row and reaches the arrays at once.
    emit OpenWindows<TfrmColourPair>().first()->PairAccepted(false, TRGBColor{255, 128, 0}, TRGBColor{0, 0, 0});
    QCOMPARE(Control<QTableWidget>(Form, "lvwColors")->item(0, 1)->text(), QString("#FF8000"));
    QCOMPARE(Form.AdjustFlags(), (std::vector<std::uint8_t>{0}));
    QCOMPARE(Form.CurrentSettings().BeforeColors.at(0), (TRGBColor{255, 128, 0}));

    Control<QAction>(Form, "mitBackup")->trigger();
    Control<QAction>(Form, "mitBackup")->trigger();
    QCOMPARE(OpenWindows<TfrmBackup>().size(), 1);
    Control<QAction>(Form, "mitURL")->trigger();
    Control<QAction>(Form, "mitURL")->trigger();
    QCOMPARE(OpenWindows<TfrmUrlView>().size(), 1);

    // A closed window is gone; the next request makes a fresh one.
    QPointer<TfrmBackup> Backup = OpenWindows<TfrmBackup>().first();
    Backup->close();
    QTRY_VERIFY(Backup.isNull());
    Control<QAction>(Form, "mitBackup")->trigger();
    QCOMPARE(OpenWindows<TfrmBackup>().size(), 1);

    // Closing the main window closes the others with it.
    QVERIFY(Form.close());
    QTRY_COMPARE(OpenWindows<TfrmBackup>().size(), 0);
    QCOMPARE(OpenWindows<TfrmUrlView>().size(), 0);
    QCOMPARE(OpenWindows<TfrmColourPair>().size(), 0);
}

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
