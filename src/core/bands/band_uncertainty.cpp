#include "core/bands/band_uncertainty.h"

#include <cmath>

namespace ravlon {

double UncertaintyBandwidth(TBandSet set, double centre) {
    return (set == TBandSet::Octave ? 0.71 : 0.23) * centre;
}

double ReverberationSigma(TSigmaRange range, double t, double decays, double positions,
                          double bandwidth) {
    if (!(t > 0) || !(decays > 0) || !(positions > 0) || !(bandwidth > 0)) return 0;
    const bool t20 = range == TSigmaRange::T20;
    const double factor = t20 ? 0.88 : 0.55;
    const double perDecay = t20 ? 1.90 : 1.52;
    return factor * t * std::sqrt((1 + perDecay / decays) / (positions * bandwidth * t));
}

} // namespace ravlon
