#include "ui/BatchForm.h"

#include "batch/BatchLog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextCursor>
#include <QVBoxLayout>

#include <exception>

namespace {

// Tool window that stays on top; the close box only while no batch runs.
Qt::WindowFlags OperationWindowFlags(bool Closable)
{
    Qt::WindowFlags Flags = Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint;
    if (Closable)
        Flags |= Qt::WindowCloseButtonHint;
    return Flags;
}

TBatchInput WithStop(TBatchInput Input, const std::atomic<bool>* Stop)
{
    Input.StopRequested = Stop;
    return Input;
}

}  // namespace

QString ProgressText(int Done, int Total)
{
    const int Percent = Total > 0 ? static_cast<int>(static_cast<long long>(Done) * 100 / Total) : 0;
    return QStringLiteral("%1 / %2 (%3%)").arg(Done).arg(Total).arg(Percent);
}

QStringList FailureLines(const QStringList& Lines)
{
    const std::string_view FailureHead = BatchLog::FailureHead;
    const QString Head = QString::fromUtf8(FailureHead.data(), qsizetype(FailureHead.size()));
    QStringList Failures;
    for (const QString& Line : Lines) {
        if (Line.startsWith(Head))
            Failures << Line;
    }
    return Failures;
}

// Called on the worker thread: every call becomes an event for the window, so the log and the
// progress bar change on the user-interface thread in the order the batch reports them.
class TfrmBatch::TLiveObserver final : public TBatchObserver {
public:
    explicit TLiveObserver(TfrmBatch* Form) : FForm(Form) {}

    void ProgressMaximum(int Maximum) override
    {
        QMetaObject::invokeMethod(FForm, [Form = FForm, Maximum] {
            Form->pgbOperation->setMaximum(Maximum);
            Form->pgbOperation->setValue(0);
            Form->ShowProgress();
        }, Qt::QueuedConnection);
    }

    void ProgressStep() override
    {
        QMetaObject::invokeMethod(FForm, [Form = FForm] {
            Form->pgbOperation->setValue(Form->pgbOperation->value() + 1);
            Form->ShowProgress();
        }, Qt::QueuedConnection);
    }

    void LogLine(const std::string& Line) override
    {
        QMetaObject::invokeMethod(FForm, [Form = FForm, Text = QString::fromUtf8(Line)] {
            Form->AppendLine(Text);
        }, Qt::QueuedConnection);
    }

private:
    TfrmBatch* FForm;
};

