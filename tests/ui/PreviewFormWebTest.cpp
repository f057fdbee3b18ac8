// The preview with a real page on an X display: the sample site shown converted, reloading,
// and no capture while another program has the focus.

#include "ui/PreviewForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QFontDatabase>
#include <QtTest>

#include <dlfcn.h>

#include <cstdint>
#include <functional>

namespace {

QRgb DominantColour(const QImage& Img)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < Img.height(); ++y)
        for (int x = 0; x < Img.width(); ++x)
            ++counts[Img.pixel(x, y) | 0xFF000000u];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    return best;
}

QPoint FirstPixelOf(const QImage& Img, QRgb Colour)
{
    for (int y = 0; y < Img.height(); ++y)
        for (int x = 0; x < Img.width(); ++x)
            if ((Img.pixel(x, y) | 0xFF000000u) == Colour)
                return {x, y};
    return {-1, -1};
}

bool WaitLoaded(QSignalSpy& Spy)
{
    if (Spy.isEmpty() && !Spy.wait(60000))
        return false;
    const bool ok = Spy.takeFirst().at(0).toBool();
    if (!ok)
        qWarning() << "load failed";
    return ok;
}

// Takes captures until the browser's picture is mostly Colour (the page has been painted).
bool CaptureUntilDominant(TfrmPreview& F, QRgb Colour)
{
    for (int i = 0; i < 300; ++i) {
        F.ScreenCopy();
        if (!F.CaptureImage().isNull() && DominantColour(F.CaptureImage()) == Colour)
            return true;
        QTest::qWait(100);
    }
    return false;
}

void CopyTree(const QString& From, const QString& To)
{
    QDir().mkpath(To);
    const QDir src(From);
    for (const QFileInfo& e : src.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (e.isDir())
            CopyTree(e.filePath(), To + "/" + e.fileName());
        else
            QFile::copy(e.filePath(), To + "/" + e.fileName());
    }
}

void WritePage(const QString& Path, const char* Background)
{
    QFile f(Path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray("<html><body style=\"background-color:") + Background + "\"></body></html>\n");
}

void ShowActive(QWidget& W)
{
    W.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W));
    W.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W));
}

} // namespace

class PreviewFormWebTest : public QObject {
    Q_OBJECT
private slots:
    void sampleSiteBackgroundShowsShiftedByTheHue()
    {
        const QString site = QStringLiteral(TESSIVAL_SOURCE_DIR "/examples/site");
        QVERIFY2(QFile::exists(site + "/index.html"), "the sample site is missing from examples/site");
        // A folder name that a URL would read otherwise.
        QTemporaryDir dir;
        const QString copy = dir.filePath("my site #1");
        CopyTree(site, copy);

        TConversionSettings settings;
        settings.HueOffset = 120;
        TfrmPreview f([&] { return settings; });
        f.resize(640, 800);
        ShowActive(f);
        QSignalSpy loaded(f.Browser(), &QWebEngineView::loadFinished);
        f.Navigate("file://" + copy + "/index.html");
        QVERIFY(WaitLoaded(loaded));

        QString background;
        f.Browser()->page()->runJavaScript(QStringLiteral("getComputedStyle(document.body).backgroundColor"),
                                           [&](const QVariant& v) { background = v.toString(); });
        QTRY_VERIFY_WITH_TIMEOUT(!background.isEmpty(), 20000);
        QCOMPARE(background, QStringLiteral("rgb(255, 253, 245)"));  // the stylesheet was found

        const QRgb page = qRgb(255, 253, 245);
        QVERIFY2(CaptureUntilDominant(f, page), "the page's background never showed in the capture");
        const QPoint at = FirstPixelOf(f.CaptureImage(), page);
        const TRGBColor shifted = settings.MakeAdjuster()->Convert({255, 253, 245});
        QVERIFY(!(shifted == TRGBColor{255, 253, 245}));
        QCOMPARE(f.ConvertedImage().pixel(at) | 0xFF000000u, qRgb(shifted.R, shifted.G, shifted.B));
        QCOMPARE(DominantColour(f.ConvertedImage()), qRgb(shifted.R, shifted.G, shifted.B));

        // Back to no shift: the converted view is the capture again, without a new capture.
        settings.HueOffset = 0;
        f.ConvertCapture();
        QCOMPARE(f.ConvertedImage(), f.CaptureImage());
    }

