#include "core/views/t60_evaluation.h"

#include "core/base/numtext.h"

namespace ravlon {

void EvaluateT60(const TSpectrogram& store, int32_t FFTSize, int32_t WindowSize, double InitialDrop,
                 double AdditionalDrop, std::vector<double>& T60Values,
                 std::vector<double>& StartFrames, std::vector<double>& EndFrames) {
    const int32_t bins = store.Bins();
    const int32_t frames = store.Frames();
    T60Values.resize(static_cast<size_t>(bins), 0.0);
    StartFrames.resize(static_cast<size_t>(bins), 0.0);
    EndFrames.resize(static_cast<size_t>(bins), 0.0);
    if (bins == 0) return;

    const std::span<const double> sum = store.SpecSumData();
    const std::vector<int32_t>& count = store.SpecCount();
    const std::vector<double>& noiseSum = store.NoiseSpecSum();
    const auto noiseCount = static_cast<double>(store.NoiseSpecCount());
    const auto row = [&](int32_t v) { return static_cast<size_t>(v) * static_cast<size_t>(bins); };

    for (int32_t b = 0; b < bins; ++b) {
        // The noise level and the two thresholds (failures propagate).
        const double s = FDiv(noiseSum[static_cast<size_t>(b)], noiseCount);
        const double thr1 = FDiv(s, PowerOfTen(InitialDrop / 10));
        const double thr2 = FDiv(s, PowerOfTen((InitialDrop + AdditionalDrop) / 10));
        // Scan from the first frame after the noise to the end of the store.
        const int64_t start = IDiv(store.Pos2(), WindowSize);
        int32_t o = 0, e = 0;
        for (int64_t v64 = start < 0 ? 0 : start; v64 < frames; ++v64) {
            const auto v = static_cast<int32_t>(v64);
            const double p = FDiv(sum[row(v) + static_cast<size_t>(b)],
                                  static_cast<double>(count[static_cast<size_t>(v)]));
            if (o == 0 && !(p >= thr1)) o = v;
            if (e == 0 && !(p >= thr2)) e = v;
        }
        // A threshold never crossed (or only in frame 0): no result.
        if (o == 0 || e == 0) {
            T60Values[static_cast<size_t>(b)] = 0.0;
            StartFrames[static_cast<size_t>(b)] = 0.0;
            EndFrames[static_cast<size_t>(b)] = 0.0;
            continue;
        }
        // Both crossed: T60 from the level difference of the two frames.
        StartFrames[static_cast<size_t>(b)] = o;
        EndFrames[static_cast<size_t>(b)] = e;
        try {
            // D from the frames' mean powers: the plain ratio of the two frames' sums, corrected by
            // the counts when the two frames hold different numbers of spectra.
            double ratio =
                FDiv(sum[row(e) + static_cast<size_t>(b)], sum[row(o) + static_cast<size_t>(b)]);
            const int32_t co = count[static_cast<size_t>(o)];
            const int32_t ce = count[static_cast<size_t>(e)];
            if (co != ce) ratio = Checked(ratio * (static_cast<double>(co) / ce));
            const double d = PowerToDecibels(ratio);
            T60Values[static_cast<size_t>(b)] =
                FDiv(FDiv(60.0 * (e - o) * FFTSize, store.SampFreq()), -d);
        } catch (const EMathError&) {
            T60Values[static_cast<size_t>(b)] = 0.0;
        }
    }
}

} // namespace ravlon
