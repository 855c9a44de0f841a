#include "widgets/window_fit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

int TitleBarWidth(const QWidget& window) {
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics fm(font);
    // Window managers make icon and buttons about two text lines wide.
    return fm.horizontalAdvance(window.windowTitle()) + 4 * 2 * fm.height() + fm.height();
}

QSize FittingSize(const QWidget& window) {
    return window.minimumSizeHint()
        .expandedTo(window.minimumSize())
        .expandedTo(QSize(TitleBarWidth(window), 0));
}

void GrowForContent(QWidget& window, const QWidget& content) {
    const QSize least = content.minimumSizeHint();
    const int dw = std::max(0, least.width() - content.width());
    const int dh = std::max(0, least.height() - content.height());
    if (dw > 0 || dh > 0) window.resize(window.width() + dw, window.height() + dh);
}

void FitStartSize(QWidget& window, QSize size) {
    window.resize(size.expandedTo(FittingSize(window)));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}
