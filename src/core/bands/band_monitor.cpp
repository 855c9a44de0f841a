#include "core/bands/band_monitor.h"

#include <algorithm>

namespace ravlon {

namespace {

size_t SetIndex(TBandSet set) {
    return set == TBandSet::Octave ? 0 : 1;
}

// Bands of set without any result: no complete cycle yet.
std::vector<TBandResult> NoResults(TBandSet set, int32_t sampFreq) {
    std::vector<TBandResult> results;
    for (const TBand& band : BandsWithin(set, sampFreq)) {
        TBandResult& r = results.emplace_back();
        r.Band = band;
        for (TDecayFit* f : {&r.EDT, &r.T20, &r.T30}) f->Problems |= fpNoSteadyLevel | fpNotReached;
    }
    return results;
}

} // namespace

int64_t StoreCycles(const TSpectrogram& store) {
    const std::vector<int32_t>& counts = store.SpecCount();
    return counts.empty() ? 0 : *std::min_element(counts.begin(), counts.end());
}

void TBandMonitor::Setup(int32_t sampFreq, int32_t pos1, int32_t pos2, int32_t pos3) {
    Clear();
    TBandDecayOptions options;
    for (TBandSet set : {TBandSet::Octave, TBandSet::ThirdOctave}) {
        options.Set = set;
        decays_[SetIndex(set)].Setup(sampFreq, pos1, pos2, pos3, options);
    }
    setUp_ = true;
}

void TBandMonitor::Clear() {
    setUp_ = false;
    history_ = {};
    table_ = {};
    octaves_.clear();
}

void TBandMonitor::AddSamples(const int16_t* samples, int32_t n) {
    if (!setUp_) return;
    for (TBandDecays& d : decays_) d.AddSamples(samples, n);
}

std::vector<TBandRow> TBandMonitor::Rows(TBandSet set, const TSpectrogram& store,
                                         std::span<const double> t60, const TOptions& options) {
    const TBandDecays& live = decays_[SetIndex(set)];
    std::vector<TBandResult> bands;
    int64_t cycles = 0;
    if (options.Method == TBandMethod::Time) {
        cycles = live.Cycles();
        bands = live.Evaluate();
        for (TBandResult& band : bands) SummariseBinT60(store, t60, band);
    } else {
        cycles = StoreCycles(store);
        try {
            bands = EvaluateBands(store, set, t60);
        } catch (const ESpectrogramError&) {
            bands = NoResults(set, store.SampFreq()); // a frame without spectra
        }
    }
    if (options.Volume) MarkBelowSchroeder(bands, *options.Volume);

    History& h = history_[SetIndex(set) * 2 + (options.Method == TBandMethod::Time ? 0 : 1)];
    if (cycles != h.Cycles) {
        h.Before = cycles > h.Cycles ? std::move(h.Now) : std::vector<double>();
        h.Cycles = cycles;
    }
    h.Now.clear();
    for (const TBandResult& band : bands) h.Now.push_back(band.ReverberationTime());
    std::vector<TBandRow> rows = MakeBandRows(bands, set, cycles, h.Before);
    MarkClipped(rows, options.FirstClippedCycle);
    return rows;
}

void TBandMonitor::Evaluate(const TSpectrogram& store, std::span<const double> t60,
                            const TOptions& options) {
    if (!setUp_) {
        table_ = {};
        table_.Set = options.Set;
        octaves_.clear();
        return;
    }
    octaves_ = Rows(TBandSet::Octave, store, t60, options);
    table_.Set = options.Set;
    table_.Cycles = Cycles();
    table_.Rows =
        options.Set == TBandSet::Octave ? octaves_ : Rows(options.Set, store, t60, options);
    table_.Tmid = MidFrequencyTime(octaves_);
}

} // namespace ravlon
