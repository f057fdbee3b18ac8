#pragma once
// Small behaviours the tool windows share.

class QAbstractButton;
class QRect;
class QSize;
class QWidget;

// Where a window of Size goes beside Owner within Available (a screen's free area): right of
// it, else left of it; where neither side has room, against the screen edge of the wider
// side, covering as little of Owner as it can. Always inside Available, shrunk to fit it.
QRect BesideRect(const QRect& Owner, const QSize& Size, const QRect& Available);
// Moves (and if need be shrinks) Window beside Owner on Owner's screen.
void PlaceBeside(QWidget* Window, QWidget* Owner);

// Centres Window on the window it was opened from (its parent's window, or the active one).
void CentreOnOwner(QWidget* Window);

// Escape presses Cancel, Return and Enter press Default: a plain widget has no default and
// cancel buttons of its own.
void AddDialogKeys(QWidget* Window, QAbstractButton* Default, QAbstractButton* Cancel);
