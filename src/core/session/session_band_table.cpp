// The session average in the bands view's rows.
#include "core/session/session_band_table.h"

#include "core/session/session_report.h"

#include <cmath>

namespace ravlon {

namespace {

TBandCell AveragedCell(const TAveragedValue& v, int32_t positions) {
    TBandCell c;
    c.Value = v.Mean;
    c.Sigma = v.Uncertainty;
    c.Valid = v.HasValue() && !v.FewPositions;
    if (!c.Valid) {
        c.Reason = AveragedNote(v, positions);
        if (c.Reason.empty()) c.Reason = "no position to average";
    }
    return c;
}

// The measure a band's reverberation time comes from (TAveragedBand::ReverberationTime).
const TAveragedValue& TimeValue(const TAveragedBand& b) {
    return b.T30.HasValue() ? b.T30 : b.T20;
}

} // namespace

TBandTable SessionBandTable(const TSessionAverage& average, TBandSet set) {
    TBandTable table;
    table.Set = set;
    if (set != average.Set) {
        table.Note = average.Set == TBandSet::Octave
                         ? "The session average is per octave band: choose octaves to see it."
                         : "The session average is per third-octave band: choose third octaves "
                           "to see it.";
        return table;
    }
    table.Note = average.Positions > 0 ? "Average of " + std::to_string(average.Positions) +
                                             " positions (n: positions with a valid value)"
                                       : "No analysed position is included in the session.";
    double u500 = TBandCell::None, u1000 = TBandCell::None;
    for (const TAveragedBand& b : average.Bands) {
        TBandRow& row = table.Rows.emplace_back();
        row.Band = b.Band;
        row.EDT = AveragedCell(b.EDT, average.Positions);
        row.T20 = AveragedCell(b.T20, average.Positions);
        row.T30 = AveragedCell(b.T30, average.Positions);
        for (TBandCell* c : {&row.C, &row.Margin, &row.T60Bins, &row.Change}) c->Valid = true;
        row.Decays = static_cast<int64_t>(TimeValue(b).Used.size());
        if (set == TBandSet::Octave && b.Band.Nominal == 500) u500 = TimeValue(b).Uncertainty;
        if (set == TBandSet::Octave && b.Band.Nominal == 1000) u1000 = TimeValue(b).Uncertainty;
    }
    table.Tmid.Value = average.Tmid;
    table.Tmid.Sigma = std::hypot(u500, u1000) / 2;
    table.Tmid.Valid = std::isfinite(average.Tmid);
    if (!table.Tmid.Valid) table.Tmid.Reason = "the Tmid bands need an averaged T30 or T20";
    return table;
}

} // namespace ravlon
