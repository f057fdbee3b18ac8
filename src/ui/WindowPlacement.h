#pragma once
// Small behaviours the tool windows share.

class QAbstractButton;
class QWidget;

// Centres Window on the window it was opened from (its parent's window, or the active one).
void CentreOnOwner(QWidget* Window);

// Escape presses Cancel, Return and Enter press Default: a plain widget has no default and
// cancel buttons of its own.
void AddDialogKeys(QWidget* Window, QAbstractButton* Default, QAbstractButton* Cancel);
