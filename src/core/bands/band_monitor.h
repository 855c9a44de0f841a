// The band results of the measurement on display, live: every recorded
// sample goes through the octave and the one-third-octave band filters at
// once (band_decays.h), so the bands view can switch between the two at any
// time without losing a cycle, and on request the bands are evaluated into a
// table (band_table.h) that also holds how much each band's reverberation
// time changed since the evaluation at an earlier cycle. The octaves are
// always evaluated too: Tmid, the status text and the stop when converged
// come from them. The evaluation is the one ravlon-analyze runs
// (EvaluateDecay, SummariseBinT60, MarkBelowSchroeder, the uncertainty), so
// the numbers equal the tool's on the saved recording; only the mark of the
// results that average a cycle whose input clipped (TOptions) is the view's
// own, since the tool knows nothing of clipping.
//
// Thread: the UI thread. AddSamples allocates nothing; Setup and Evaluate do.
#pragma once

#include "core/bands/band_decays.h"
#include "core/bands/band_results_format.h"
#include "core/bands/band_table.h"

#include <array>
#include <optional>
#include <span>

namespace ravlon {

class TBandMonitor {
public:
    struct TOptions {
        TBandSet Set = TBandSet::Octave;
        TBandMethod Method = TBandMethod::Time;
        std::optional<double> Volume; // m^3: marks the bands below the Schroeder frequency
        // The first cycle (1-based) whose input clipped, 0: none; the results
        // averaging it are marked (MarkClipped).
        int64_t FirstClippedCycle = 0;
    };

    // A new run or opened recording: rate and cycle positions as
    // TBandDecays::Setup takes them (and raises for); drops everything
    // earlier. A failed set-up leaves the monitor without one.
    void Setup(int32_t sampFreq, int32_t pos1, int32_t pos2, int32_t pos3);
    // Nothing set up: no samples taken, an empty table.
    void Clear();
    bool IsSetUp() const { return setUp_; }

    // The next recorded samples, in order from the first of the run.
    void AddSamples(const int16_t* samples, int32_t n);
    // Complete cycles taken in by the band filters.
    int64_t Cycles() const { return setUp_ ? decays_[0].Cycles() : 0; }

    // Evaluates the bands of options.Set by options.Method, and the octaves.
    // store: the measurement's spectrogram store (the spectrogram method,
    // the cycles it averages); t60: EvaluateT60's per-bin values on it for the
    // bands' medians (empty: none). Table() and Octaves() hold the result.
    void Evaluate(const TSpectrogram& store, std::span<const double> t60, const TOptions& options);
    // The bands last evaluated, with Tmid from the octaves.
    const TBandTable& Table() const { return table_; }
    // The octave rows of the last evaluation (the same method).
    const std::vector<TBandRow>& Octaves() const { return octaves_; }

private:
    // A set's reverberation times at the last two cycles evaluated.
    struct History {
        int64_t Cycles = -1;
        std::vector<double> Now, Before;
    };
    std::vector<TBandRow> Rows(TBandSet set, const TSpectrogram& store, std::span<const double> t60,
                               const TOptions& options);

    bool setUp_ = false;
    std::array<TBandDecays, 2> decays_; // octaves, thirds
    std::array<History, 4> history_;    // by set and method
    TBandTable table_;
    std::vector<TBandRow> octaves_;
};

// The complete cycles a spectrogram store averages (its least-filled frame).
int64_t StoreCycles(const TSpectrogram& store);

} // namespace ravlon
