#include "services/window_places.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace ravlon {

namespace {

const char* const kSection = "Windows";

} // namespace

bool PlaceOnScreens(const QRect& place, const QList<QRect>& screens) {
    const QSize least(std::min(40, place.width()), std::min(20, place.height()));
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        const QRect shown = place.intersected(screen);
        return !shown.isEmpty() && shown.top() == place.top() && shown.width() >= least.width() &&
               shown.height() >= least.height();
    });
}

TWindowPlaces::TWindowPlaces(TProgId* progId) {
    setting_.setObjectName("WindowPlacesSetting");
    setting_.SetProgId(progId);
    setting_.SetLocation(slroaming);
}

void TWindowPlaces::Restore(QWidget& window, const std::string& name, QSize least) const {
    auto read = [&](const char* what) { return setting_.ReadInteger(kSection, name + what, -1); };
    const QRect place(read(".Left"), read(".Top"), read(".Width"), read(".Height"));
    if (place.width() <= 0 || place.height() <= 0) return;
    const QSize size = place.size().expandedTo(least);
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    if (PlaceOnScreens(QRect(place.topLeft(), size), screens)) {
        window.setGeometry(QRect(place.topLeft(), size));
    } else {
        window.resize(size);
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            window.move(screen->availableGeometry().center() - window.rect().center());
    }
    if (read(".Maximized") == 1) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void TWindowPlaces::Store(const QWidget& window, const std::string& name) {
    const bool maximized = window.isMaximized();
    const QRect place = maximized ? window.normalGeometry() : window.geometry();
    try {
        setting_.WriteInteger(kSection, name + ".Left", place.left());
        setting_.WriteInteger(kSection, name + ".Top", place.top());
        setting_.WriteInteger(kSection, name + ".Width", place.width());
        setting_.WriteInteger(kSection, name + ".Height", place.height());
        setting_.WriteInteger(kSection, name + ".Maximized", maximized ? 1 : 0);
    } catch (const std::exception&) {
        // The next session opens the windows where they start.
    }
}

} // namespace ravlon
