// Every window on a small screen: at double scale on 1400 x 1000 pixels (700 x 500 to the
// windows) and at single scale on 1024 x 768, each fits the screen and can be resized.
// TESSIVAL_TEST_SCREEN ("1400x1000@2") chooses the screen; by default 1024x768@1.
// The windows speak the language of the locale, as the program does (base/Language.h);
// TESSIVAL_EXPECT_LANGUAGE ("ja" or "en") says which one the test expects: in English no
// caption, tool tip, accessible name, header, menu item or log text holds Japanese (file names
// aside), in Japanese the captions are Japanese. In both no caption is cut off: not in the
// windows, not in the main window's menus, not in the message boxes with the longest texts.
// The windows hold what a user sees: the sample site listed, colour pairs, a finished batch
// over the sample site, its backups.
// With TESSIVAL_SCREENSHOT_DIR set (tests/ui/screenshots.sh, under Xvfb) each window is saved
// there as PNG: TESSIVAL_SCREENSHOT_NAME ("en-2x"), "-" and the window.

#include "base/Language.h"
#include "ui/BackupForm.h"
#include "ui/BatchForm.h"
#include "ui/ColourPairForm.h"
#include "ui/CommandLine.h"
#include "ui/MainForm.h"
#include "ui/PreviewForm.h"
#include "ui/UrlViewForm.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QTreeWidget>
#include <QWebEngineView>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QSize ScreenPixels;
int ScreenScale = 1;
QString ScreenName;
QString SiteFolder;  // a copy of examples/site the windows show

bool HasJapanese(const QString& Text)
{
    for (const QChar Character : Text) {
        const char16_t Code = Character.unicode();
        if ((Code >= 0x3000 && Code <= 0x9FFF) || (Code >= 0xFF00 && Code <= 0xFFEF))
            return true;
    }
    return false;
}

// Every text of the interface a window shows or gives to screen readers, with where it is.
QList<QPair<QString, QString>> InterfaceTexts(QWidget& Window)
{
    QList<QPair<QString, QString>> Texts{{Window.objectName(), Window.windowTitle()}};
    const auto Add = [&Texts](const QObject* Where, const QString& Text) {
        if (!Text.isEmpty())
            Texts.append({Where->objectName(), Text});
    };
    for (QWidget* Widget : Window.findChildren<QWidget*>()) {
        Add(Widget, Widget->toolTip());
        Add(Widget, Widget->accessibleName());
        if (auto* Button = qobject_cast<QAbstractButton*>(Widget))
            Add(Button, Button->text());
        if (auto* Label = qobject_cast<QLabel*>(Widget))
            Add(Label, Label->text());
        if (auto* Group = qobject_cast<QGroupBox*>(Widget))
            Add(Group, Group->title());
        if (auto* Table = qobject_cast<QTableWidget*>(Widget)) {
            for (int Column = 0; Column < Table->columnCount(); ++Column)
                Add(Table, Table->horizontalHeaderItem(Column)->text());
            // The adjustment column of the colour pairs; the file columns hold names.
            if (Table->objectName() == QLatin1String("lvwColors"))
                for (int Row = 0; Row < Table->rowCount(); ++Row)
                    Add(Table, Table->item(Row, 0)->text());
        }
        if (auto* Tree = qobject_cast<QTreeWidget*>(Widget))
            for (int Column = 0; Column < Tree->columnCount(); ++Column)
                Add(Tree, Tree->headerItem()->text(Column));
        if (auto* Menu = qobject_cast<QMenu*>(Widget)) {
            Add(Menu, Menu->title());
            for (QAction* Item : Menu->actions())
                Add(Item, Item->text());
        }
    }
    if (auto* Main = qobject_cast<QMainWindow*>(&Window))
        for (QAction* Menu : Main->menuBar()->actions())
            Add(Main->menuBar(), Menu->text());
    return Texts;
}

