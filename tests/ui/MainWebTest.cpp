// The main window and its preview: which files open the preview and with what, the picture
// page in the runtime or cache folder (for PNG, GIF, SVG and JPEG alike), the refresh-time arrows and the scroll bars reaching an open
// preview.

#include "ui/PreviewForm.h"
#include "ui/MainForm.h"
#include "ui/BatchForm.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

#include "support/WindowTestSupport.h"

using namespace windowtest;

namespace {

void PreviewRow(TfrmMain& Form, int Row)
{
    auto* Files = Form.findChild<QTableWidget*>("lvwFile");
    Files->clearSelection();
    Files->selectRow(Row);
    Files->setFocus();
    QTest::keyClick(Files, Qt::Key_Return);
}

}  // namespace

class MainWebTest : public QObject {
    Q_OBJECT

private slots:
    void refreshArrowsReachOnlyAnOpenPreview();
    void previewOpensPagesAndPngPages();
    void previewShowsEveryPictureFormatConverted();
    void cssGoesToTheEditorNotThePreview();

private:
    QTemporaryDir FSite;
};

void MainWebTest::refreshArrowsReachOnlyAnOpenPreview()
{
    TfrmMain Form;
    Form.show();
    auto* Refresh = Form.findChild<QSpinBox*>("udnRefreshTime");
    Refresh->stepUp();  // no preview: nothing to reach, nothing breaks
    QVERIFY(Form.PreviewForm().isNull());
    Refresh->stepDown();

    WriteFile(FSite.filePath("index.html"), "<html><body bgcolor=\"#FF0000\">page</body></html>\r\n");
    Form.FileList().AddFile(FSite.filePath("index.html"));
    PreviewRow(Form, 0);
    QVERIFY(Form.PreviewForm());
    const int Starting = Form.PreviewForm()->CaptureInterval();
    QCOMPARE(Refresh->value(), 3);
    Refresh->stepUp();
    QCOMPARE(Form.PreviewForm()->CaptureInterval(), 4000);
    Refresh->stepDown();
    Refresh->stepDown();
    QCOMPARE(Form.PreviewForm()->CaptureInterval(), 2000);
    QVERIFY(Starting > 0);

    // A second request reuses the open preview.
    QPointer<TfrmPreview> Preview = Form.PreviewForm();
    PreviewRow(Form, 0);
    QCOMPARE(Form.PreviewForm().data(), Preview.data());

    // Moving a scroll bar redraws the preview with the settings of that moment.
    QTRY_VERIFY_WITH_TIMEOUT(!Preview->CaptureImage().isNull(), 15000);
    Form.findChild<QScrollBar*>("scbB")->setValue(-255);
    QTRY_VERIFY(!Preview->ConvertedImage().isNull());
    const QImage Dark = Preview->ConvertedImage();
    QCOMPARE(QColor(Dark.pixel(Dark.width() / 2, Dark.height() / 2)), QColor(0, 0, 0));

    Preview->close();
    QTRY_VERIFY(Form.PreviewForm().isNull());
}

void MainWebTest::previewOpensPagesAndPngPages()
{
    QImage Picture(8, 8, QImage::Format_ARGB32);
    Picture.fill(Qt::blue);
    QVERIFY(Picture.save(FSite.filePath("logo #1.png")));
    WriteFile(FSite.filePath("page.htm"), "<html><body>x</body></html>\r\n");

    TfrmMain Form;
    Form.show();
    Form.FileList().AddFiles({FSite.filePath("page.htm"), FSite.filePath("logo #1.png")});

    PreviewRow(Form, 0);
    QVERIFY(Form.PreviewForm());
    QTRY_COMPARE_WITH_TIMEOUT(Form.PreviewForm()->Browser()->url().toLocalFile(), FSite.filePath("page.htm"), 15000);

    // A PNG is shown through a page written in the user's runtime or cache folder, never
    // beside the program.
    const QString Page = QDir(TfrmMain::PicturePageFolder()).filePath("pictureshow.html");
    const QString BesideProgram = QDir(QCoreApplication::applicationDirPath()).filePath("pictureshow.html");
    QFile::remove(Page);
    const auto RemovePage = qScopeGuard([&] { QFile::remove(Page); });
    PreviewRow(Form, 1);
    QVERIFY(QFileInfo::exists(Page));
    QVERIFY(!QFileInfo::exists(BesideProgram));
    QTRY_COMPARE_WITH_TIMEOUT(Form.PreviewForm()->Browser()->url().toLocalFile(), Page, 15000);
    QFile File(Page);
    QVERIFY(File.open(QIODevice::ReadOnly));
    QVERIFY(File.readAll().contains("logo%20%231.png"));

    // Double click and the picture button do the same as the Enter key.
    Form.PreviewForm()->close();
    QTRY_VERIFY(Form.PreviewForm().isNull());
    auto* Files = Form.findChild<QTableWidget*>("lvwFile");
    Files->selectRow(0);
    emit Files->cellDoubleClicked(0, 1);
    QVERIFY(Form.PreviewForm());
}

