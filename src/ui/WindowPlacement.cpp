#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QShortcut>
#include <QWidget>

void CentreOnOwner(QWidget* Window)
{
    QWidget* owner = Window->parentWidget() ? Window->parentWidget()->window() : QApplication::activeWindow();
    if (!owner || owner == Window)
        return;
    const QRect o = owner->frameGeometry();
    const QSize own = Window->frameGeometry().size();
    Window->move(o.x() + (o.width() - own.width()) / 2, o.y() + (o.height() - own.height()) / 2);
}

void AddDialogKeys(QWidget* Window, QAbstractButton* Default, QAbstractButton* Cancel)
{
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), Window);
    QObject::connect(escape, &QShortcut::activated, Cancel, &QAbstractButton::click);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* enter = new QShortcut(QKeySequence(key), Window);
        QObject::connect(enter, &QShortcut::activated, Default, &QAbstractButton::click);
    }
}