void CheckLanguage(QWidget& Window, const char* Name)
{
    int Japanese = 0;
    for (const auto& [Where, Text] : InterfaceTexts(Window)) {
        if (InterfaceLanguage() == TLanguage::English)
            QVERIFY2(!HasJapanese(Text), qPrintable(QStringLiteral("%1: %2: \"%3\" is Japanese").arg(Name, Where, Text)));
        Japanese += HasJapanese(Text) ? 1 : 0;
    }
    if (InterfaceLanguage() == TLanguage::Japanese)
        QVERIFY2(Japanese > 0, Name);
}

// Every caption of a button, check box, label or group box gets the width and height it asks
// for as the window opens (a wrapped label the height of its lines), in Japanese as in English.
void CheckNothingCut(QWidget& Window, const QString& Name)
{
    for (QWidget* Widget : Window.findChildren<QWidget*>()) {
        if (!Widget->isVisibleTo(&Window) || Widget->window() != &Window)
            continue;
        QSize Wanted;
        auto* Label = qobject_cast<QLabel*>(Widget);
        if (auto* Button = qobject_cast<QAbstractButton*>(Widget); Button && !Button->text().isEmpty())
            Wanted = Widget->sizeHint();
        else if (Label && !Label->text().isEmpty() && Label->pixmap().isNull())
            Wanted = Label->wordWrap() ? QSize(0, Label->heightForWidth(Label->width())) : Label->sizeHint();
        else if (auto* Group = qobject_cast<QGroupBox*>(Widget); Group && !Group->title().isEmpty())
            Wanted = QSize(Group->fontMetrics().horizontalAdvance(Group->title()) + 8, 0);
        if (Wanted.isNull())
            continue;
        QVERIFY2(Widget->width() >= Wanted.width() && Widget->height() >= Wanted.height(),
                 qPrintable(QStringLiteral("%1: %2 is %3x%4, its text wants %5x%6")
                                .arg(Name, Widget->objectName())
                                .arg(Widget->width())
                                .arg(Widget->height())
                                .arg(Wanted.width())
                                .arg(Wanted.height())));
        // Nor does the box around it cut it off (what scrolls aside: the main window's
        // controls scroll on a small screen).
        QRect Place = Widget->geometry();
        for (QWidget* Box = Widget->parentWidget(); Box && Box != Window.parentWidget(); Box = Box->parentWidget()) {
            if (Box->objectName() == QLatin1String("qt_scrollarea_viewport"))
                break;
            QVERIFY2(Box->rect().contains(Place),
                     qPrintable(QStringLiteral("%1: %2 reaches out of %3").arg(Name, Widget->objectName(), Box->objectName())));
            Place.translate(Box->pos());
            if (Box == &Window)
                break;
        }
    }
}

// A menu of the main window, open: it lies on the screen, and each item has room for its text
// and shortcut.
void CheckMenu(QMenu& Menu, const QString& Name)
{
    QVERIFY2(QTest::qWaitForWindowExposed(&Menu), qPrintable(Name));
    const QRect Available = Menu.screen()->availableGeometry();
    QVERIFY2(Available.contains(Menu.geometry()), qPrintable(Name));
    QVERIFY2(Menu.width() >= Menu.sizeHint().width(), qPrintable(Name));
    for (QAction* Item : Menu.actions()) {
        if (Item->isSeparator())
            continue;
        const QRect Place = Menu.actionGeometry(Item);
        const int Wanted = Menu.fontMetrics().horizontalAdvance(QString(Item->text()).remove(QLatin1Char('&')));
        QVERIFY2(Menu.rect().contains(Place) && Place.width() > Wanted,
                 qPrintable(QStringLiteral("%1: %2 is %3 wide, its text wants %4")
                                .arg(Name, Item->objectName())
                                .arg(Place.width())
                                .arg(Wanted)));
    }
}

// Saves the window as the user sees it, when screenshots are asked for.
void SaveScreenshot(QWidget& Window, const char* Name)
{
    const QString Folder = qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR");
    if (Folder.isEmpty())
        return;
    QTest::qWait(300);
    const QString File = QDir(Folder).filePath(QStringLiteral("%1-%2.png").arg(ScreenName, QLatin1String(Name)));
    QVERIFY2(Window.grab().save(File), qPrintable(File));
}