    void screenshot()
    {
        const QString dir = qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("screenshots are taken by tests/ui/windows_screenshots.sh");
        const QString site = QStringLiteral(TESSIVAL_SOURCE_DIR "/examples/site/index.html");
        QVERIFY2(QFile::exists(site), "the sample site is missing from examples/site");
        QVERIFY2(!QFontDatabase::families(QFontDatabase::Japanese).isEmpty(),
                 "no font for Japanese text: it would be drawn as boxes");
        TConversionSettings settings;
        settings.HueOffset = 120;
        TfrmPreview f([&] { return settings; });
        f.resize(480, 640);
        ShowActive(f);
        QSignalSpy loaded(f.Browser(), &QWebEngineView::loadFinished);
        f.Navigate("file://" + site);
        QVERIFY(WaitLoaded(loaded));
        QVERIFY(CaptureUntilDominant(f, qRgb(255, 253, 245)));
        QTest::qWait(500);
        f.ScreenCopy();
        QTest::qWait(100);
        QVERIFY(f.grab().save(dir + "/preview.png"));
    }

    void refreshShowsTheFileAsItIsNow()
    {
        QTemporaryDir dir;
        const QString page = dir.filePath("page.html");
        WritePage(page, "#00C000");
        TfrmPreview f([] { return TConversionSettings{}; });
        ShowActive(f);
        QSignalSpy loaded(f.Browser(), &QWebEngineView::loadFinished);
        f.Navigate("file://" + page);
        QVERIFY(WaitLoaded(loaded));
        QVERIFY(CaptureUntilDominant(f, qRgb(0, 192, 0)));

        WritePage(page, "#2040A0");  // as a batch would have rewritten it
        f.RefreshPage();
        QVERIFY(WaitLoaded(loaded));
        QVERIFY(CaptureUntilDominant(f, qRgb(0x20, 0x40, 0xA0)));
    }

    void aPageIsShownConvertedAtOnce()
    {
        QTemporaryDir dir;
        const QString page = dir.filePath("page.html");
        WritePage(page, "#00C000");
        TConversionSettings settings;
        settings.HueOffset = 120;
        TfrmPreview f([&] { return settings; });
        f.SetCaptureInterval(600000);  // no tick during the test
        ShowActive(f);
        QSignalSpy loaded(f.Browser(), &QWebEngineView::loadFinished);
        f.Navigate("file://" + page);
        QVERIFY(WaitLoaded(loaded));
        const TRGBColor shifted = settings.MakeAdjuster()->Convert({0, 192, 0});
        QTRY_VERIFY_WITH_TIMEOUT(!f.ConvertedImage().isNull() &&
                                     DominantColour(f.ConvertedImage()) == qRgb(shifted.R, shifted.G, shifted.B),
                                 5000);
    }

    void noCaptureWhileAnotherProgramHasTheFocus()
    {
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11)
            QSKIP("not on an X display");
        // The focus goes to the root window, as when the user clicks another program.
        void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_NOLOAD);
        if (!xcb)
            QSKIP("the X connection library is not loaded");
        using SetFocus = unsigned (*)(void*, std::uint8_t, std::uint32_t, std::uint32_t);
        using Flush = int (*)(void*);
        auto setFocus = reinterpret_cast<SetFocus>(dlsym(xcb, "xcb_set_input_focus"));
        auto flush = reinterpret_cast<Flush>(dlsym(xcb, "xcb_flush"));
        QVERIFY(setFocus && flush);

        TfrmPreview f([] { return TConversionSettings{}; });
        ShowActive(f);
        QCOMPARE(QGuiApplication::applicationState(), Qt::ApplicationActive);
        constexpr std::uint8_t RevertToPointerRoot = 1;
        constexpr std::uint32_t PointerRoot = 1;
        setFocus(x11->connection(), RevertToPointerRoot, PointerRoot, 0);
        flush(x11->connection());
        QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::applicationState() != Qt::ApplicationActive, 5000);
        f.ScreenCopy();
        QVERIFY(f.CaptureImage().isNull());
        QVERIFY(f.ConvertedImage().isNull());

        // Back in front, the next tick captures.
        setFocus(x11->connection(), RevertToPointerRoot, static_cast<std::uint32_t>(f.winId()), 0);
        flush(x11->connection());
        dlclose(xcb);
        QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::applicationState() == Qt::ApplicationActive, 5000);
        f.ScreenCopy();
        QVERIFY(!f.ConvertedImage().isNull());
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    PreviewFormWebTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PreviewFormWebTest.moc"
