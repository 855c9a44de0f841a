// The band results as the bands view shows them: a row per band with EDT, T20
// and T30 (T20 and T30 with their ISO 3382-2 standard deviation), the
// curvature C, the margin of the steady level over the background, the
// number of decays averaged, the median of the per-bin T60 and how much the
// band's reverberation time changed since the previous cycle; each value
// with its validity and, when not valid, the reason. The live measurement
// fills a table from its band results (MakeBandTable); another source, such
// as an average over positions, can fill the same struct.
//
// Also the decisions made on a table: the mid-frequency reverberation time
// Tmid, whether a measurement has run enough cycles, the status text of a
// cycle, and the table as tab-separated text. Pure functions, any thread;
// numbers for people use the user's decimal separator.
#pragma once

#include "core/bands/band_evaluation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ravlon {

struct TBandCell {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();
    double Value = None;
    double Sigma = None; // standard deviation in Value's unit (T20, T30, Tmid); NaN: none
    bool Valid = false;
    std::string Reason; // why the value is not valid ("" when it is)
};

struct TBandRow {
    TBand Band;
    TBandCell EDT, T20, T30; // s
    TBandCell C;             // percent
    TBandCell Margin;        // dB: steady level over the background
    TBandCell T60Bins;       // s: median of the per-bin two-point T60
    TBandCell Change;        // percent: T30 (else T20) against the previous cycle's
    int64_t Decays = 0;      // n: decays averaged
};

struct TBandTable {
    TBandSet Set = TBandSet::Octave;
    int64_t Cycles = 0; // complete cycles of the measurement; 0: none (yet)
    std::vector<TBandRow> Rows;
    TBandCell Tmid;   // s: mean of the 500 Hz and 1 kHz octave bands' T30 (else T20)
    std::string Note; // what the rows are, shown instead of the cycle ("": the cycle)
};

// The rows of evaluated bands of set, each averaging decays decays at one
// position. previous: the bands' ReverberationTime() at an earlier cycle, in
// the same order (shorter or empty: change not known).
std::vector<TBandRow> MakeBandRows(const std::vector<TBandResult>& bands, TBandSet set,
                                   int64_t decays, const std::vector<double>& previous);

// Marks EDT, T20 and T30 of the rows that average a clipped cycle as not
// valid, reason "clipped" (before any other reason). A row averages the
// cycles 1 .. Decays; firstClipped: the first cycle (1-based) with clipped
// input, 0 for none. The earliest clipped cycle decides: every later result
// averages it too.
void MarkClipped(std::vector<TBandRow>& rows, int64_t firstClipped);

// Tmid from octave rows: the mean of the 500 Hz and 1 kHz bands' T30 (else
// T20, whichever is valid), its standard deviation from theirs as independent
// errors. Not valid unless both bands have a valid value.
TBandCell MidFrequencyTime(const std::vector<TBandRow>& octaves);

inline constexpr int64_t MinConvergedCycles = 3;
// Whether a measurement has run enough cycles, from its octave rows: at least
// MinConvergedCycles decays, and in every octave band from 250 Hz to 4 kHz
// with a valid T30 (else T20), of which there must be one, the relative
// standard deviation of the average of the decays (AveragingSigma: what more
// cycles still reduce) at most targetPercent and the change since the
// previous cycle known and below targetPercent.
bool Converged(const std::vector<TBandRow>& octaves, double targetPercent);

// "Tmid 0.81 s +- 2.1 %" (the standard deviation relative to Tmid), "Tmid -"
// when not valid.
std::string TmidText(const TBandCell& tmid);
// "Cycle 7: Tmid 0.81 s +- 2.1 %"; "" before the first complete cycle.
std::string CycleSummary(const TBandTable& table);

// The columns of a row as shown: titles, and per row the texts (the digits
// the tool's table shows), validity and reason of each cell.
struct TCellText {
    std::string Text;
    bool Valid = true;
    std::string Reason;
};
std::vector<std::string> BandColumnTitles();
std::vector<TCellText> BandRowTexts(const TBandRow& row);

// The table for spreadsheets: the titles, then a line per band, cells
// separated by tabs, and a last column naming the values that are not valid
// and why.
std::string BandTableText(const TBandTable& table);

} // namespace ravlon
