// The plot axis set-up that every plot of the program shares (the main
// window's spectrogram and legend, the result views). UI thread only.
#pragma once

#include "axes/axis.h"

#include <QColor>

#include <string>

// Sets up a plot axis with the values every plot of the program stores: the
// given position, scale, range, unit text and background; TickSpaceAim 40,
// all three drag zones, no double click, the widest limits, no marker.
void ConfigurePlotAxis(TAxis& axis, tposition position, bool logarithmic, double lo, double hi,
                       const std::string& text, const QColor& background);

// Gives a plot axis its breadth (the width of a vertical axis, the height of a
// horizontal one) unless it sizes itself to its labels (Autosize). The
// windows set only the axes' lengths and follow whatever breadth they have.
void SetPlotAxisBreadth(TAxis& axis, int breadth);
