#include "core/views/data_range.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

// Collects levels; lo .. hi is their extent.
class LevelExtent {
public:
    // Powers <= 0 or not finite have no level and are left out.
    void AddPower(double p) {
        if (!(p > 0) || !std::isfinite(p)) return;
        const double level = 10 * std::log10(p);
        lo_ = empty_ ? level : std::min(lo_, level);
        hi_ = empty_ ? level : std::max(hi_, level);
        empty_ = false;
    }
    std::optional<AxisRange> Range() const {
        if (empty_) return std::nullopt;
        return AxisRange{std::max(lo_, hi_ - kLevelRangeDb), hi_};
    }

private:
    bool empty_ = true;
    double lo_ = 0, hi_ = 0;
};

// Mean power of frame fr in bin b; 0 for a frame without spectra.
double MeanPower(const TSpectrogram& s, int32_t fr, int32_t b) {
    const int32_t count = s.SpecCount()[static_cast<size_t>(fr)];
    return count > 0 ? s.SpecSum(fr)[static_cast<size_t>(b)] / count : 0;
}

double NoisePower(const TSpectrogram& s, int32_t b) {
    return s.NoiseSpecCount() > 0
               ? s.NoiseSpecSum()[static_cast<size_t>(b)] / static_cast<double>(s.NoiseSpecCount())
               : 0;
}

// Bins whose frequency b * SampFreq / BlockSize lies in fLo .. fHi.
template <typename F> void ForBinsIn(const TSpectrogram& s, double fLo, double fHi, F f) {
    if (s.SampFreq() <= 0 || s.BlockSize() <= 0) return;
    const double spacing = static_cast<double>(s.SampFreq()) / s.BlockSize();
    for (int32_t b = 0; b < s.Bins(); ++b) {
        const double freq = b * spacing;
        if (freq >= fLo && freq <= fHi) f(b);
    }
}

} // namespace

bool HasCompleteCycle(const TSpectrogram& s) {
    const std::vector<int32_t>& counts = s.SpecCount();
    return s.Frames() > 0 && s.NoiseSpecCount() > 0 &&
           std::all_of(counts.begin(), counts.end(), [](int32_t c) { return c > 0; });
}

std::optional<AxisRange> DecayLevelRange(const TSpectrogram& s, int32_t b) {
    if (b < 0 || b >= s.Bins()) return std::nullopt;
    LevelExtent e;
    for (int32_t fr = 0; fr < s.Frames(); ++fr) e.AddPower(MeanPower(s, fr, b));
    e.AddPower(NoisePower(s, b));
    return e.Range();
}

std::optional<AxisRange> ResponseLevelRange(const TSpectrogram& s, int32_t fr, double fLo,
                                            double fHi) {
    if (fr < 0 || fr >= s.Frames()) return std::nullopt;
    LevelExtent e;
    ForBinsIn(s, fLo, fHi, [&](int32_t b) {
        e.AddPower(MeanPower(s, fr, b));
        e.AddPower(NoisePower(s, b));
    });
    return e.Range();
}

std::optional<AxisRange> SpectrogramLevelRange(const TSpectrogram& s, double fLo, double fHi) {
    LevelExtent e;
    ForBinsIn(s, fLo, fHi, [&](int32_t b) {
        const double noise = NoisePower(s, b);
        if (noise > 0)
            for (int32_t fr = 0; fr < s.Frames(); ++fr) e.AddPower(MeanPower(s, fr, b) / noise);
    });
    return e.Range();
}

std::optional<AxisRange> FrequencyRange(const TSpectrogram& s) {
    if (s.Bins() < 2 || s.SampFreq() <= 0) return std::nullopt;
    return AxisRange{static_cast<double>(s.SampFreq()) / s.BlockSize(), s.SampFreq() / 2.0};
}

std::optional<AxisRange> CycleTimeRange(const TSpectrogram& s) {
    if (s.Pos3() <= 0 || s.SampFreq() <= 0) return std::nullopt;
    return AxisRange{0, static_cast<double>(s.Pos3()) / s.SampFreq()};
}

std::optional<AxisRange> ZeroToLargest(const std::vector<double>& values) {
    double largest = 0;
    for (double v : values)
        if (std::isfinite(v)) largest = std::max(largest, v);
    if (!(largest > 0)) return std::nullopt;
    return AxisRange{0, largest};
}

} // namespace ravlon
