// The URL dialog: the text goes out exactly as typed, and the dialog frees itself.

#include "ui/UrlViewForm.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

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
