// The backup manager window: its list, drop rules, restore and delete with their questions and
// messages, and its refusal while a batch runs.

#include "ui/BackupForm.h"

#include "batch/BackupStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QFontDatabase>
#include <QDateTime>
#include <QHeaderView>
#include <QtTest>

#include "ScreenshotSupport.h"
#include "support/WindowTestSupport.h"

#include <functional>
#include <memory>


using namespace windowtest;

namespace {

// Runs Action and answers every message box it shows, a question with Answer; returns their
// texts.
QStringList MessagesOf(const std::function<void()>& Action, QMessageBox::StandardButton Answer = QMessageBox::Yes)
{
    QStringList texts;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            if (QAbstractButton* button = box->button(Answer))
                button->click();
            else
                box->accept();
        }
    });
    timer.start();
    Action();
    return texts;
}

const QString Failures = QStringLiteral("\n\nただし以下のファイルは失敗しました．\n");

QString RestoreAsked(int Count)
{
    return QString::number(Count) + QStringLiteral(" 個のバックアップを元のファイルに戻します。よろしいですか？");
}

QString DeleteAsked(int Count)
{
    return QString::number(Count) + QStringLiteral(" 個のバックアップを消去します。よろしいですか？");
}

const QString BatchRuns =
    QStringLiteral("色置換の実行中はバックアップの復元・消去はできません。\n実行が終わってからもう一度お試しください。");

} // namespace

class BackupFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> Dir;
    QString P(const QString& Name) const { return Dir->filePath(Name); }

