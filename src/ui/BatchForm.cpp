#include "ui/BatchForm.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
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

}  // namespace

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
        }, Qt::QueuedConnection);
    }

    void ProgressStep() override
    {
        QMetaObject::invokeMethod(FForm, [Form = FForm] {
            Form->pgbOperation->setValue(Form->pgbOperation->value() + 1);
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
      FOperation(std::make_unique<TBatchRun>(Input)),
      FObserver(std::make_unique<TLiveObserver>(this))
{
    setObjectName(QStringLiteral("frmOperation"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("実行"));

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

    auto* LogLayout = new QVBoxLayout(pnlLog);
    LogLayout->setContentsMargins(0, 0, 0, 0);
    LogLayout->setSpacing(2);
    LogLayout->addWidget(memLog, 1);
    LogLayout->addWidget(pgbOperation);

    bbnClipBoard = new QPushButton(QStringLiteral("クリップボードへ"), this);
    bbnClipBoard->setObjectName(QStringLiteral("bbnClipBoard"));
    bbnOK = new QPushButton(QStringLiteral("OK"), this);
    bbnOK->setObjectName(QStringLiteral("bbnOK"));
    bbnOK->setDefault(true);
    bbnOK->setAutoDefault(true);

    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(bbnClipBoard);
    Buttons->addStretch(1);
    Buttons->addWidget(bbnOK);

    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(4, 4, 4, 4);
    Layout->addWidget(pnlLog, 1);
    Layout->addLayout(Buttons);

    connect(bbnOK, &QPushButton::clicked, this, &TfrmBatch::bbnOKClick);
    connect(bbnClipBoard, &QPushButton::clicked, this, &TfrmBatch::bbnClipBoardClick);

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
    memLog->appendPlainText(Line);
}

void TfrmBatch::Finish(const QString& Failure)
{
    if (FWorker.joinable())
        FWorker.join();
    pgbOperation->setValue(pgbOperation->maximum());
    SetRunningLook(false);
    FFinished = true;
    emit ConversionFinished();
    if (!Failure.isEmpty())
        QMessageBox::critical(this, QStringLiteral("実行"), Failure);
}

void TfrmBatch::SetRunningLook(bool Running)
{
    FRunning = Running;
    bbnOK->setEnabled(!Running);
    const bool WasVisible = isVisible();
    const QPoint Position = pos();
    setWindowFlags(OperationWindowFlags(!Running));
    if (WasVisible) {
        move(Position);
        show();
    }
}
