// The batch window over real temporary files: the log it shows, the progress bar, the
// clipboard, and the settings being those of the moment the batch was asked for.

#include "ui/MainForm.h"
#include "ui/BatchForm.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "support/WindowTestSupport.h"

using namespace windowtest;

namespace {

const QString EndLine = QStringLiteral("－－－－－－－－－変換終了－－－－－－－－－");

// "成功> " or "失敗> ", the name padded to 22 columns, "：", the path.
QString Line(const char* Outcome, const QString& Path)
{
    return QString::fromUtf8(Outcome) + QStringLiteral("%1").arg(QFileInfo(Path).fileName(), -22) +
           QStringLiteral("：") + Path;
}

TBatchInput InputOf(const QStringList& Paths, int Hue)
{
    TBatchInput Input;
    for (const QString& Path : Paths)
        Input.Items.push_back(TBatchItem{true, QFile::encodeName(Path).toStdString()});
    Input.Settings.HueOffset = Hue;
    return Input;
}

bool RunToEnd(TfrmBatch& Form)
{
    Form.show();
    Form.ExecuteConversion();
    return QTest::qWaitFor([&Form] { return Form.IsFinished(); }, 20000);
}

}  // namespace

class BatchFormTest : public QObject {
    Q_OBJECT

private slots:
    void logListsEveryFileOnceInPathOrder();
    void emptyBatchLogsOnlyTheEnd();
    void windowLooksAsDesigned();
    void settingsAreThoseOfTheMomentOfTheCommand();
    void progressTextCountsAndRoundsDown();
    void failuresCanBeShownAlone();
    void cancelStopsAfterTheFilesInHand();
};

void BatchFormTest::logListsEveryFileOnceInPathOrder()
{
    QTemporaryDir Dir;
    const QString Html = Dir.filePath("b.html");
    const QString Css = Dir.filePath("a.css");
    const QString Gone = Dir.filePath("gone.html");
    const QString Long = Dir.filePath("longer-than-22-bytes.htm");
    QCOMPARE(QFileInfo(Long).fileName().size(), 24);
    const QByteArray Page = "<html><body bgcolor=\"#FF0000\"></body></html>\r\n";
    WriteFile(Html, Page);
    WriteFile(Css, "p { color: #FF0000; }\r\n");
    WriteFile(Long, Page);

    // Listed twice, and a missing file; hue +120 turns red into green.
    TfrmBatch Form(InputOf({Html, Gone, Css, Html, Long}, 120));
    QVERIFY(RunToEnd(Form));

    const QStringList Expected{Line("成功> ", Css), Line("成功> ", Html),
                               Line("失敗> ", Gone) + QStringLiteral("（ファイルがない）"), Line("成功> ", Long), EndLine,
                               QStringLiteral("3/4個のファイルを変換成功")};
    QCOMPARE(Form.LogLines(), Expected);
    QVERIFY(Form.LogLines().at(3).contains(QStringLiteral(".htm：")));  // 22 bytes or more: no padding
    QCOMPARE(Form.findChild<QPlainTextEdit*>("memLog")->toPlainText(), Expected.join('\n'));

    auto* Progress = Form.findChild<QProgressBar*>("pgbOperation");
    QCOMPARE(Progress->maximum(), 4);
    QCOMPARE(Progress->value(), 4);

    QCOMPARE(ReadFile(Html), QByteArray("<html><body bgcolor=\"#00FF00\"></body></html>\r\n"));
    QCOMPARE(ReadFile(Html + ".bak"), Page);
    QCOMPARE(ReadFile(Css), QByteArray("p { color: #00FF00; }\r\n"));

    QCOMPARE(Form.LogText(), Expected.join('\n') + '\n');
    Form.findChild<QPushButton*>("bbnClipBoard")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), Form.LogText());
}

void BatchFormTest::emptyBatchLogsOnlyTheEnd()
{
    TBatchInput Input;
    Input.Items.push_back(TBatchItem{false, "/nowhere/unchecked.html"});
    TfrmBatch Form(Input);
    QVERIFY(RunToEnd(Form));
    QCOMPARE(Form.LogLines(), QStringList({EndLine, QStringLiteral("0/0個のファイルを変換成功")}));
    auto* Progress = Form.findChild<QProgressBar*>("pgbOperation");
    QCOMPARE(Progress->maximum(), 0);
    QCOMPARE(Progress->value(), 0);
}