// An SVG, a GIF and a JPEG are each shown on the picture page, and what the preview shows of
// them is converted with the window's settings: at a hue turn of 120 red becomes green and blue
// red, so that each picture is told from the one before.
void MainWebTest::previewShowsEveryPictureFormatConverted()
{
    WriteFile(FSite.filePath("shape.svg"), "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"600\" height=\"600\">"
                                           "<rect width=\"600\" height=\"600\" fill=\"#ff0000\"/></svg>\n");
    QImage Photo(600, 600, QImage::Format_RGB32);
    Photo.fill(qRgb(0, 0, 255));
    QVERIFY(Photo.save(FSite.filePath("photo.jpg"), "JPEG", 95));
    // The same drawing in yellow, compressed (becomes aqua).
    WriteFile(FSite.filePath("yellow.svg"), "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"600\" height=\"600\">"
                                            "<rect width=\"600\" height=\"600\" fill=\"#ffff00\"/></svg>\n");
    QCOMPARE(QProcess::execute("gzip", {"-f", "-S", "z", FSite.filePath("yellow.svg")}), 0);
    // A GIF of 1 x 1 red pixel, as the browser draws it stretched by the page: the GIF is named
    // last so that its page is the one left.
    WriteFile(FSite.filePath("dot.gif"), QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xFF\x00\x00\x00\x00\x00"
                                                    ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
                                                    35));

    TfrmMain Form;
    Form.show();
    Form.FileList().AddFiles({FSite.filePath("shape.svg"), FSite.filePath("photo.jpg"), FSite.filePath("yellow.svgz"),
                              FSite.filePath("dot.gif")});
    QVERIFY(!Form.FileList().IsChecked(1));  // a photo, but the preview shows it all the same
    Form.findChild<QScrollBar*>("scbH")->setValue(120);
    const QString Page = QDir(TfrmMain::PicturePageFolder()).filePath("pictureshow.html");
    const auto RemovePage = qScopeGuard([&] {
        QFile::remove(Page);
        QFile::remove(QDir(TfrmMain::PicturePageFolder()).filePath("pictureshow.svg"));
    });
    const auto Near = [](QRgb Pixel, QRgb Wanted) {
        return std::abs(qRed(Pixel) - qRed(Wanted)) < 40 && std::abs(qGreen(Pixel) - qGreen(Wanted)) < 40 &&
               std::abs(qBlue(Pixel) - qBlue(Wanted)) < 40;
    };
    const QRgb Converted[] = {qRgb(0, 255, 0), qRgb(255, 0, 0), qRgb(0, 255, 255)};
    for (int Row = 0; Row < 3; ++Row) {
        PreviewRow(Form, Row);
        QVERIFY(Form.PreviewForm());
        QFile File(Page);
        QVERIFY(File.open(QIODevice::ReadOnly));
        // A compressed SVG is shown from the SVG inside, copied beside the page.
        const QString Shown = Row == 2 ? QDir(TfrmMain::PicturePageFolder()).filePath("pictureshow.svg")
                                       : Form.FileList().FullPath(Row);
        QVERIFY(File.readAll().contains(QUrl::fromLocalFile(Shown).toEncoded()));
        QTRY_COMPARE_WITH_TIMEOUT(Form.PreviewForm()->Browser()->url().toLocalFile(), Page, 15000);
        // The picture fills the view from the page's margin on.
        QTRY_VERIFY2_WITH_TIMEOUT(!Form.PreviewForm()->ConvertedImage().isNull() &&
                                      Near(Form.PreviewForm()->ConvertedImage().pixel(100, 100), Converted[Row]),
                                  qPrintable(QStringLiteral("%1: %2").arg(Form.FileList().FileName(Row)).arg(
                                      Form.PreviewForm()->ConvertedImage().pixel(100, 100), 8, 16)),
                                  20000);
    }
    PreviewRow(Form, 3);
    QFile File(Page);
    QVERIFY(File.open(QIODevice::ReadOnly));
    QVERIFY(File.readAll().contains("dot.gif"));
    QTRY_VERIFY_WITH_TIMEOUT(!Form.PreviewForm()->ConvertedImage().isNull() &&
                                 Near(Form.PreviewForm()->ConvertedImage().pixel(8, 8), qRgb(0, 255, 0)),
                             20000);
}

void MainWebTest::cssGoesToTheEditorNotThePreview()
{
    // Nothing can be started: the user is told so.
    const QByteArray Path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    qputenv("VISUAL", "");
    qputenv("EDITOR", "");
    WriteFile(FSite.filePath("style.css"), "p { color: red; }\r\n");
    TfrmMain Form;
    Form.show();
    Form.FileList().AddFile(FSite.filePath("style.css"));
    Form.SetUrlOpener([](const QUrl&) { return false; });
    QString Told;
    WhenModal([&](QWidget* Modal) {
        Told = qobject_cast<QMessageBox*>(Modal)->text();
        qobject_cast<QMessageBox*>(Modal)->accept();
    });
    PreviewRow(Form, 0);
    qputenv("PATH", Path);
    QCOMPARE(Told, TfrmMain::EditorFailureText(FSite.filePath("style.css")));
    QVERIFY(Form.PreviewForm().isNull());
}

QTEST_MAIN(MainWebTest)
#include "MainWebTest.moc"
