// The URL dialog: the text goes out exactly as typed, and the dialog frees itself.

#include "ui/UrlViewForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QFontDatabase>
#include <QtTest>

#include "ScreenshotSupport.h"


class UrlViewFormTest : public QObject {
    Q_OBJECT
private slots:
    void defaultTextGoesOutAsItStands()
    {
        auto* f = new TfrmUrlView;
        QPointer<TfrmUrlView> guard(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("URLでプレビュー"));
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QSignalSpy spy(f, &TfrmUrlView::UrlChosen);
        QTest::mouseClick(f->findChild<QPushButton*>("bbnOK"), Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("http://"));
        QTRY_VERIFY(guard.isNull());
    }

    void enterConfirmsTheTypedTextUntouched()
    {
        auto* f = new TfrmUrlView;
        QPointer<TfrmUrlView> guard(f);
        f->show();
        f->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f));
        QSignalSpy spy(f, &TfrmUrlView::UrlChosen);
        auto* edit = f->findChild<QLineEdit*>("edtUrl");
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, " file:///tmp/a b.html#top ");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral(" file:///tmp/a b.html#top "));
        QTRY_VERIFY(guard.isNull());
    }

    void opensCentredOnTheWindowItCameFrom()
    {
        QWidget owner;
        owner.setGeometry(100, 80, 600, 500);
        owner.show();
        // Owned, as a child window, or opened from the active window without an owner.
        for (bool owned : {true, false}) {
            owner.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&owner));
            auto* f = owned ? new TfrmUrlView(&owner) : new TfrmUrlView;
            f->show();
            QVERIFY(QTest::qWaitForWindowExposed(f));
            const QRect o = owner.frameGeometry();
            QCOMPARE(f->frameGeometry().topLeft(), QPoint(o.x() + (o.width() - f->frameGeometry().width()) / 2,
                                                         o.y() + (o.height() - f->frameGeometry().height()) / 2));
            f->close();
        }
    }

    void screenshot()
    {
        if (qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR").isEmpty())
            QSKIP("screenshots are taken by tests/ui/windows_screenshots.sh");
        TfrmUrlView f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        SAVE_SCREENSHOT_OR_SKIP(f, "url_dialog.png");
    }

    void cancelAndEscapeSendNothing()
    {
        for (bool escape : {false, true}) {
            auto* f = new TfrmUrlView;
            QPointer<TfrmUrlView> guard(f);
            f->show();
            f->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(f));
            QSignalSpy spy(f, &TfrmUrlView::UrlChosen);
            f->findChild<QLineEdit*>("edtUrl")->setText("http://example.org/");
            if (escape)
                QTest::keyClick(f->findChild<QLineEdit*>("edtUrl"), Qt::Key_Escape);
            else
                QTest::mouseClick(f->findChild<QPushButton*>("BBnCancel"), Qt::LeftButton);
            QTRY_VERIFY(guard.isNull());
            QCOMPARE(spy.count(), 0);
        }
        // The next dialog starts afresh.
        TfrmUrlView again;
        QCOMPARE(again.findChild<QLineEdit*>("edtUrl")->text(), QStringLiteral("http://"));
    }
};

QTEST_MAIN(UrlViewFormTest)
#include "UrlViewFormTest.moc"
