// The spatial average of a session, per band, as ISO 3382-2 forms it: the
// arithmetic mean of EDT, T20 and T30 over the positions where the band's
// value is valid, the standard deviation between those positions, and the
// measurement uncertainty of the mean by the ISO formula with N positions
// (band_uncertainty.h). A band valid at fewer than half of the positions is
// marked: its mean rests on too few of them.
//
// Positions may have measured different numbers of cycles: the formula's n
// is then the harmonic mean of their cycles, which gives exactly the
// variance of the mean of N positions whose n differ.
//
// Also Tmid, the single-number reverberation time: the mean of the 500 Hz and
// 1 kHz octaves (of the six thirds 400 Hz .. 1.25 kHz).
//
// Pure functions; any thread.
#pragma once

#include "core/bands/band_evaluation.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace ravlon {

// One position's band results, as the average takes them.
struct TPositionBands {
    std::string Label;
    int64_t Cycles = 0; // decays averaged at the position (n of the ISO formula)
    std::vector<TBandResult> Bands;
};

// One measure (EDT, T20 or T30) of one band, averaged over positions.
struct TAveragedValue {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();
    double Mean = None;   // s, over the positions in Used; NaN when none
    double StdDev = None; // s, sample standard deviation between them; NaN below two
    // s, ISO 3382-2 standard uncertainty of the mean (T20, T30 only); NaN when
    // it cannot be formed.
    double Uncertainty = None;
    std::vector<int32_t> Used; // indices of the positions where the value is valid
    bool FewPositions = false; // valid at fewer than half of the positions
    bool HasValue() const { return Mean == Mean; }
};

struct TAveragedBand {
    TBand Band;
    TAveragedValue EDT, T20, T30;
    // T30's mean when it has one, else T20's, else NaN (as TBandResult).
    double ReverberationTime() const;
};

struct TSessionAverage {
    TBandSet Set = TBandSet::Octave;
    int32_t Positions = 0; // positions averaged (N of "fewer than half")
    std::vector<TAveragedBand> Bands;
    double Tmid = TAveragedValue::None; // s
};

// Averages the positions' bands (matched by nominal frequency; a band a
// position lacks counts as not valid there). The bands are those of any
// position, ascending.
TSessionAverage AverageBands(std::span<const TPositionBands> positions, TBandSet set);

// The ISO 3382-2 standard uncertainty of one position's value (N = 1, n =
// cycles); NaN when the value is not valid or it cannot be formed.
double PositionUncertainty(const TDecayFit& fit, bool t20, const TBand& band, TBandSet set,
                           int64_t cycles);

// Tmid of one position: the mean of the bands' ReverberationTime(); NaN when
// one of the bands is missing or has none.
double PositionTmid(const std::vector<TBandResult>& bands, TBandSet set);

} // namespace ravlon
