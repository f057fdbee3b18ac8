// The colour pair dialog: hexadecimal input, the row "OK" makes, the colour dialog, the
// eyedropper and its help message.

#include "ui/ColourPairForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QFontDatabase>
#include <QtTest>

#include "ScreenshotSupport.h"
#include "support/WindowTestSupport.h"

#include <functional>

Q_DECLARE_METATYPE(TRGBColor)

using namespace windowtest;

namespace {

QColor SwatchColor(TfrmColourPair& f, const char* Name)
{
    return f.findChild<QFrame*>(Name)->palette().color(QPalette::Window);
}

void TypeAndInput(TfrmColourPair& f, const char* Edit, const char* Button, const QString& Text)
{
    f.findChild<QLineEdit*>(Edit)->setText(Text);
    QTest::mouseClick(f.findChild<QPushButton*>(Button), Qt::LeftButton);
}

} // namespace

class ColourPairFormTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<TRGBColor>(); }

    void swatchTextIgnoresTheFlagByte()
    {
        QCOMPARE(ColorValueText(0x000080FFu), QStringLiteral("FF8000"));
        QCOMPARE(ColorValueText(0x020080FFu), QStringLiteral("FF8000"));
        QCOMPARE(ColorValueText(0), QStringLiteral("000000"));
        QCOMPARE(ColorValueText(0x00FFFFFFu), QStringLiteral("FFFFFF"));
        const TRGBColor c{0x12, 0x34, 0x56};
        QCOMPARE(RGBOfColorValue(ColorValueOf(c)), c);
        QCOMPARE(ColorValueOf(c), 0x00563412u);
    }

    void hexInputValueTable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<uint>("value");
        QTest::newRow("plain") << "FF8000" << true << 0x020080FFu;
        QTest::newRow("lower case") << "ff8000" << true << 0x020080FFu;
        QTest::newRow("with sharp") << "#FF8000" << true << 0x020080FFu;
        QTest::newRow("longer, last six") << "zz123456" << true << 0x02563412u;
        QTest::newRow("too short") << "FF80" << false << 0u;
        QTest::newRow("empty") << "" << false << 0u;
        QTest::newRow("not hex") << "GG0000" << false << 0u;
        QTest::newRow("space") << "FF 000" << false << 0u;
        QTest::newRow("sign") << "+FFFFF" << false << 0u;
    }
    void hexInputValueTable()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(uint, value);
        std::uint32_t v = 0xDEADBEEF;
        QCOMPARE(HexInputValue(text, v), accepted);
        QCOMPARE(v, accepted ? std::uint32_t(value) : 0xDEADBEEFu);
    }

    void freshDialogIsBlackWithZeroEdits()
    {
        TfrmColourPair f;
        QCOMPARE(f.windowTitle(), QStringLiteral("特定色置換"));
        QCOMPARE(f.BeforeColor(), 0u);
        QCOMPARE(f.AfterColor(), 0u);
        QCOMPARE(SwatchColor(f, "pnlBeforeColor"), QColor(Qt::black));
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(Qt::black));
        QCOMPARE(f.findChild<QLineEdit*>("edtBeforeHex")->text(), QStringLiteral("000000"));
        QCOMPARE(f.findChild<QLineEdit*>("edtAfterHex")->text(), QStringLiteral("000000"));
        QVERIFY(!f.findChild<QCheckBox*>("cbxAdjustment")->isChecked());
        QVERIFY(f.testAttribute(Qt::WA_DeleteOnClose));
        QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void hexInputSetsTheSwatchButNotTheEdit()
    {
        TfrmColourPair f;
        TypeAndInput(f, "edtBeforeHex", "btnBeforeHexInput", "ff8000");
        QCOMPARE(SwatchColor(f, "pnlBeforeColor"), QColor(255, 128, 0));
        QCOMPARE(f.BeforeColor(), 0x020080FFu);
        QCOMPARE(f.findChild<QLineEdit*>("edtBeforeHex")->text(), QStringLiteral("ff8000"));
        QCOMPARE(f.AfterColor(), 0u);

        TypeAndInput(f, "edtAfterHex", "btnAfterHexInput", "#0000FF");
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(0, 0, 255));

        // Bad input changes nothing; the dialog says why, in itself rather than in a box.
        auto* error = f.findChild<QLabel*>("lblError");
        QVERIFY(error->isHidden());
        TypeAndInput(f, "edtAfterHex", "btnAfterHexInput", "FF80");
        QVERIFY(!error->isHidden());
        QCOMPARE(error->text(), TypedColourError("FF80"));
        TypeAndInput(f, "edtAfterHex", "btnAfterHexInput", "12345G");
        QVERIFY(error->text().contains("12345G"));
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(0, 0, 255));
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // Three digits and colour names are taken too; the message goes once the input reads.
        TypeAndInput(f, "edtAfterHex", "btnAfterHexInput", "f80");
        QVERIFY(error->isHidden());
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(255, 136, 0));
        TypeAndInput(f, "edtAfterHex", "btnAfterHexInput", "NavY");
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(0, 0, 128));
    }

    void typedColourTable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("six digits") << "ff0000" << true << 0xFF0000u;
        QTest::newRow("six with sharp") << "#12AbEf" << true << 0x12ABEFu;
        QTest::newRow("three digits") << "f00" << true << 0xFF0000u;
        QTest::newRow("three with sharp") << "#F80" << true << 0xFF8800u;
        QTest::newRow("spaces around") << "  00ff00 " << true << 0x00FF00u;
        QTest::newRow("name") << "red" << true << 0xFF0000u;
        QTest::newRow("name in capitals") << "CornflowerBlue" << true << 0x6495EDu;
        QTest::newRow("sharp and name") << "#red" << false << 0u;
        QTest::newRow("not a colour") << "zz12qq" << false << 0u;
        QTest::newRow("unknown name") << "reddish" << false << 0u;
        QTest::newRow("four digits") << "FF80" << false << 0u;
        QTest::newRow("eight digits") << "zz123456" << false << 0u;
        QTest::newRow("empty") << "" << false << 0u;
        QTest::newRow("sharp alone") << "#" << false << 0u;
    }
    void typedColourTable()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(uint, rgb);
        TRGBColor c{1, 2, 3};
        QCOMPARE(ParseTypedColour(text, c), accepted);
        const TRGBColor expected = accepted ? TRGBColor{int(rgb >> 16), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)}
                                            : TRGBColor{1, 2, 3};
        QCOMPARE(c, expected);
    }

    void okTakesWhatIsTypedWithoutInput()
    {
        auto* f = new TfrmColourPair;
        QPointer<TfrmColourPair> guard(f);
        f->show();
        QSignalSpy spy(f, &TfrmColourPair::PairAccepted);
        TypeAndInput(*f, "edtBeforeHex", "btnBeforeHexInput", "FF8000");
        f->findChild<QLineEdit*>("edtAfterHex")->setText("123456"); // typed, "入力" never pressed
        f->findChild<QCheckBox*>("cbxAdjustment")->setChecked(true);
        QTest::mouseClick(f->findChild<QPushButton*>("bbnOK"), Qt::LeftButton);

        QCOMPARE(spy.count(), 1);
        const QList<QVariant> args = spy.takeFirst();
        QCOMPARE(args.at(0).toBool(), true);
        QCOMPARE(args.at(1).value<TRGBColor>(), (TRGBColor{255, 128, 0}));
        QCOMPARE(args.at(2).value<TRGBColor>(), (TRGBColor{0x12, 0x34, 0x56}));
        QCOMPARE(PairRowTexts(true, args.at(1).value<TRGBColor>(), args.at(2).value<TRGBColor>()),
                 (QStringList{"あり", "#FF8000", "#123456"}));
        QTRY_VERIFY(guard.isNull()); // closed and freed
    }

    void enterInTheEditTakesTheTypedColour()
    {
        auto* f = new TfrmColourPair;
        QPointer<TfrmColourPair> guard(f);
        f->show();
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        QSignalSpy spy(f, &TfrmColourPair::PairAccepted);
        auto* before = f->findChild<QLineEdit*>("edtBeforeHex");
        before->setFocus();
        before->clear();
        QTest::keyClicks(before, "ff0000");
        QTest::keyClick(before, Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(1).value<TRGBColor>(), (TRGBColor{255, 0, 0}));
        QCOMPARE(spy.at(0).at(2).value<TRGBColor>(), (TRGBColor{0, 0, 0}));
        QTRY_VERIFY(guard.isNull());
    }

    void okWithAnUnreadableColourSaysSoAndStaysOpen()
    {
        for (const char* edit : {"edtBeforeHex", "edtAfterHex"}) {
            TfrmColourPair f;
            f.setAttribute(Qt::WA_DeleteOnClose, false);
            f.show();
            QVERIFY(QTest::qWaitForWindowExposed(&f));
            QSignalSpy spy(&f, &TfrmColourPair::PairAccepted);
            f.findChild<QLineEdit*>(edit)->setText("zz12qq");
            QTest::mouseClick(f.findChild<QPushButton*>("bbnOK"), Qt::LeftButton);
            QCOMPARE(spy.count(), 0);
            QVERIFY(f.isVisible());
            auto* error = f.findChild<QLabel*>("lblError");
            QVERIFY(error->isVisible());
            QCOMPARE(error->text(), TypedColourError("zz12qq"));
            QVERIFY(error->text().contains(QStringLiteral("色として読めません")));
            QCOMPARE(f.BeforeColor(), 0u);
            QCOMPARE(f.AfterColor(), 0u);
            // Put right, OK goes through.
            f.findChild<QLineEdit*>(edit)->setText("#f00");
            QTest::mouseClick(f.findChild<QPushButton*>("bbnOK"), Qt::LeftButton);
            QCOMPARE(spy.count(), 1);
            QVERIFY(!f.isVisible());
        }
    }

    void rowTextsWithoutAdjustment()
    {
        QCOMPARE(PairRowTexts(false, {0x0A, 0xB0, 0xFF}, {255, 255, 255}),
                 (QStringList{"なし", "#0AB0FF", "#FFFFFF"}));
    }

    void cancelAndEscapeCloseWithoutARow()
    {
        for (bool escape : {false, true}) {
            auto* f = new TfrmColourPair;
            QPointer<TfrmColourPair> guard(f);
            f->show();
            QVERIFY(QTest::qWaitForWindowExposed(f));
            QSignalSpy spy(f, &TfrmColourPair::PairAccepted);
            if (escape) {
                f->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(f));
                QTest::keyClick(f, Qt::Key_Escape);
            } else {
                QTest::mouseClick(f->findChild<QPushButton*>("BBnCancel"), Qt::LeftButton);
            }
            QTRY_VERIFY(guard.isNull());
            QCOMPARE(spy.count(), 0);
        }
    }

    void swatchClickUsesTheColourDialogAtTheSwatchColour()
    {
        TfrmColourPair f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QColor opened;
        WhenModal([&](QWidget* w) {
            auto* dlg = qobject_cast<QColorDialog*>(w);
            QVERIFY(dlg);
            opened = dlg->currentColor();
            dlg->setCurrentColor(QColor(0x12, 0x34, 0x56));
            dlg->accept();
        });
        auto* before = f.findChild<QFrame*>("pnlBeforeColor");
        QTest::mouseClick(before, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(opened, QColor(Qt::black));
        QCOMPARE(SwatchColor(f, "pnlBeforeColor"), QColor(0x12, 0x34, 0x56));
        QCOMPARE(f.findChild<QLineEdit*>("edtBeforeHex")->text(), QStringLiteral("123456"));

        // The after group's dialog opens at its own swatch's colour.
        WhenModal([&](QWidget* w) {
            auto* dlg = qobject_cast<QColorDialog*>(w);
            QVERIFY(dlg);
            opened = dlg->currentColor();
            dlg->reject();
        });
        QTest::mouseClick(f.findChild<QFrame*>("pnlAfterColor"), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(opened, QColor(Qt::black));
        QCOMPARE(f.AfterColor(), 0u);
        QCOMPARE(f.findChild<QLineEdit*>("edtAfterHex")->text(), QStringLiteral("000000"));
    }

    void eyedropperFollowsThePointerWhileHeld()
    {
        // Two plain windows of known colour to sample, side by side.
        QWidget red, green;
        for (auto [w, colour, x] : {std::tuple{&red, QColor(200, 10, 10), 400}, std::tuple{&green, QColor(10, 200, 10), 600}}) {
            w->setWindowFlags(Qt::FramelessWindowHint);
            w->setAutoFillBackground(true);
            QPalette p = w->palette();
            p.setColor(QPalette::Window, colour);
            w->setPalette(p);
            w->setGeometry(x, 400, 100, 100);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
        }
        if (TfrmColourPair::GetScreenColor(QPoint(450, 450)) != ColorValueOf({200, 10, 10}))
            QSKIP("this platform cannot read the screen back");

        TfrmColourPair f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.move(50, 50);  // clear of the two windows sampled
        auto* sbt = f.findChild<QToolButton*>("sbtAfterSpuit");
        const QPoint origin = sbt->mapToGlobal(QPoint(0, 0));
        QTest::mousePress(sbt, Qt::LeftButton, {}, QPoint(5, 5));
        QMouseEvent over(QEvent::MouseMove, QPointF(450, 450) - origin, QPointF(450, 450), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(sbt, &over);
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(200, 10, 10));
        QCOMPARE(f.findChild<QLineEdit*>("edtAfterHex")->text(), QStringLiteral("C80A0A"));
        QMouseEvent next(QEvent::MouseMove, QPointF(650, 450) - origin, QPointF(650, 450), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(sbt, &next);
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(10, 200, 10));
        QMouseEvent up(QEvent::MouseButtonRelease, QPointF(650, 450) - origin, QPointF(650, 450), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(sbt, &up);
        // Released: further moves no longer sample; the before group never moved.
        QMouseEvent after(QEvent::MouseMove, QPointF(450, 450) - origin, QPointF(450, 450), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(sbt, &after);
        QCOMPARE(SwatchColor(f, "pnlAfterColor"), QColor(10, 200, 10));
        QCOMPARE(f.BeforeColor(), 0u);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void screenshot()
    {
        if (qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR").isEmpty())
            QSKIP("screenshots are taken by tests/ui/windows_screenshots.sh");
        TfrmColourPair f;
        TypeAndInput(f, "edtBeforeHex", "btnBeforeHexInput", "FF8000");
        f.findChild<QLineEdit*>("edtBeforeHex")->setText("FF8000");
        TypeAndInput(f, "edtAfterHex", "btnAfterHexInput", "2E7D32");
        f.findChild<QLineEdit*>("edtAfterHex")->setText("2E7D32");
        f.findChild<QCheckBox*>("cbxAdjustment")->setChecked(true);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        SAVE_SCREENSHOT_OR_SKIP(f, "colour_pair_dialog.png");
    }

    void plainClickOnAnEyedropperShowsTheHelp()
    {
        TfrmColourPair f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        for (const char* name : {"sbtBeforeSpuit", "sbtAfterSpuit"}) {
            QString text;
            WhenModal([&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                QVERIFY(box);
                text = box->text();
                box->accept();
            });
            QTest::mouseClick(f.findChild<QToolButton*>(name), Qt::LeftButton);
            QCOMPARE(text, QStringLiteral("ここでマウスボタンを押しっぱなしにし，\n"
                                          "色を取得したいところでボタンを離してください．\n"
                                          "スポイトツールになります．\n\n"
                                          "また，左の色がついてるパネルをクリックすると色選択ダイアログが出ます．"));
        }
    }
};

QTEST_MAIN(ColourPairFormTest)
#include "ColourPairFormTest.moc"