TfrmBatch::TfrmBatch(const TBatchInput& Input, QWidget* parent)
    : QWidget(parent, OperationWindowFlags(true)),
      FOperation(std::make_unique<TBatchRun>(WithStop(Input, &FStopRequested))),
      FObserver(std::make_unique<TLiveObserver>(this))
{
    setObjectName(QStringLiteral("frmOperation"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("実行"));

    auto* pnlLog = new QWidget(this);
    pnlLog->setObjectName(QStringLiteral("pnlLog"));
    memLog = new QPlainTextEdit(pnlLog);
    memLog->setObjectName(QStringLiteral("memLog"));
    memLog->setReadOnly(true);
    memLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    memLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // IPAGothic stands in for the fixed-pitch Japanese font the log was laid out for: its
    // half-width and full-width characters are exactly one and two cells wide, so the
    // padded file names line up.
    QFont LogFont(QStringLiteral("IPAGothic"));
    LogFont.setPixelSize(12);
    LogFont.setStyleHint(QFont::TypeWriter);
    LogFont.setFixedPitch(true);
    memLog->setFont(LogFont);

    pgbOperation = new QProgressBar(pnlLog);
    pgbOperation->setObjectName(QStringLiteral("pgbOperation"));
    pgbOperation->setRange(0, 0);
    pgbOperation->setMaximum(0);
    pgbOperation->setValue(0);
    pgbOperation->setTextVisible(false);
    pgbOperation->setAccessibleName(tr("進み具合"));
    lblProgress = new QLabel(ProgressText(0, 0), pnlLog);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setAccessibleName(tr("変換したファイルの数"));
    memLog->setAccessibleName(tr("変換の記録"));

    auto* LogLayout = new QVBoxLayout(pnlLog);
    LogLayout->setContentsMargins(0, 0, 0, 0);
    LogLayout->setSpacing(2);
    LogLayout->addWidget(memLog, 1);
    auto* ProgressRow = new QHBoxLayout;
    ProgressRow->addWidget(pgbOperation, 1);
    ProgressRow->addWidget(lblProgress);
    LogLayout->addLayout(ProgressRow);

    bbnClipBoard = new QPushButton(tr("クリップボードへ"), this);
    bbnClipBoard->setObjectName(QStringLiteral("bbnClipBoard"));
    bbnOK = new QPushButton(QStringLiteral("OK"), this);
    bbnOK->setObjectName(QStringLiteral("bbnOK"));
    bbnOK->setDefault(true);
    bbnOK->setAutoDefault(true);
    bbnCancel = new QPushButton(tr("中止(&C)"), this);
    bbnCancel->setObjectName(QStringLiteral("bbnCancel"));
    bbnCancel->setToolTip(tr("変換中のファイルを終えたところで止めます。残りのファイルは変換しません。"));
    bbnCancel->setEnabled(false);
    cbxFailuresOnly = new QCheckBox(tr("失敗のみ表示(&F)"), this);
    cbxFailuresOnly->setObjectName(QStringLiteral("cbxFailuresOnly"));
    bbnClipBoard->setAccessibleName(tr("記録をクリップボードへ"));
    bbnOK->setAccessibleName(tr("閉じる"));
    bbnCancel->setAccessibleName(tr("中止"));
    cbxFailuresOnly->setAccessibleName(tr("失敗のみ表示"));

    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(bbnClipBoard);
    Buttons->addWidget(cbxFailuresOnly);
    Buttons->addStretch(1);
    Buttons->addWidget(bbnCancel);
    Buttons->addWidget(bbnOK);

    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(4, 4, 4, 4);
    Layout->addWidget(pnlLog, 1);
    Layout->addLayout(Buttons);

    connect(bbnOK, &QPushButton::clicked, this, &TfrmBatch::bbnOKClick);
    connect(bbnClipBoard, &QPushButton::clicked, this, &TfrmBatch::bbnClipBoardClick);
    connect(bbnCancel, &QPushButton::clicked, this, &TfrmBatch::bbnCancelClick);
    connect(cbxFailuresOnly, &QCheckBox::toggled, this, &TfrmBatch::cbxFailuresOnlyClick);

    resize(520, 340);
    if (parent) {
        const QRect Owner = parent->window()->frameGeometry();
        move(Owner.center() - rect().center());
    }
}

TfrmBatch::~TfrmBatch()
{
    // The batch writes users' files: it is always allowed to finish.
    if (FWorker.joinable())
        FWorker.join();
}

void TfrmBatch::ExecuteConversion()
{
    if (FRunning || FFinished)
        return;
    SetRunningLook(true);
    FWorker = std::thread([this] {
        QString Failure;
        try {
            FOperation->ExecuteConversion(*FObserver);
        } catch (const std::exception& Error) {
            Failure = QString::fromUtf8(Error.what());
        } catch (...) {
            Failure = QStringLiteral("unknown error");
        }
        QMetaObject::invokeMethod(this, [this, Failure] { Finish(Failure); }, Qt::QueuedConnection);
    });
}

QString TfrmBatch::LogText() const
{
    QString Text;
    for (const QString& Line : FLines)
        Text += Line + QLatin1Char('\n');
    return Text;
}

void TfrmBatch::bbnOKClick()
{
    close();
}

void TfrmBatch::bbnClipBoardClick()
{
    QGuiApplication::clipboard()->setText(LogText());
}

void TfrmBatch::bbnCancelClick()
{
    if (!FRunning)
        return;
    FStopRequested.store(true);
    bbnCancel->setEnabled(false);
}

void TfrmBatch::cbxFailuresOnlyClick()
{
    ShowLog();
}

int TfrmBatch::Successes() const
{
    return FOperation->Successes();
}

void TfrmBatch::ShowProgress()
{
    lblProgress->setText(ProgressText(pgbOperation->value(), pgbOperation->maximum()));
}

void TfrmBatch::ShowLog()
{
    memLog->setPlainText((cbxFailuresOnly->isChecked() ? FailureLines(FLines) : FLines).join(QLatin1Char('\n')));
    memLog->moveCursor(QTextCursor::End);
}

void TfrmBatch::closeEvent(QCloseEvent* Event)
{
    if (FRunning)
        Event->ignore();
    else
        Event->accept();
}

void TfrmBatch::AppendLine(const QString& Line)
{
    FLines.append(Line);
    if (!cbxFailuresOnly->isChecked() || !FailureLines({Line}).isEmpty())
        memLog->appendPlainText(Line);
}

void TfrmBatch::Finish(const QString& Failure)
{
    if (FWorker.joinable())
        FWorker.join();
    // A stopped batch shows how far it came, not a full bar.
    if (!FStopRequested.load())
        pgbOperation->setValue(pgbOperation->maximum());
    ShowProgress();
    SetRunningLook(false);
    FFinished = true;
    emit ConversionFinished();
    if (!Failure.isEmpty())
        QMessageBox::critical(this, tr("実行"), Failure);
}

void TfrmBatch::SetRunningLook(bool Running)
{
    FRunning = Running;
    bbnOK->setEnabled(!Running);
    bbnCancel->setEnabled(Running && !FStopRequested.load());
    const bool WasVisible = isVisible();
    const QPoint Position = pos();
    setWindowFlags(OperationWindowFlags(!Running));
    if (WasVisible) {
        move(Position);
        show();
    }
}
