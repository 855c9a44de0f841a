// The spatial average per band and Tmid.
#include "core/session/session_average.h"

#include "core/bands/band_uncertainty.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

// The nominal frequencies Tmid takes.
std::vector<double> TmidBands(TBandSet set) {
    if (set == TBandSet::Octave) return {500, 1000};
    return {400, 500, 630, 800, 1000, 1250};
}

template <class Band, class Value>
double MeanOverTmidBands(const std::vector<Band>& bands, TBandSet set, Value value) {
    double sum = 0;
    const std::vector<double> wanted = TmidBands(set);
    for (double nominal : wanted) {
        const auto it = std::find_if(bands.begin(), bands.end(),
                                     [&](const Band& b) { return b.Band.Nominal == nominal; });
        if (it == bands.end()) return TAveragedValue::None;
        const double t = value(*it);
        if (!(t > 0)) return TAveragedValue::None;
        sum += t;
    }
    return sum / static_cast<double>(wanted.size());
}

const TBandResult* FindBand(const std::vector<TBandResult>& bands, double nominal) {
    for (const TBandResult& b : bands)
        if (b.Band.Nominal == nominal) return &b;
    return nullptr;
}

// Mean, spread and the positions of one measure of one band; the ISO
// uncertainty of the mean for T20 and T30.
void Average(std::span<const TPositionBands> positions, const TBand& band, TBandSet set,
             const TDecayFit TBandResult::*measure, TAveragedValue& out) {
    std::vector<double> values;
    double inverseCycles = 0; // sum of 1 / n over the positions used; NaN when one has no n
    for (size_t p = 0; p < positions.size(); ++p) {
        const TBandResult* b = FindBand(positions[p].Bands, band.Nominal);
        if (!b || !(b->*measure).Valid()) continue;
        out.Used.push_back(static_cast<int32_t>(p));
        values.push_back((b->*measure).T);
        const int64_t cycles = positions[p].Cycles;
        inverseCycles += cycles > 0 ? 1.0 / static_cast<double>(cycles) : TAveragedValue::None;
    }
    out.FewPositions = 2 * out.Used.size() < positions.size();
    if (values.empty()) return;
    const double n = static_cast<double>(values.size());
    double sum = 0;
    for (double v : values) sum += v;
    out.Mean = sum / n;
    if (values.size() >= 2) {
        double squares = 0;
        for (double v : values) squares += (v - out.Mean) * (v - out.Mean);
        out.StdDev = std::sqrt(squares / (n - 1));
    }
    if (measure == &TBandResult::EDT || !(inverseCycles > 0)) return;
    const double sigma =
        ReverberationSigma(measure == &TBandResult::T20 ? TSigmaRange::T20 : TSigmaRange::T30,
                           out.Mean, n / inverseCycles, n, UncertaintyBandwidth(set, band.Centre));
    if (sigma > 0) out.Uncertainty = sigma;
}

} // namespace

double TAveragedBand::ReverberationTime() const {
    if (T30.HasValue()) return T30.Mean;
    if (T20.HasValue()) return T20.Mean;
    return TAveragedValue::None;
}

double PositionUncertainty(const TDecayFit& fit, bool t20, const TBand& band, TBandSet set,
                           int64_t cycles) {
    if (!fit.Valid()) return TAveragedValue::None;
    const double sigma =
        ReverberationSigma(t20 ? TSigmaRange::T20 : TSigmaRange::T30, fit.T,
                           static_cast<double>(cycles), 1, UncertaintyBandwidth(set, band.Centre));
    return sigma > 0 ? sigma : TAveragedValue::None;
}

TSessionAverage AverageBands(std::span<const TPositionBands> positions, TBandSet set) {
    TSessionAverage avg;
    avg.Set = set;
    avg.Positions = static_cast<int32_t>(positions.size());
    for (const TPositionBands& p : positions)
        for (const TBandResult& b : p.Bands)
            if (std::none_of(avg.Bands.begin(), avg.Bands.end(), [&](const TAveragedBand& a) {
                    return a.Band.Nominal == b.Band.Nominal;
                })) {
                TAveragedBand band;
                band.Band = b.Band;
                avg.Bands.push_back(band);
            }
    std::sort(avg.Bands.begin(), avg.Bands.end(),
              [](const TAveragedBand& a, const TAveragedBand& b) {
                  return a.Band.Nominal < b.Band.Nominal;
              });
    for (TAveragedBand& band : avg.Bands) {
        Average(positions, band.Band, set, &TBandResult::EDT, band.EDT);
        Average(positions, band.Band, set, &TBandResult::T20, band.T20);
        Average(positions, band.Band, set, &TBandResult::T30, band.T30);
    }
    avg.Tmid = MeanOverTmidBands(avg.Bands, set,
                                 [](const TAveragedBand& b) { return b.ReverberationTime(); });
    return avg;
}

double PositionTmid(const std::vector<TBandResult>& bands, TBandSet set) {
    return MeanOverTmidBands(bands, set,
                             [](const TBandResult& b) { return b.ReverberationTime(); });
}

} // namespace ravlon
