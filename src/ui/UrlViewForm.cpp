#include "ui/UrlViewForm.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>

#include <algorithm>

TfrmUrlView::TfrmUrlView(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmUrlView"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("URLでプレビュー"));

    edtUrl = new QLineEdit(QStringLiteral("http://"), this);
    edtUrl->setObjectName(QStringLiteral("edtUrl"));

    bbnOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), this);
    bbnOK->setObjectName(QStringLiteral("bbnOK"));
    bbnOK->setDefault(true);
    BBnCancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), tr("キャンセル"), this);
    BBnCancel->setObjectName(QStringLiteral("BBnCancel"));

    // The designed places (client area 435 x 70), grown where this desktop's font needs it.
    const int editHeight = std::max(21, edtUrl->sizeHint().height());
    const int buttonHeight = std::max({23, bbnOK->sizeHint().height(), BBnCancel->sizeHint().height()});
    const int buttonTop = std::max(39, 12 + editHeight + 6);
    edtUrl->setGeometry(12, 12, 413, editHeight);
    bbnOK->setGeometry(256, buttonTop, 80, buttonHeight);
    BBnCancel->setGeometry(344, buttonTop, 80, buttonHeight);
    // Wider for a long address; the edit takes the width, the buttons keep to the right.
    const int designHeight = std::max(70, buttonTop + buttonHeight + 8);
    setMinimumSize(435, designHeight);
    setMaximumHeight(designHeight);
    resize(435, designHeight);
    edtUrl->setAccessibleName(tr("プレビューするURL"));
    bbnOK->setAccessibleName(QStringLiteral("OK"));
    BBnCancel->setAccessibleName(tr("キャンセル"));

    setTabOrder(edtUrl, bbnOK);
    setTabOrder(bbnOK, BBnCancel);

    connect(bbnOK, &QPushButton::clicked, this, &TfrmUrlView::bbnOKClick);
    connect(BBnCancel, &QPushButton::clicked, this, &TfrmUrlView::BBnCancelClick);
    AddDialogKeys(this, bbnOK, BBnCancel);
}

TfrmUrlView::~TfrmUrlView() = default;

void TfrmUrlView::bbnOKClick()
{
    emit UrlChosen(edtUrl->text());
    close();
}

void TfrmUrlView::BBnCancelClick()
{
    close();
}

void TfrmUrlView::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    const int grown = width() - 435;
    edtUrl->resize(413 + grown, edtUrl->height());
    bbnOK->move(256 + grown, bbnOK->y());
    BBnCancel->move(344 + grown, BBnCancel->y());
}

void TfrmUrlView::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (FCentred)
        return;
    FCentred = true;
    CentreOnOwner(this);
    edtUrl->setFocus();
}