void CheckFitsAndResizes(QWidget& Window, const char* Name, const char* FileName = nullptr)
{
    Window.show();
    QVERIFY2(QTest::qWaitForWindowExposed(&Window), Name);
    CheckLanguage(Window, Name);
    CheckNothingCut(Window, Name);
    if (QTest::currentTestFailed())
        return;
    if (FileName)
        SaveScreenshot(Window, FileName);
    const QScreen* Screen = Window.screen();
    const QRect Available = Screen->availableGeometry();
    QCOMPARE(Screen->geometry().size(), ScreenPixels / ScreenScale);
    QVERIFY2(Available.contains(Window.frameGeometry()),
             qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 is not inside %6x%7")
                            .arg(Name)
                            .arg(Window.frameGeometry().x())
                            .arg(Window.frameGeometry().y())
                            .arg(Window.frameGeometry().width())
                            .arg(Window.frameGeometry().height())
                            .arg(Available.width())
                            .arg(Available.height())));
    const QSize Minimum = Window.minimumSize().expandedTo(Window.minimumSizeHint());
    QVERIFY2(Minimum.width() <= Available.width() && Minimum.height() <= Available.height(), Name);
    // Resizable: it grows when asked to.
    const QSize Before = Window.size();
    Window.resize(Before + QSize(40, 40));
    QTRY_VERIFY2(Window.width() > Before.width(), Name);
    Window.resize(Minimum);
    QTRY_COMPARE(Window.size(), Minimum);

    // Every control the keyboard reaches has a name for screen readers (a number box's or a
    // list's inner parts stand for it).
    for (QWidget* Control : Window.findChildren<QWidget*>()) {
        if (!(Control->focusPolicy() & Qt::TabFocus) || !Control->isVisibleTo(&Window) || Control->isWindow())
            continue;
        if (qobject_cast<QAbstractSpinBox*>(Control->parentWidget()) || Control->objectName() == "qt_scrollarea_viewport")
            continue;
        if (Control->window() != &Window || Control->objectName() == "scrClient")
            continue;
        // The browser's inner parts: the page speaks for itself.
        if (Control->parentWidget() && Control->parentWidget()->inherits("QWebEngineView"))
            continue;
        QVERIFY2(!Control->accessibleName().isEmpty(),
                 qPrintable(QStringLiteral("%1: %2 (%3) has no name")
                                .arg(Name, Control->objectName(), Control->metaObject()->className())));
    }
}

// A message box as it opens: in the language, nothing cut off, on the screen.
void CheckMessageBox(QMessageBox& Box, const QString& Name, const char* FileName)
{
    QVERIFY2(QTest::qWaitForWindowExposed(&Box), qPrintable(Name));
    CheckLanguage(Box, qPrintable(Name));
    CheckNothingCut(Box, Name);
    if (QTest::currentTestFailed())
        return;
    SaveScreenshot(Box, FileName);
    const QRect Available = Box.screen()->availableGeometry();
    QVERIFY2(Available.contains(Box.frameGeometry()),
             qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 is not inside %6x%7")
                            .arg(Name)
                            .arg(Box.frameGeometry().x())
                            .arg(Box.frameGeometry().y())
                            .arg(Box.frameGeometry().width())
                            .arg(Box.frameGeometry().height())
                            .arg(Available.width())
                            .arg(Available.height())));
}

// Runs Action, which opens a message box and waits on it; the box is checked, its text
// returned, and it is closed with Answer (or accepted).
QString CheckedMessage(const std::function<void()>& Action, const QString& Name, const char* FileName,
                       QMessageBox::StandardButton Answer = QMessageBox::NoButton)
{
    QString Text;
    bool Seen = false;
    QTimer Watch;
    Watch.setInterval(20);
    QObject::connect(&Watch, &QTimer::timeout, [&] {
        QWidget* Modal = QApplication::activeModalWidget();
        if (!Modal)
            return;
        Watch.stop();
        auto* Box = qobject_cast<QMessageBox*>(Modal);
        if (!Box) {
            Modal->close();
            return;
        }
        Seen = true;
        Text = Box->text();
        CheckMessageBox(*Box, Name, FileName);
        if (QAbstractButton* Button = Box->button(Answer))
            Button->click();
        else
            Box->accept();
    });
    Watch.start();
    Action();
    if (!Seen)
        QTest::qFail(qPrintable(Name + QStringLiteral(": no message box")), __FILE__, __LINE__);
    return Text;
}

}  // namespace

