#pragma once
// The small dialog that opens the preview on a URL typed by the user.

#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;

class TfrmUrlView : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUrlView(QWidget* parent = nullptr);
    ~TfrmUrlView() override;

signals:
    // "OK": the text exactly as typed; the main window opens (or reuses) the preview on it.
    void UrlChosen(const QString& Url);

public slots:
    void bbnOKClick();
    void BBnCancelClick();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    QLineEdit* edtUrl = nullptr;
    QPushButton* bbnOK = nullptr;
    QPushButton* BBnCancel = nullptr;
    bool FCentred = false;
};