void BatchFormTest::windowLooksAsDesigned()
{
    TfrmBatch Form{TBatchInput{}};
    QCOMPARE(Form.windowTitle(), QString("実行"));
    QVERIFY(Form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(Form.testAttribute(Qt::WA_DeleteOnClose));
    auto* Log = Form.findChild<QPlainTextEdit*>("memLog");
    QVERIFY(Log->isReadOnly());
    QCOMPARE(Log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(Log->font().family(), QString("IPAGothic"));
    QCOMPARE(Log->font().pixelSize(), 12);
    QCOMPARE(Form.findChild<QPushButton*>("bbnOK")->text(), QString("OK"));
    QVERIFY(Form.findChild<QPushButton*>("bbnOK")->isDefault());
    QCOMPARE(Form.findChild<QPushButton*>("bbnClipBoard")->text(), QString("クリップボードへ"));
    QCOMPARE(Form.findChild<QProgressBar*>("pgbOperation")->minimum(), 0);
    // Until the batch runs there is nothing to wait for: the window may be closed.
    Form.setAttribute(Qt::WA_DeleteOnClose, false);
    Form.show();
    QVERIFY(Form.close());
}

void BatchFormTest::settingsAreThoseOfTheMomentOfTheCommand()
{
    QTemporaryDir Dir;
    QStringList Pages;
    for (int Number = 0; Number < 20; ++Number) {
        Pages << Dir.filePath(QStringLiteral("page%1.html").arg(Number, 2, 10, QLatin1Char('0')));
        WriteFile(Pages.last(), "<body text=\"#FF0000\">\r\n");
    }
    TfrmMain Main;
    Main.show();
    Main.FileList().AddFiles(Pages);
    auto* Hue = Main.findChild<QScrollBar*>("scbH");
    Hue->setValue(120);
    WhenModal([](QWidget* Modal) { qobject_cast<QMessageBox*>(Modal)->button(QMessageBox::Yes)->click(); });
    QMetaObject::invokeMethod(&Main, &TfrmMain::bbnOperationClick);
    // Moved while the batch runs: changes nothing in it.
    Hue->setValue(-120);
    QTRY_VERIFY_WITH_TIMEOUT(Main.BatchForm() && Main.BatchForm()->IsFinished(), 20000);
    QCOMPARE(Main.BatchForm()->LogLines().last(), QStringLiteral("20/20個のファイルを変換成功"));
    for (const QString& Page : Pages)
        QCOMPARE(ReadFile(Page), QByteArray("<body text=\"#00FF00\">\r\n"));
}

void BatchFormTest::progressTextCountsAndRoundsDown()
{
    QCOMPARE(ProgressText(123, 8700), QStringLiteral("123 / 8700 (1%)"));
    QCOMPARE(ProgressText(8699, 8700), QStringLiteral("8699 / 8700 (99%)"));
    QCOMPARE(ProgressText(8700, 8700), QStringLiteral("8700 / 8700 (100%)"));
    QCOMPARE(ProgressText(0, 0), QStringLiteral("0 / 0 (0%)"));
    // No overflow on a very large site.
    QCOMPARE(ProgressText(30000000, 40000000), QStringLiteral("30000000 / 40000000 (75%)"));
}

void BatchFormTest::failuresCanBeShownAlone()
{
    QTemporaryDir Dir;
    const QString Css = Dir.filePath("a.css");
    const QString Gone = Dir.filePath("gone.html");
    WriteFile(Css, "p { color: #FF0000; }\r\n");
    TfrmBatch Form(InputOf({Css, Gone}, 120));
    QVERIFY(RunToEnd(Form));
    const QString Failure = Line("失敗> ", Gone) + QStringLiteral("（ファイルがない）");
    QCOMPARE(FailureLines(Form.LogLines()), QStringList{Failure});
    QCOMPARE(Form.findChild<QLabel*>("lblProgress")->text(), QStringLiteral("2 / 2 (100%)"));

    auto* Log = Form.findChild<QPlainTextEdit*>("memLog");
    auto* Only = Form.findChild<QCheckBox*>("cbxFailuresOnly");
    QCOMPARE(Only->text(), QStringLiteral("失敗のみ表示(&F)"));
    Only->click();
    QCOMPARE(Log->toPlainText(), Failure);
    // The whole log still goes to the clipboard.
    QCOMPARE(Form.LogText(), Form.LogLines().join('\n') + '\n');
    Only->click();
    QCOMPARE(Log->toPlainText(), Form.LogLines().join('\n'));
}

void BatchFormTest::cancelStopsAfterTheFilesInHand()
{
    QTemporaryDir Dir;
    QStringList Pages;
    for (int Number = 0; Number < 400; ++Number) {
        Pages << Dir.filePath(QStringLiteral("page%1.html").arg(Number, 3, 10, QLatin1Char('0')));
        WriteFile(Pages.last(), "<body text=\"#FF0000\">\r\n");
    }
    TBatchInput Input = InputOf(Pages, 120);
    Input.Jobs = 1;
    TfrmBatch Form(Input);
    auto* Cancel = Form.findChild<QPushButton*>("bbnCancel");
    QCOMPARE(Cancel->text(), QStringLiteral("中止(&C)"));
    QVERIFY(!Cancel->isEnabled());  // nothing to stop yet
    Form.show();
    Form.ExecuteConversion();
    QVERIFY(Cancel->isEnabled());
    Cancel->click();
    QVERIFY(Form.StopRequested());
    QVERIFY(!Cancel->isEnabled());
    QVERIFY(QTest::qWaitFor([&Form] { return Form.IsFinished(); }, 20000));

    // Some files may have been in hand; every other one was left alone and the log says how many.
    int Converted = 0;
    for (const QString& Page : Pages)
        Converted += ReadFile(Page) == QByteArray("<body text=\"#00FF00\">\r\n") ? 1 : 0;
    QVERIFY(Converted < Pages.size());
    QCOMPARE(Form.Successes(), Converted);
    const QString Stopped = QStringLiteral("中断：%1個のファイルは変換していません").arg(Pages.size() - Converted);
    QVERIFY2(Form.LogLines().contains(Stopped), qPrintable(Form.LogLines().join('\n')));
    QCOMPARE(Form.findChild<QLabel*>("lblProgress")->text(), ProgressText(Converted, Pages.size()));
    QVERIFY(Form.findChild<QPushButton*>("bbnOK")->isEnabled());
}

QTEST_MAIN(BatchFormTest)
#include "BatchFormTest.moc"
