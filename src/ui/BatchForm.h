#pragma once
// The batch window: shows the conversion log and the progress of one batch. The batch itself
// (TBatchRun) runs on a worker thread so the program stays responsive on a large site; its log
// lines and progress steps are handed to this window as they happen, in order.

#include "batch/BatchRun.h"

#include <QStringList>
#include <QWidget>

#include <atomic>
#include <memory>
#include <thread>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// "123 / 8700 (1%)": files handled of the files to convert, the share rounded down.
QString ProgressText(int Done, int Total);
// The failure lines of a log, in order.
QStringList FailureLines(const QStringList& Lines);

class TfrmBatch final : public QWidget {
    Q_OBJECT

public:
    // Takes the settings of this moment: nothing done in the main window afterwards reaches
    // this batch.
    explicit TfrmBatch(const TBatchInput& Input, QWidget* parent = nullptr);
    ~TfrmBatch() override;

    TfrmBatch(const TfrmBatch&) = delete;
    TfrmBatch& operator=(const TfrmBatch&) = delete;

    // Starts the whole batch and returns at once; ConversionFinished follows when every file
    // has been handled. A second call does nothing.
    void ExecuteConversion();

    bool IsRunning() const { return FRunning; }
    bool IsFinished() const { return FFinished; }
    // Whether 中止 was pressed during this batch.
    bool StopRequested() const { return FStopRequested.load(); }
    // Files converted; valid once finished.
    int Successes() const;

    // The lines of memLog.
    QStringList LogLines() const { return FLines; }

    // The whole log as bbnClipBoardClick puts it on the clipboard.
    QString LogText() const;

public slots:
    void bbnOKClick();
    void bbnClipBoardClick();
    // Stops the batch after the files in hand; the others are not begun.
    void bbnCancelClick();
    void cbxFailuresOnlyClick();

signals:
    void ConversionFinished();

protected:
    void closeEvent(QCloseEvent* Event) override;

private:
    class TLiveObserver;

    void AppendLine(const QString& Line);
    void Finish(const QString& Failure);
    void SetRunningLook(bool Running);
    void ShowProgress();
    void ShowLog();

    QPlainTextEdit* memLog = nullptr;
    QProgressBar* pgbOperation = nullptr;
    QPushButton* bbnOK = nullptr;
    QPushButton* bbnClipBoard = nullptr;
    QPushButton* bbnCancel = nullptr;
    QCheckBox* cbxFailuresOnly = nullptr;
    QLabel* lblProgress = nullptr;

    // Before FOperation: the batch holds its address from the start.
    std::atomic<bool> FStopRequested{false};
    std::unique_ptr<TBatchRun> FOperation;
    std::unique_ptr<TLiveObserver> FObserver;
    std::thread FWorker;
    QStringList FLines;
    bool FRunning = false;
    bool FFinished = false;
};
