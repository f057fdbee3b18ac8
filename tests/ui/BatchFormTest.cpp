// The batch window over real temporary files: the log it shows, the progress bar, the
// clipboard, and the settings being those of the moment the batch was asked for.

#include "ui/MainForm.h"
#include "ui/BatchForm.h"

#include <QClipboard>
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
                               Line("失敗> ", Gone) + QStringLiteral("（原因不明）"), Line("成功> ", Long), EndLine,
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
    QMetaObject::invokeMethod(&Main, &TfrmMain::bbnOperationClick);
    // Moved while the batch runs: changes nothing in it.
    Hue->setValue(-120);
    QTRY_VERIFY_WITH_TIMEOUT(Main.BatchForm() && Main.BatchForm()->IsFinished(), 20000);
    QCOMPARE(Main.BatchForm()->LogLines().last(), QStringLiteral("20/20個のファイルを変換成功"));
    for (const QString& Page : Pages)
        QCOMPARE(ReadFile(Page), QByteArray("<body text=\"#00FF00\">\r\n"));
}

QTEST_MAIN(BatchFormTest)
#include "BatchFormTest.moc"
