// Starting sizes of the program's windows: the size a window is made with,
// grown where its laid-out texts or its title need more, so that nothing is
// cut at any desktop font or scale. UI thread only.
#pragma once

#include <QSize>

class QWidget;

// The width a title bar needs to show the window's title in full: the title
// in the bold desktop font, plus room for the window icon and three buttons.
int TitleBarWidth(const QWidget& window);

// The smallest size that shows the window's texts in full: what its layout
// needs, and at least the title bar's width.
QSize FittingSize(const QWidget& window);

// Resizes the window to size, grown to FittingSize, and centres it on the
// primary screen.
void FitStartSize(QWidget& window, QSize size);

// Grows the window (never shrinks it) when the part that its layout sizes
// freely (content, e.g. a main window's central widget) got less than its
// minimum because something beside it (a status bar whose text took more
// lines) grew.
void GrowForContent(QWidget& window, const QWidget& content);
