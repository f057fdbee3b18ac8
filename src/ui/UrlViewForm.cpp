#include "ui/UrlViewForm.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

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

    // The designed places (client area 435 x 70, buttons 80 wide), grown by the layout where
    // this desktop's font or the language needs it. Wider for a long address: the edit takes
    // the width, the buttons keep to the right.
    for (QPushButton* Button : {bbnOK, BBnCancel})
        Button->setMinimumWidth(80);
    auto* Buttons = new QHBoxLayout;
    Buttons->setContentsMargins(0, 0, 1, 0);
    Buttons->setSpacing(8);
    Buttons->addStretch(1);
    Buttons->addWidget(bbnOK);
    Buttons->addWidget(BBnCancel);
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(12, 12, 10, 8);
    Layout->setSpacing(6);
    Layout->addWidget(edtUrl);
    Layout->addLayout(Buttons);
    const QSize Least = Layout->totalMinimumSize().expandedTo(QSize(435, 70));
    setMinimumSize(Least);
    setMaximumHeight(Least.height());
    resize(Least);
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

void TfrmUrlView::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (FCentred)
        return;
    FCentred = true;
    CentreOnOwner(this);
    edtUrl->setFocus();
}
