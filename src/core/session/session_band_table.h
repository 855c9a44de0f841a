// The session's spatial average as rows of the bands view (its "Session
// average" source): per band the mean of EDT, T20 and T30 as the value, the
// ISO 3382-2 uncertainty of the mean with N positions as its +-, the
// positions behind the band's T30 (else T20) as n. A value valid at fewer
// than half of the positions is shown but not valid, with AveragedNote's
// reason ("valid at 1 of 3 positions"). What an average has no value for
// (C, margin, per-bin T60, change) is empty, not invalid. Tmid is the
// average's own, its +- from the uncertainties of the two octaves it takes.
//
// The session averages octaves: asked for another band set, the table has no
// rows and its note says so. Pure function; any thread.
#pragma once

#include "core/bands/band_table.h"
#include "core/session/session_average.h"

namespace ravlon {

TBandTable SessionBandTable(const TSessionAverage& average, TBandSet set);

} // namespace ravlon