private slots:
    void init() { Dir = std::make_unique<QTemporaryDir>(); }

    void startsEmptyWithItsOwnSettings()
    {
        TfrmBackup f;
        QCOMPARE(f.windowTitle(), QStringLiteral("バックアップ復元/消去"));
        QVERIFY(f.ListedPaths().isEmpty());
        QVERIFY(f.findChild<QCheckBox*>("cbxSubFolderSearch")->isChecked());
        auto* list = f.findChild<QTreeWidget*>("lvwFile");
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("ファイル名"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("フルパス"));
        QCOMPARE(f.findChild<QToolButton*>("bbnOpenFile")->toolTip(), QStringLiteral("ファイルからリストに追加"));
        QVERIFY(f.findChild<QPushButton*>("bbnResume")->isDefault());
        QVERIFY(f.testAttribute(Qt::WA_DeleteOnClose));
    }

    void eachBackupShowsItsDate()
    {
        WriteFile(P("old.css.bak"), "old");
        QFile old(P("old.css.bak"));
        QVERIFY(old.open(QIODevice::ReadWrite));
        const QDateTime when(QDate(2019, 3, 4), QTime(5, 6, 7));
        QVERIFY(old.setFileTime(when, QFileDevice::FileModificationTime));
        old.close();
        QCOMPARE(BackupDateText(P("old.css.bak")), QStringLiteral("2019/03/04 05:06:07"));
        QCOMPARE(BackupDateText(P("missing.bak")), QString());

        TfrmBackup f;
        auto* list = f.findChild<QTreeWidget*>("lvwFile");
        QCOMPARE(list->headerItem()->text(2), QStringLiteral("更新日時"));
        f.AddFiles({P("old.css.bak")});
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("2019/03/04 05:06:07"));
        QCOMPARE(f.ListedPaths(), QStringList{P("old.css.bak")});
        // The window can be resized, and the date stays in view.
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(f.minimumSize() != f.maximumSize());
        f.resize(700, 450);
        QTRY_COMPARE(f.size(), QSize(700, 450));
        QVERIFY(list->header()->sectionViewportPosition(2) + list->header()->sectionSize(2) <= list->viewport()->width());
    }

    void emptyListShowsNoMessage()
    {
        TfrmBackup f;
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }), QStringList());
        QCOMPARE(MessagesOf([&] { f.bbnDeleteBackupClick(); }), QStringList());
    }

    void restoreWritesTheFileKeepsBackupsAndList()
    {
        WriteFile(P("page.css"), "converted");
        WriteFile(P("page.css.bak"), "original");
        WriteFile(P("a.html.bak"), "A");
        TfrmBackup f;
        f.AddFiles({P("page.css.bak"), P("a.html.bak"), P("page.css.bak")});
        QCOMPARE(f.findChild<QTreeWidget*>("lvwFile")->topLevelItem(0)->text(0), QStringLiteral("page.css.bak"));
        // Nothing selected: every listed backup takes part, each file once.
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }), (QStringList{RestoreAsked(2), "ファイル復元が完了しました．"}));
        QCOMPARE(ReadFile(P("page.css")), QByteArray("original"));
        QCOMPARE(ReadFile(P("a.html")), QByteArray("A"));
        QCOMPARE(ReadFile(P("page.css.bak")), QByteArray("original"));
        QCOMPARE(f.ListedPaths().size(), 3);

        WriteFile(P("page.css"), "converted again");
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }), (QStringList{RestoreAsked(2), "ファイル復元が完了しました．"}));
        QCOMPARE(ReadFile(P("page.css")), QByteArray("original"));
    }

    void restoreNamesItsFailures()
    {
        WriteFile(P("b.html.bak"), "B");
        WriteFile(P("notes.txt"), "typed into the dialog");
        TfrmBackup f;
        f.AddFiles({P("missing.css.bak"), P("b.html.bak"), P("notes.txt")});
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }),
                 (QStringList{RestoreAsked(3), "ファイル復元が完了しました．" + Failures + P("missing.css.bak") +
                                                   "（バックアップがない）\n" + P("notes.txt") +
                                                   "（.bak のファイルではない）\n"}));
        QCOMPARE(ReadFile(P("b.html")), QByteArray("B"));
        QVERIFY(!QFile::exists(P("notes")));
    }

    void deleteTakesDuplicatesOnceAndEmptiesTheList()
    {
        WriteFile(P("x.html.bak"), "x");
        WriteFile(P("y.css.bak"), "y");
        TfrmBackup f;
        f.AddFiles({P("x.html.bak"), P("y.css.bak"), P("x.html.bak")});
        QCOMPARE(MessagesOf([&] { f.bbnDeleteBackupClick(); }), (QStringList{DeleteAsked(2), "ファイル消去が完了しました．"}));
        QVERIFY(!QFile::exists(P("x.html.bak")));
        QVERIFY(!QFile::exists(P("y.css.bak")));
        QVERIFY(f.ListedPaths().isEmpty());
    }

    void deletingAVanishedBackupIsReportedAndTheListStillEmptied()
    {
        WriteFile(P("x.html.bak"), "x");
        WriteFile(P("z.html.bak"), "z");
        TfrmBackup f;
        f.AddFiles({P("z.html.bak"), P("x.html.bak")});
        QFile::remove(P("x.html.bak"));  // deleted elsewhere meanwhile
        QCOMPARE(MessagesOf([&] { f.bbnDeleteBackupClick(); }),
                 (QStringList{DeleteAsked(2),
                              "ファイル消去が完了しました．" + Failures + P("x.html.bak") + "（バックアップがない）\n"}));
        QVERIFY(!QFile::exists(P("z.html.bak")));
        QVERIFY(f.ListedPaths().isEmpty());
    }

    void questionNamesTheCountAndNoDoesNothing()
    {
        WriteFile(P("page.css"), "converted");
        WriteFile(P("page.css.bak"), "original");
        WriteFile(P("sub/a.html.bak"), "A");
        WriteFile(P("b.gif.bak"), "B");
        TfrmBackup f;
        f.AddFiles({P("page.css.bak"), P("sub/a.html.bak"), P("b.gif.bak"), P("page.css.bak")});
        const QStringList listed = f.ListedPaths();

        // The box is answered No first and looked at afterwards, so a wrong box cannot stay open.
        struct {
            QString Text;
            QMessageBox::Icon Icon = QMessageBox::NoIcon;
            bool HasYes = false;
            bool NoIsDefault = false;
            bool Working = false;
        } asked;
        const auto answerNo = [&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box) {
                w->close();
                return;
            }
            asked = {box->text(), box->icon(), box->button(QMessageBox::Yes) != nullptr,
                     box->button(QMessageBox::No) && box->defaultButton() == box->button(QMessageBox::No),
                     f.IsWorking()};
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
            else
                box->reject();
        };
        WhenModal(answerNo);
        f.bbnResumeClick();
        QCOMPARE(asked.Text, RestoreAsked(3));
        QCOMPARE(asked.Icon, QMessageBox::Question);
        QVERIFY(asked.HasYes);
        QVERIFY(asked.NoIsDefault);
        QVERIFY(asked.Working);
        QVERIFY(!f.IsWorking());
        QCOMPARE(ReadFile(P("page.css")), QByteArray("converted"));
        QVERIFY(!QFile::exists(P("sub/a.html")));
        QVERIFY(!QFile::exists(P("b.gif")));

        WhenModal(answerNo);
        f.bbnDeleteBackupClick();
        QCOMPARE(asked.Text, DeleteAsked(3));
        QVERIFY(asked.NoIsDefault);
        QCOMPARE(ReadFile(P("page.css.bak")), QByteArray("original"));
        QCOMPARE(ReadFile(P("sub/a.html.bak")), QByteArray("A"));
        QCOMPARE(ReadFile(P("b.gif.bak")), QByteArray("B"));
        QCOMPARE(f.ListedPaths(), listed);

        // Return takes the default, No; Escape is No as well.
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
            WhenModal([key](QWidget* w) { QTest::keyClick(w, key); });
            f.bbnDeleteBackupClick();
            QCOMPARE(ReadFile(P("b.gif.bak")), QByteArray("B"));
            QCOMPARE(f.ListedPaths(), listed);
        }

        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }, QMessageBox::Yes),
                 (QStringList{RestoreAsked(3), "ファイル復元が完了しました．"}));
        QCOMPARE(ReadFile(P("page.css")), QByteArray("original"));
        QCOMPARE(ReadFile(P("sub/a.html")), QByteArray("A"));
        QCOMPARE(ReadFile(P("b.gif")), QByteArray("B"));
    }

    void linkedBackupIsRefusedAndNamed()
    {
        WriteFile(P("page.html"), "converted");
        WriteFile(P("elsewhere.txt"), "someone else's file");
        QVERIFY(QFile::link(P("elsewhere.txt"), P("page.html.bak")));
        WriteFile(P("ok.css"), "converted");
        WriteFile(P("ok.css.bak"), "original");
        TfrmBackup f;
        f.AddFiles({P("page.html.bak"), P("ok.css.bak")});
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }),
                 (QStringList{RestoreAsked(2), "ファイル復元が完了しました．" + Failures + P("page.html.bak") +
                                                   "（バックアップがリンク）\n"}));
        QCOMPARE(ReadFile(P("page.html")), QByteArray("converted"));
        QCOMPARE(ReadFile(P("elsewhere.txt")), QByteArray("someone else's file"));
        QVERIFY(QFileInfo(P("page.html.bak")).isSymLink());
        QCOMPARE(ReadFile(P("ok.css")), QByteArray("original"));
    }

    void refusedWhileABatchRuns()
    {
        WriteFile(P("page.css"), "converted");
        WriteFile(P("page.css.bak"), "original");
        bool running = true;
        TfrmBackup f;
        f.SetBatchRunning([&] { return running; });
        f.AddFiles({P("page.css.bak")});
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }), QStringList{BatchRuns});
        QCOMPARE(MessagesOf([&] { f.bbnDeleteBackupClick(); }), QStringList{BatchRuns});
        QCOMPARE(ReadFile(P("page.css")), QByteArray("converted"));
        QCOMPARE(ReadFile(P("page.css.bak")), QByteArray("original"));
        QCOMPARE(f.ListedPaths(), QStringList{P("page.css.bak")});

        running = false;
        QCOMPARE(MessagesOf([&] { f.bbnResumeClick(); }), (QStringList{RestoreAsked(1), "ファイル復元が完了しました．"}));
        QCOMPARE(ReadFile(P("page.css")), QByteArray("original"));
    }

    void dropRules()
    {
        WriteFile(P("site/a.html.bak"), "");
        WriteFile(P("site/b.CSS.BAK"), "");
        WriteFile(P("site/c.html"), "");
        WriteFile(P("site/sub/d.gif.bak"), "");
        WriteFile(P("site.old/e.html.bak"), "");
        WriteFile(P("README"), "a file without extension");
        WriteFile(P("loose.Bak"), "");
        TfrmBackup f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QVERIFY(f.acceptDrops());

        Drop(f, {P("site.old"), P("README"), P("site/c.html")});
        QVERIFY(f.ListedPaths().isEmpty());

        f.findChild<QCheckBox*>("cbxSubFolderSearch")->setChecked(false);
        Drop(f, {P("loose.Bak"), P("site")});
        QStringList got = f.ListedPaths();
        QCOMPARE(got.size(), 3);
        QCOMPARE(got.takeFirst(), P("loose.Bak"));
        got.sort();
        QCOMPARE(got, (QStringList{P("site/a.html.bak"), P("site/b.CSS.BAK")}));

        f.bbnAllDeleteFileClick();
        f.findChild<QCheckBox*>("cbxSubFolderSearch")->setChecked(true);
        Drop(*f.findChild<QTreeWidget*>("lvwFile"), {P("site")});  // onto the list: the window takes it
        QCOMPARE(f.ListedPaths().size(), 3);
        QVERIFY(f.ListedPaths().contains(P("site/sub/d.gif.bak")));
    }

    void deleteSelectionRule()
    {
        TfrmBackup f;
        for (int i = 0; i < 5; ++i)
            f.AddFile(P(QString("f%1.bak").arg(i)));
        auto* list = f.findChild<QTreeWidget*>("lvwFile");
        list->topLevelItem(3)->setSelected(true);
        list->topLevelItem(4)->setSelected(true);
        f.bbnDeleteFileClick();
        QCOMPARE(f.ListedPaths(), (QStringList{P("f0.bak"), P("f1.bak"), P("f2.bak")}));
        QCOMPARE(list->selectedItems().size(), 1);
        QCOMPARE(list->selectedItems().first(), list->topLevelItem(2));

        // The Delete key does the same; the selection stays on the same index.
        list->clearSelection();
        list->topLevelItem(0)->setSelected(true);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(f.ListedPaths(), (QStringList{P("f1.bak"), P("f2.bak")}));
        QCOMPARE(list->selectedItems().first(), list->topLevelItem(0));

        list->clearSelection();
        f.bbnDeleteFileClick();  // nothing selected: nothing removed
        QCOMPARE(f.ListedPaths().size(), 2);
    }

    void folderDialogAddsTheBackupsFound()
    {
        WriteFile(P("web/x.html.bak"), "");
        WriteFile(P("web/deep/y.css.bak"), "");
        TfrmBackup f;
        f.show();
        WhenModal([&](QWidget* w) {
            auto* dlg = qobject_cast<QFileDialog*>(w);
            QVERIFY(dlg);
            QCOMPARE(dlg->windowTitle(), QStringLiteral("フォルダを開く"));
            dlg->setDirectory(P("web"));
            dlg->selectFile(P("web"));
            static_cast<QDialog*>(dlg)->accept();
        });
        f.bbnOpenFolderClick();
        QStringList got = f.ListedPaths();
        got.sort();
        QCOMPARE(got, (QStringList{P("web/deep/y.css.bak"), P("web/x.html.bak")}));
    }

    void screenshot()
    {
        if (qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR").isEmpty())
            QSKIP("screenshots are taken by tests/ui/windows_screenshots.sh");
        TfrmBackup f;
        f.AddFiles({"/home/user/web/index.html.bak", "/home/user/web/css/style.css.bak",
                    "/home/user/web/images/logo.gif.bak", "/home/user/web/images/badge.png.bak"});
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        SAVE_SCREENSHOT_OR_SKIP(f, "backup_manager.png");
    }

    void closeButtonFreesTheWindow()
    {
        auto* f = new TfrmBackup;
        QPointer<TfrmBackup> guard(f);
        f->show();
        QTest::mouseClick(f->findChild<QPushButton*>("bbnCancel"), Qt::LeftButton);
        QTRY_VERIFY(guard.isNull());
    }
};

QTEST_MAIN(BackupFormTest)
#include "BackupFormTest.moc"
