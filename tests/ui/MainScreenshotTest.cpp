// The main window and the batch window as the user sees them: every Japanese caption must be
// drawn with real glyphs (a font that lacks them draws empty boxes). With
// TESSIVAL_SCREENSHOT_DIR set (tests/ui/screenshots.sh, under Xvfb) the windows are saved as
// PNG images there, and the whole screen as well when a real display is in use.

#include "ui/MainForm.h"
#include "ui/BatchForm.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGlyphRun>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QMessageBox>
#include <QtTest>

#include "support/WindowTestSupport.h"

using namespace windowtest;

namespace {

struct TCaption {
    QString Where;
    QString Text;
    QFont Font;
};

// The characters of a text that its font, with the platform's fallbacks, draws as the
// missing-glyph box.
QString MissingGlyphs(const QString& Text, const QFont& Font)
{
    QTextLayout Layout(Text, Font);
    Layout.beginLayout();
    Layout.createLine();
    Layout.endLayout();
    bool AnyMissing = false;
    for (const QGlyphRun& Run : Layout.glyphRuns()) {
        for (quint32 Glyph : Run.glyphIndexes())
            AnyMissing = AnyMissing || Glyph == 0;
    }
    if (!AnyMissing)
        return {};
    // Name the culprits one by one.
    QString Missing;
    for (const QChar Character : Text) {
        if (Character.isSpace())
            continue;
        QTextLayout One(QString(Character), Font);
        One.beginLayout();
        One.createLine();
        One.endLayout();
        for (const QGlyphRun& Run : One.glyphRuns()) {
            if (Run.glyphIndexes().contains(0))
                Missing += Character;
        }
    }
    return Missing.isEmpty() ? Text : Missing;
}

QString WithoutMnemonic(QString Text)
{
    return Text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&')).replace(QChar(1), QLatin1Char('&'));
}

QList<TCaption> CaptionsOf(QWidget& Window)
{
    QList<TCaption> Captions{{Window.objectName(), Window.windowTitle(), Window.font()}};
    for (QWidget* Widget : Window.findChildren<QWidget*>()) {
        if (auto* Button = qobject_cast<QAbstractButton*>(Widget))
            Captions.append({Button->objectName(), WithoutMnemonic(Button->text()), Button->font()});
        if (auto* Label = qobject_cast<QLabel*>(Widget))
            Captions.append({Label->objectName(), WithoutMnemonic(Label->text()), Label->font()});
        if (auto* Group = qobject_cast<QGroupBox*>(Widget))
            Captions.append({Group->objectName(), WithoutMnemonic(Group->title()), Group->font()});
        if (auto* Table = qobject_cast<QTableWidget*>(Widget)) {
            for (int Column = 0; Column < Table->columnCount(); ++Column)
                Captions.append({Table->objectName(), Table->horizontalHeaderItem(Column)->text(),
                                 Table->horizontalHeader()->font()});
        }
        if (auto* Menu = qobject_cast<QMenu*>(Widget)) {
            Captions.append({Menu->objectName(), WithoutMnemonic(Menu->title()), Menu->font()});
            for (QAction* Item : Menu->actions())
                Captions.append({Item->objectName(), WithoutMnemonic(Item->text()), Menu->font()});
        }
        if (!Widget->toolTip().isEmpty())
            Captions.append({Widget->objectName() + QStringLiteral(" tool tip"), Widget->toolTip(), Widget->font()});
    }
    if (auto* Main = qobject_cast<QMainWindow*>(&Window)) {
        for (QAction* Menu : Main->menuBar()->actions())
            Captions.append({QStringLiteral("mnuMain"), WithoutMnemonic(Menu->text()), Main->menuBar()->font()});
    }
    return Captions;
}

void VerifyGlyphs(const QList<TCaption>& Captions)
{
    int Japanese = 0;
    for (const TCaption& Caption : Captions) {
        const QString Missing = MissingGlyphs(Caption.Text, Caption.Font);
        QVERIFY2(Missing.isEmpty(), qPrintable(QStringLiteral("%1: \"%2\" has no glyph for \"%3\"")
                                                   .arg(Caption.Where, Caption.Text, Missing)));
        for (const QChar Character : Caption.Text)
            Japanese += Character.unicode() >= 0x3000 ? 1 : 0;
    }
    QVERIFY2(Japanese > 0, "no Japanese caption was looked at");
}

void Save(const QPixmap& Picture, const QString& Name)
{
    const QString Folder = qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR");
    if (Folder.isEmpty())
        return;
    QVERIFY(QDir().mkpath(Folder));
    QVERIFY2(Picture.save(QDir(Folder).filePath(Name)), qPrintable(Name));
}

void SaveScreen(const QString& Name)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        Save(QGuiApplication::primaryScreen()->grabWindow(0), Name);
}

}  // namespace

class MainScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setFont(TfrmMain::InterfaceFont()); }
    void mainWindowCaptionsAreDrawn();
    void batchWindowAfterABatch();

private:
    QTemporaryDir FSite;
};

void MainScreenshotTest::mainWindowCaptionsAreDrawn()
{
    QVERIFY(FSite.isValid());
    WriteFile(FSite.filePath("index.html"), "<html><body bgcolor=\"#FF0000\" text=\"navy\">\r\n<p style=\"color: rgb(0, 128, 0)\">top</p>\r\n</body></html>\r\n");
    WriteFile(FSite.filePath("トップ.htm"), "<html><body bgcolor=\"#FFCC00\"></body></html>\r\n");
    WriteFile(FSite.filePath("style.css"), "body { color: #336699; background: white; }\r\n");
    QImage Picture(16, 16, QImage::Format_ARGB32);
    Picture.fill(QColor(200, 100, 50, 255));
    QVERIFY(Picture.save(FSite.filePath("logo.png")));

    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Form.FileList().AddFolder(FSite.path(), true);
    Form.FileList().AddFile(FSite.filePath("消えたファイル.html"));
    Form.AddColorRow(true, TRGBColor{255, 0, 0}, TRGBColor{0, 0, 255});
    Form.AddColorRow(false, TRGBColor{255, 204, 0}, TRGBColor{0, 128, 0});
    Form.findChild<QScrollBar*>("scbH")->setValue(120);
    Form.findChild<QScrollBar*>("scbS")->setValue(-20);
    QTest::qWait(100);

    VerifyGlyphs(CaptionsOf(Form));
    Save(Form.grab(), QStringLiteral("main.png"));
    SaveScreen(QStringLiteral("screen-main.png"));
}

void MainScreenshotTest::batchWindowAfterABatch()
{
    TfrmMain Form;
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    Form.FileList().AddFolder(FSite.path(), true);
    Form.FileList().AddFile(FSite.filePath("消えたファイル.html"));
    Form.findChild<QScrollBar*>("scbH")->setValue(120);

    WhenModal([](QWidget* Modal) { qobject_cast<QMessageBox*>(Modal)->button(QMessageBox::Yes)->click(); });
    QMetaObject::invokeMethod(&Form, &TfrmMain::bbnOperationClick);
    QTRY_VERIFY(Form.BatchForm() && Form.BatchForm()->IsFinished());
    TfrmBatch& Operation = *Form.BatchForm();
    QVERIFY(QTest::qWaitForWindowExposed(&Operation));
    QVERIFY(Operation.LogLines().size() >= 5 + 2);  // a line per file, the end line, the summary

    QList<TCaption> Captions = CaptionsOf(Operation);
    const QFont LogFont = Operation.findChild<QPlainTextEdit*>("memLog")->font();
    for (const QString& Line : Operation.LogLines())
        Captions.append({QStringLiteral("memLog"), Line, LogFont});
    VerifyGlyphs(Captions);
    QTest::qWait(100);
    Save(Operation.grab(), QStringLiteral("operation.png"));
    SaveScreen(QStringLiteral("screen-operation.png"));
}

QTEST_MAIN(MainScreenshotTest)
#include "MainScreenshotTest.moc"
