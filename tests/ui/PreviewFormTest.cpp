// The preview window without a page: the pixel conversion, the capture rules, the layout
// and the capture interval.

#include "ui/MainForm.h"
#include "ui/PreviewForm.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>

#include <cstdlib>

namespace {

// A picture with many colours: every pixel differs from its neighbours.
QImage Rainbow(int W, int H)
{
    QImage img(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.setPixel(x, y, qRgb((x * 37 + y) & 255, (y * 11 + x * 3) & 255, (x * y) & 255));
    return img;
}

// Each pixel through the adjuster, one by one: what the converted view must hold.
QImage Expected(const QImage& In, const TConversionSettings& S)
{
    const auto adjuster = S.MakeAdjuster();
    QImage out(In.size(), QImage::Format_RGB32);
    for (int y = 0; y < In.height(); ++y)
        for (int x = 0; x < In.width(); ++x) {
            const QRgb p = In.pixel(x, y);
            const TRGBColor c = adjuster->Convert({qRed(p), qGreen(p), qBlue(p)});
            out.setPixel(x, y, qRgb(c.R, c.G, c.B));
        }
    return out;
}

} // namespace

class PreviewFormTest : public QObject {
    Q_OBJECT
private slots:
    void convertImageTouchesEveryPixel()
    {
        const QImage in = Rainbow(97, 61);
        TConversionSettings none;
        QCOMPARE(ConvertImage(in, *none.MakeAdjuster()), in);

        TConversionSettings shift;
        shift.HueOffset = 120;
        shift.SatOffset = -40;
        shift.BrightOffset = 17;
        const QImage out = ConvertImage(in, *shift.MakeAdjuster());
        QCOMPARE(out, Expected(in, shift));
        QVERIFY(out != in);

        // A picture big enough to be shared out among the cores converts the same.
        const QImage big = Rainbow(700, 401);
        QCOMPARE(ConvertImage(big, *shift.MakeAdjuster()), Expected(big, shift));

        // A specific pair applies in the preview too; no colour is exempted.
        TConversionSettings pair;
        pair.AddPair({255, 255, 255}, {1, 2, 3}, false);
        QImage white(4, 3, QImage::Format_RGB32);
        white.fill(qRgb(255, 255, 255));
        white.setPixel(1, 1, qRgb(0, 0, 0));
        const QImage swapped = ConvertImage(white, *pair.MakeAdjuster());
        QCOMPARE(swapped.pixel(0, 0), qRgb(1, 2, 3));
        QCOMPARE(swapped.pixel(1, 1), qRgb(0, 0, 0));
        QVERIFY(ConvertImage(QImage(), *pair.MakeAdjuster()).isNull());

        // Other pixel formats come back as 32-bit pictures of the same colours.
        QImage rgb888 = in.convertToFormat(QImage::Format_RGB888);
        QCOMPARE(ConvertImage(rgb888, *shift.MakeAdjuster()), Expected(in, shift));
    }

    void captureConvertsWithTheSettingsOfTheMoment()
    {
        TConversionSettings current;
        int asked = 0;
        TfrmPreview f([&] {
            ++asked;
            return current;
        });
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QVERIFY(f.CaptureImage().isNull());  // nothing until the first tick
        QVERIFY(f.findChild<QLabel*>("imgBrowser")->pixmap().isNull());

        f.ScreenCopy();
        QCOMPARE(asked, 1);
        QCOMPARE(f.CaptureImage().size(), f.Browser()->size());
        QCOMPARE(f.ConvertedImage(), f.CaptureImage());  // all zero: the same picture
        QCOMPARE(f.findChild<QLabel*>("imgBrowser")->pixmap().size(), f.Browser()->size());

        // A scroll-bar move re-converts the stored capture at once.
        const QImage captured = f.CaptureImage();
        current.BrightOffset = -100;
        f.ConvertCapture();
        QCOMPARE(asked, 2);
        QCOMPARE(f.CaptureImage(), captured);
        QCOMPARE(f.ConvertedImage(), Expected(captured, current));
        QVERIFY(f.ConvertedImage() != captured);
        QCOMPARE(f.findChild<QLabel*>("imgBrowser")->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
                 f.ConvertedImage());
    }

    void browserTakesHalfTheClientHeight()
    {
        TfrmPreview f([] { return TConversionSettings{}; });
        QCOMPARE(f.windowTitle(), QStringLiteral("プレビュー"));
        f.resize(376, 301);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.Browser()->geometry(), QRect(0, 0, 376, 150));
        auto* img = f.findChild<QLabel*>("imgBrowser");
        QCOMPARE(img->geometry(), QRect(0, 150, 376, 151));
        QCOMPARE(img->alignment(), Qt::AlignLeft | Qt::AlignTop);
        QVERIFY(!img->hasScaledContents());
        f.resize(500, 400);
        QCOMPARE(f.Browser()->height(), 200);
        QCOMPARE(img->geometry(), QRect(0, 200, 500, 200));
    }

