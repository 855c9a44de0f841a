#include "core/bands/band_uncertainty.h"

#include <cmath>

namespace ravlon {

double UncertaintyBandwidth(TBandSet set, double centre) {
    return (set == TBandSet::Octave ? 0.71 : 0.23) * centre;
}

namespace {

double Sigma(TSigmaRange range, double t, double decays, double positions, double bandwidth,
             double roomPart) {
    if (!(t > 0) || !(decays > 0) || !(positions > 0) || !(bandwidth > 0)) return 0;
    const bool t20 = range == TSigmaRange::T20;
    const double factor = t20 ? 0.88 : 0.55;
    const double perDecay = t20 ? 1.90 : 1.52;
    return factor * t * std::sqrt((roomPart + perDecay / decays) / (positions * bandwidth * t));
}

} // namespace

double ReverberationSigma(TSigmaRange range, double t, double decays, double positions,
                          double bandwidth) {
    return Sigma(range, t, decays, positions, bandwidth, 1);
}

double AveragingSigma(TSigmaRange range, double t, double decays, double positions,
                      double bandwidth) {
    return Sigma(range, t, decays, positions, bandwidth, 0);
}

double BandSigma(TSigmaRange range, const TBandResult& band, TBandSet set, double decays,
                 double positions) {
    const TDecayFit& fit = range == TSigmaRange::T20 ? band.T20 : band.T30;
    if (!fit.HasValue()) return TBandResult::None;
    return ReverberationSigma(range, fit.T, decays, positions,
                              UncertaintyBandwidth(set, band.Band.Centre));
}

} // namespace ravlon
