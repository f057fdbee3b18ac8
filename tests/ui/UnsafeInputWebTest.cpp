// Pages and paths from anywhere: the preview gives a page no more than a browser tab would
// (a local page cannot read other local files), and the PNG page written for the preview
// keeps any file name inside its attribute and still shows the picture.

#include "ui/PreviewForm.h"
#include "ui/MainForm.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <QtTest>

#include "support/WindowTestSupport.h"

using namespace windowtest;

namespace {

bool LoadAndWait(TfrmPreview& F, const QString& Url)
{
    QSignalSpy loaded(F.Browser(), &QWebEngineView::loadFinished);
    F.Navigate(Url);
    if (loaded.isEmpty() && !loaded.wait(60000))
        return false;
    return loaded.takeFirst().at(0).toBool();
}

// The page's title once its script has set it to something other than "wait".
QString TitleOnceSet(TfrmPreview& F)
{
    for (int i = 0; i < 200 && (F.Browser()->title().isEmpty() || F.Browser()->title() == "wait"); ++i)
        QTest::qWait(50);
    return F.Browser()->title();
}

}  // namespace

class UnsafeInputWebTest : public QObject {
    Q_OBJECT
private slots:
    void previewSettingsAreThoseOfABrowserTab()
    {
        TfrmPreview f({});
        QWebEngineSettings* s = f.Browser()->settings();
        QVERIFY(!s->testAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls));
        QVERIFY(!s->testAttribute(QWebEngineSettings::JavascriptCanAccessClipboard));
        QVERIFY(!s->testAttribute(QWebEngineSettings::JavascriptCanPaste));
        QVERIFY(!s->testAttribute(QWebEngineSettings::AllowRunningInsecureContent));
        QVERIFY(!s->testAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript));
    }

    void localPageCannotReadOtherLocalFiles()
    {
        QTemporaryDir dir;
        WriteFile(dir.filePath("secret.txt"), "top secret");
        WriteFile(dir.filePath("page.html"),
                  "<html><head><title>wait</title></head><body><script>\n"
                  "var r = 'no answer';\n"
                  "try { var x = new XMLHttpRequest(); x.open('GET', 'secret.txt', false); x.send();\n"
                  "      r = 'read:' + x.responseText; } catch (e) { r = 'blocked'; }\n"
                  "fetch('secret.txt').then(function (a) { return a.text(); })\n"
                  "  .then(function (t) { document.title = r + ',fetch:' + t; },\n"
                  "        function () { document.title = r + ',fetch blocked'; });\n"
                  "</script></body></html>\n");
        TfrmPreview f({});
        f.show();
        QVERIFY(LoadAndWait(f, "file://" + dir.filePath("page.html")));
        QCOMPARE(TitleOnceSet(f), QString("blocked,fetch blocked"));

        // Without the preview's guard the same page reads the file, so the answer above
        // comes from the preview.
        TfrmPreview open({});
        open.Browser()->page()->setUrlRequestInterceptor(nullptr);
        open.show();
        QVERIFY(LoadAndWait(open, "file://" + dir.filePath("page.html")));
        QCOMPARE(TitleOnceSet(open).left(15), QString("read:top secret"));
    }

    void pngPageKeepsAnyNameInsideTheAttributeAndShowsThePicture()
    {
        QTemporaryDir dir;
        // A name that would end the attribute, open a tag or start an entity if written raw.
        const QString name = QString::fromUtf8("a\"b<i>c'&d>e\n色.png");
        const QString png = dir.filePath(name);
        QImage picture(7, 5, QImage::Format_RGB32);
        picture.fill(qRgb(10, 200, 30));
        QVERIFY(picture.save(png, "PNG"));

        const QString page = TfrmMain::MakePicturePage(png, dir.path());
        QFile file(page);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray html = file.readAll();
        const int start = html.indexOf("src=\"") + 5;
        const int end = html.indexOf('"', start);
        QVERIFY(start > 5 && end > start);
        const QByteArray src = html.mid(start, end - start);
        QVERIFY(!src.contains('<') && !src.contains('>') && !src.contains('\n'));
        // Everything after the attribute is the page's own closing markup.
        QCOMPARE(html.mid(end), QByteArray("\">\r\n</body></html>\r\n"));
        QCOMPARE(QUrl(QString::fromUtf8(src).replace("&amp;", "&")).toLocalFile(), png);

        // The browser shows it.
        TfrmPreview f({});
        f.show();
        QVERIFY(LoadAndWait(f, "file://" + page));
        int width = -1;
        for (int i = 0; i < 100 && width <= 0; ++i) {
            bool done = false;
            f.Browser()->page()->runJavaScript("document.images.length == 1 ? document.images[0].naturalWidth : -2",
                                               [&](const QVariant& v) {
                                                   width = v.toInt();
                                                   done = true;
                                               });
            QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
            if (width <= 0)
                QTest::qWait(50);
        }
        QCOMPARE(width, 7);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    UnsafeInputWebTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "UnsafeInputWebTest.moc"
