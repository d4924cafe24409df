// Where a dialog opens: over the window the user works in (the main window).
#pragma once

#include <QApplication>
#include <QWidget>

// Centres Form over the active window; leaves the placement to the system when there is none.
inline void CentreOnActiveWindow(QWidget* Form) {
  QWidget* over = QApplication::activeWindow();
  if (!Form || !over || over == Form || !over->isVisible()) return;
  const QRect g = over->frameGeometry();
  Form->move(g.center() - QPoint(Form->width() / 2, Form->height() / 2));
}
