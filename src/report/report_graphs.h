// The graphs of the measurement report, drawn with QPainter into images (no
// widgets, so ravlon-analyze draws them too): the averaged T20 and T30
// against frequency with their uncertainty as error bars, and the decay of
// one band at one position with the fitted line. The scales come from the
// axis arithmetic the plot axes use (core/axes).
//
// Needs a QGuiApplication (fonts); the caller's thread.
#pragma once

#include "core/bands/band_evaluation.h"
#include "core/session/session_average.h"

#include <QImage>
#include <QSize>

namespace ravlon {

// T20 and T30 means per band with +-u error bars; a value valid at fewer
// than half of the positions is drawn hollow. size in pixels.
QImage ReverberationGraph(const TSessionAverage& average, QSize size);

// The band's averaged decay (dB re the steady level) from shortly before the
// noise stops to the end of the cycle, with the T30 line (T20 where T30 has
// no value) over its range.
QImage DecayGraph(const TBandResult& band, QSize size);

} // namespace ravlon