class WindowSizeTest : public QObject {
    Q_OBJECT
private slots:
    void mainWindow()
    {
        TfrmMain Form;
        Form.FileList().AddFolder(SiteFolder, true);
        Form.AddColorRow(true, TRGBColor{255, 0, 0}, TRGBColor{0, 0, 255});
        Form.AddColorRow(false, TRGBColor{255, 204, 0}, TRGBColor{0, 128, 0});
        Form.findChild<QScrollBar*>("scbH")->setValue(120);
        Form.findChild<QScrollBar*>("scbS")->setValue(-20);
        // Every screen here is wide enough for the controls and a scroll bar beside them:
        // where they must scroll (at double scale), they scroll up and down only.
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QVERIFY(!Form.findChild<QScrollArea*>("scrClient")->horizontalScrollBar()->isVisible());
        CheckFitsAndResizes(Form, "frmMain", "main");
    }
    void mainWindowMenus()
    {
        TfrmMain Form;
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        // Every menu stands in the bar itself, none pushed behind its overflow button.
        QMenuBar* Bar = Form.menuBar();
        QList<QMenu*> Menus;
        for (QAction* Item : Bar->actions()) {
            QVERIFY2(Bar->rect().contains(Bar->actionGeometry(Item)), qPrintable(Item->text()));
            QVERIFY2(Item->menu(), qPrintable(Item->text()));
            Menus << Item->menu();
            Item->menu()->popup(Bar->mapToGlobal(Bar->actionGeometry(Item).bottomLeft()));
            CheckMenu(*Item->menu(), QStringLiteral("frmMain: ") + Item->menu()->objectName());
            SaveScreenshot(*Item->menu(), qPrintable(QStringLiteral("main-menu-") + Item->menu()->objectName()));
            Item->menu()->hide();
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(Menus.size(), 3);
        // The extensions bbnCheckPlus checks, the new formats among them.
        auto* CheckPlus = Form.findChild<QMenu*>("pupCheckPlus");
        QVERIFY(CheckPlus);
        QStringList Items;
        for (QAction* Item : CheckPlus->actions())
            Items << Item->objectName();
        QCOMPARE(Items, QStringList({"mitCss", "mitPng", "mitGif", "mitHtml", "mitSvg", "mitJpeg", "mitWebp"}));
        CheckPlus->popup(Form.CheckPlusMenuPoint());
        CheckMenu(*CheckPlus, QStringLiteral("frmMain: pupCheckPlus"));
        SaveScreenshot(*CheckPlus, "main-menu-check");
        CheckPlus->hide();
    }
    // The main window's questions and notices with the longest texts.
    void mainWindowMessages()
    {
        // The question counts the photos by name; no file is read, the batch is not started.
        QTemporaryDir Photos;
        QVERIFY(QDir().mkpath(Photos.filePath(QStringLiteral("photos"))));
        for (const char* Name : {"photos/shop-front.jpg", "photos/team.jpeg", "photos/banner.webp"}) {
            QFile File(Photos.filePath(QLatin1String(Name)));
            QVERIFY(File.open(QIODevice::WriteOnly) && File.write("photo") == 5);
        }
        TfrmMain Form;
        Form.FileList().AddFolder(SiteFolder, true);
        Form.FileList().AddFolder(Photos.path(), true);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        // Photos are listed unchecked; the check menu's items check them.
        Form.findChild<QAction*>("mitJpeg")->trigger();
        Form.findChild<QAction*>("mitWebp")->trigger();
        const QString Question = CheckedMessage([&Form] { Form.bbnOperationClick(); }, QStringLiteral("frmMain: batch question"),
                                                "message-batch", QMessageBox::No);
        QVERIFY2(Question.contains(InterfaceLanguage() == TLanguage::English ? QStringLiteral("Photos (JPEG, WebP): 3")
                                                                            : QStringLiteral("写真（JPEG・WebP）：3 個")),
                 qPrintable(Question));
        QVERIFY(!Form.BatchForm());
        Form.bbnAllCheckClearClick();
        CheckedMessage([&Form] { Form.bbnOperationClick(); }, QStringLiteral("frmMain: nothing to convert"),
                       "message-nothing");
        CheckedMessage([&Form] { Form.mitAboutClick(); }, QStringLiteral("frmMain: about"), "message-about");
    }
    void colourPairMessage()
    {
        TfrmColourPair Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        CheckedMessage([&Form] { Form.sbtBeforeSpuitClick(); }, QStringLiteral("frmColorSelect: eyedropper"),
                       "message-eyedropper");
    }
    void backupManagerMessages()
    {
        QTemporaryDir Site;
        QVERIFY(CopySite(Site.path()));
        QVERIFY(QFile::copy(Site.filePath("index.html"), Site.filePath("index.html.bak")));
        TfrmBackup Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.AddFolder(Site.path());
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        CheckedMessage([&Form] { Form.bbnResumeClick(); }, QStringLiteral("frmBackup: restore question"),
                       "message-restore", QMessageBox::No);
        QVERIFY(QFile::exists(Site.filePath("index.html.bak")));
        bool Running = true;
        Form.SetBatchRunning([&Running] { return Running; });
        CheckedMessage([&Form] { Form.bbnDeleteBackupClick(); }, QStringLiteral("frmBackup: batch running"),
                       "message-batch-running");
        QVERIFY(QFile::exists(Site.filePath("index.html.bak")));
    }
    void batchWindow()
    {
        // A batch over a copy of the sample site, finished.
        QTemporaryDir Site;
        QVERIFY(CopySite(Site.path()));
        TBatchInput Input;
        for (const QString& Path : FileListRules::SearchSiteFolder(Site.path(), true))
            Input.Items.push_back(TBatchItem{true, FileListRules::ToNativePath(Path)});
        Input.Items.push_back(TBatchItem{true, FileListRules::ToNativePath(Site.filePath("消えたページ.html"))});
        Input.Settings.HueOffset = 120;
        TfrmBatch Form{Input};
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.show();
        Form.ExecuteConversion();
        QVERIFY(QTest::qWaitFor([&Form] { return Form.IsFinished(); }, 20000));
        QCOMPARE(Form.Successes(), int(Input.Items.size()) - 1);
        // The log's own words are those of the language; the names stay as they are.
        for (QString Line : Form.LogLines()) {
            Line.remove(Site.path()).remove(QStringLiteral("消えたページ.html"));
            if (InterfaceLanguage() == TLanguage::English)
                QVERIFY2(!HasJapanese(Line), qPrintable(Line));
        }
        QCOMPARE(HasJapanese(Form.LogLines().last()), InterfaceLanguage() == TLanguage::Japanese);
        CheckFitsAndResizes(Form, "frmOperation", "batch");
    }
    void colourPairDialog()
    {
        TfrmColourPair Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmColorSelect", "colour-pair");
    }
    void colourPairDialogWithItsError()
    {
        TfrmColourPair Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.findChild<QLineEdit*>("edtBeforeHex")->setText(QStringLiteral("#GGHHII"));
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        Form.btnBeforeHexInputClick();
        QVERIFY(Form.findChild<QLabel*>("lblError")->isVisible());
        CheckFitsAndResizes(Form, "frmColorSelect with an error", "colour-pair-error");
    }
    void urlDialog()
    {
        TfrmUrlView Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmUrlView", "url");
    }
    void backupManager()
    {
        QTemporaryDir Site;
        QVERIFY(CopySite(Site.path()));
        for (const QString& Name : {QStringLiteral("index.html"), QStringLiteral("css/style.css"), QStringLiteral("images/logo.gif")})
            QVERIFY(QFile::copy(Site.filePath(Name), Site.filePath(Name + QStringLiteral(".bak"))));
        TfrmBackup Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.AddFolder(Site.path());
        QCOMPARE(Form.ListedPaths().size(), 3);
        CheckFitsAndResizes(Form, "frmBackup", "backup-manager");
    }
    void preview()
    {
        TfrmPreview Form([] {
            TConversionSettings Settings;
            Settings.HueOffset = 120;
            return Settings;
        });
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        ShowSitePage(Form);
        CheckFitsAndResizes(Form, "frmBrows", "preview");
    }
    void previewBesideTheMainWindow()
    {
        TfrmMain Main;
        Main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Main));
        TfrmPreview Form([] { return TConversionSettings{}; });
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.OpenBeside(&Main);
        CheckFitsAndResizes(Form, "frmBrows beside frmMain");
    }