    void intervalStartsAtFiveSecondsInEveryNewWindow()
    {
        auto* f = new TfrmPreview([] { return TConversionSettings{}; });
        QPointer<TfrmPreview> guard(f);
        QCOMPARE(f->CaptureInterval(), 5000);
        auto* timer = f->findChild<QTimer*>("tmrCapture");
        QVERIFY(timer && timer->isActive());
        f->SetCaptureInterval(4000);
        QCOMPARE(f->CaptureInterval(), 4000);
        QVERIFY(timer->isActive());
        f->show();
        f->close();
        QTRY_VERIFY(guard.isNull());  // freed on closing

        TfrmPreview again([] { return TConversionSettings{}; });
        QCOMPARE(again.CaptureInterval(), 5000);
    }

    void besideTheOwnerWhereThereIsRoom()
    {
        const QRect screen(0, 0, 1920, 1040);
        // Room on the right: there, top edges level.
        QCOMPARE(BesideRect(QRect(100, 200, 600, 500), QSize(400, 450), screen), QRect(700, 200, 400, 450));
        // None on the right, room on the left.
        QCOMPARE(BesideRect(QRect(1300, 100, 600, 500), QSize(400, 450), screen), QRect(900, 100, 400, 450));
        // Room on neither side: against the edge of the wider side, inside the screen.
        QCOMPARE(BesideRect(QRect(300, 100, 1400, 500), QSize(400, 450), screen), QRect(0, 100, 400, 450));
        QCOMPARE(BesideRect(QRect(100, 100, 1500, 500), QSize(400, 450), screen), QRect(1520, 100, 400, 450));
        // Low on the screen: moved up to fit; too big: shrunk to the screen.
        QCOMPARE(BesideRect(QRect(0, 900, 600, 100), QSize(400, 450), screen), QRect(600, 590, 400, 450));
        QCOMPARE(BesideRect(QRect(0, 0, 600, 500), QSize(3000, 2000), screen), QRect(0, 0, 1920, 1040));
        // A screen that does not start at the origin.
        const QRect second(1920, 0, 1280, 1000);
        QCOMPARE(BesideRect(QRect(1920, 0, 600, 500), QSize(400, 450), second), QRect(2520, 0, 400, 450));
    }

    void openedFromTheMainWindowBesideItAtItsInterval()
    {
        QTemporaryDir dir;
        QFile page(dir.filePath("page.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body></body></html>\n");
        page.close();
        TfrmMain main;
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        main.findChild<QSpinBox*>("udnRefreshTime")->setValue(7);
        main.FileList().AddFiles({page.fileName()});
        main.findChild<QTableWidget*>("lvwFile")->selectRow(0);
        main.findChild<QToolButton*>("bbnShowPreview")->click();
        QPointer<TfrmPreview> preview = main.PreviewForm();
        QVERIFY(preview);
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        QCOMPARE(preview->CaptureInterval(), 7000);
        const QRect available = main.screen()->availableGeometry();
        QVERIFY(available.contains(preview->frameGeometry()));
        QCOMPARE(preview->frameGeometry(),
                 BesideRect(main.frameGeometry(), preview->frameGeometry().size(), available));
        // Where there is room it leaves the main window's controls uncovered.
        main.move(available.topLeft());
        preview->close();
        QTRY_VERIFY(preview.isNull());
        main.findChild<QToolButton*>("bbnShowPreview")->click();
        preview = main.PreviewForm();
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        if (available.width() >= main.frameGeometry().width() + preview->frameGeometry().width())
            QVERIFY(!preview->frameGeometry().intersects(main.frameGeometry()));
        else
            QVERIFY(available.contains(preview->frameGeometry()));
        // Changed in the main window, the interval follows.
        main.findChild<QSpinBox*>("udnRefreshTime")->setValue(2);
        QCOMPARE(preview->CaptureInterval(), 2000);
    }

    void timerTicksCapture()
    {
        TfrmPreview f([] { return TConversionSettings{}; });
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.SetCaptureInterval(30);
        QTRY_VERIFY(!f.ConvertedImage().isNull());
    }
};

int main(int argc, char** argv)
{
    // The embedded browser's sandbox cannot run as root, as tests do here.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    PreviewFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PreviewFormTest.moc"
