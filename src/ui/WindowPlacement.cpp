#include "ui/WindowPlacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QRect>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

#include <algorithm>

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

QRect BesideRect(const QRect& Owner, const QSize& Size, const QRect& Available)
{
    const QSize Fitted = Size.boundedTo(Available.size());
    const int RoomRight = Available.x() + Available.width() - (Owner.x() + Owner.width());
    const int RoomLeft = Owner.x() - Available.x();
    int X;
    if (RoomRight >= Fitted.width())
        X = Owner.x() + Owner.width();
    else if (RoomLeft >= Fitted.width())
        X = Owner.x() - Fitted.width();
    else if (RoomRight >= RoomLeft)
        X = Available.x() + Available.width() - Fitted.width();
    else
        X = Available.x();
    const int Y = std::clamp(Owner.y(), Available.y(), Available.y() + Available.height() - Fitted.height());
    return QRect(QPoint(X, Y), Fitted);
}

void PlaceBeside(QWidget* Window, QWidget* Owner)
{
    const QScreen* Screen = Owner->screen();
    if (!Screen)
        return;
    // The frame is counted where the window system draws one.
    const QSize Frame = Window->frameGeometry().size() - Window->geometry().size();
    const QRect Place = BesideRect(Owner->frameGeometry(), Window->size() + Frame, Screen->availableGeometry());
    Window->resize(Place.size() - Frame);
    Window->move(Place.topLeft());
}
