// TWindowPlaces: the size and place of the program's windows, kept between
// sessions in the settings store (the roaming INI file of the program
// identity that the recent files use, section "Windows"). A stored place that
// no screen shows is not used: the window then opens centred, at its stored
// size. UI thread only.
#pragma once

#include "services/program_id.h"
#include "services/settings.h"

#include <QList>
#include <QRect>
#include <QSize>

#include <string>

class QWidget;

namespace ravlon {

// Whether a window placed at place can be reached on these screens (their
// available areas): one of them shows its top edge, where the title bar is,
// and at least 40 x 20 pixels of it (the whole window where it is smaller).
bool PlaceOnScreens(const QRect& place, const QList<QRect>& screens);

class TWindowPlaces {
public:
    // progId names the settings store; not owned.
    explicit TWindowPlaces(TProgId* progId);

    // Gives window its stored size, never below least, and its stored place
    // where PlaceOnScreens allows it (else it is centred on the primary
    // screen), and maximizes it when it was. Nothing stored: nothing changes.
    // name: the window's key in the store.
    void Restore(QWidget& window, const std::string& name, QSize least) const;
    // Keeps the window's size and place (those of its normal state when it is
    // maximized). A store that cannot be written keeps nothing, silently.
    void Store(const QWidget& window, const std::string& name);

private:
    TSetting setting_;
};

} // namespace ravlon