public:
    static bool CopySiteFor(const QString& To) { return CopySite(To); }

private:
    static bool CopySite(const QString& To)
    {
        const QDir From(QStringLiteral(TESSIVAL_SOURCE_DIR "/examples/site"));
        for (const char* Name : {"index.html", "about.html", "css/style.css", "images/badge.png", "images/dot.gif",
                                    "images/logo.gif", "images/palette.png"}) {
            QDir().mkpath(QFileInfo(QDir(To).filePath(Name)).path());
            if (!QFile::copy(From.filePath(Name), QDir(To).filePath(Name)))
                return false;
        }
        return true;
    }
    // Under a display the preview shows the sample site's home page and its conversion.
    static void ShowSitePage(TfrmPreview& Form)
    {
        if (qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR").isEmpty())
            return;
        QSignalSpy Loaded(Form.Browser(), &QWebEngineView::loadFinished);
        Form.Navigate(QStringLiteral("file://") + QDir(SiteFolder).filePath(QStringLiteral("index.html")));
        Form.show();
        QVERIFY(Loaded.wait(20000));
        QTest::qWait(1500);
        Form.CaptureNow();
    }
};

int main(int argc, char** argv)
{
    const QString Wanted = qEnvironmentVariable("TESSIVAL_TEST_SCREEN", QStringLiteral("1024x768@1"));
    const QRegularExpressionMatch Match = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)@(\\d)$")).match(Wanted);
    if (!Match.hasMatch())
        qFatal("TESSIVAL_TEST_SCREEN: WIDTHxHEIGHT@SCALE expected");
    ScreenPixels = QSize(Match.captured(1).toInt(), Match.captured(2).toInt());
    ScreenScale = Match.captured(3).toInt();

    // One screen of that many pixels; the scale as a user would set it.
    QTemporaryDir Dir;
    const QString Config = Dir.filePath(QStringLiteral("screen.json"));
    QFile File(Config);
    if (!File.open(QIODevice::WriteOnly))
        qFatal("cannot write the screen description");
    File.write(QStringLiteral("{\"screens\": [{\"name\": \"small\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2, "
                              "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                   .arg(ScreenPixels.width())
                   .arg(ScreenPixels.height())
                   .toUtf8());
    File.close();
    // Screenshots are taken on the display of the Xvfb server the script starts, as large as
    // the screen asked for.
    if (qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR").isEmpty())
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + Config).toLocal8Bit());
    ScreenName = qEnvironmentVariable("TESSIVAL_SCREENSHOT_NAME", Wanted);
    qputenv("QT_SCALE_FACTOR", QByteArray::number(ScreenScale));
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication App(argc, argv);
    QApplication::setFont(TfrmMain::InterfaceFont());
    // The language as the program chooses it, from the locale.
    const QString Expected = qEnvironmentVariable("TESSIVAL_EXPECT_LANGUAGE");
    const TLanguage Language = InterfaceLanguage();
    if (!Expected.isEmpty() && Expected != (Language == TLanguage::English ? "en" : "ja"))
        qFatal("the locale gave another language than %s", qPrintable(Expected));
    if (!InstallQtTranslations(App, Language))
        qFatal("the translations cannot be loaded");
    QTemporaryDir Site;
    SiteFolder = Site.path();
    if (!WindowSizeTest::CopySiteFor(SiteFolder))
        qFatal("cannot copy the sample site");
    WindowSizeTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "WindowSizeTest.moc"
