#include "core/bands/band_evaluation.h"

#include "core/base/numtext.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ravlon {

namespace {

// ISO 266 nominal centres of the thirds 50 Hz .. 10 kHz (band numbers -13 .. 10
// relative to 1 kHz); every third one is an octave centre.
constexpr std::array<double, 24> kThirdNominal{50,   63,   80,   100,  125,  160,  200,  250,
                                               315,  400,  500,  630,  800,  1000, 1250, 1600,
                                               2000, 2500, 3150, 4000, 5000, 6300, 8000, 10000};
constexpr int kFirstThird = -13;

TBand MakeBand(double nominal, int x, int b) {
    TBand band;
    band.Nominal = nominal;
    band.Centre = 1000.0 * PowerOfTen(3.0 * x / (10.0 * b));
    const double half = PowerOfTen(3.0 / (20.0 * b));
    band.Lower = band.Centre / half;
    band.Upper = band.Centre * half;
    return band;
}

double MeanPower(std::span<const double> power, int32_t first, int32_t end) {
    double sum = 0;
    for (int32_t f = first; f < end; ++f) sum += power[static_cast<size_t>(f)];
    return sum / (end - first);
}

double LevelOf(double power, double reference) {
    if (!(power > 0)) return -std::numeric_limits<double>::infinity();
    return PowerToDecibels(power / reference);
}

// The bins of band within the store's rows.
TBinRange StoreBins(const TSpectrogram& store, const TBand& band) {
    TBinRange bins = BandBins(band, store.SampFreq(), store.BlockSize());
    bins.End = std::min(bins.End, store.Bins());
    bins.First = std::min(bins.First, bins.End);
    return bins;
}

} // namespace

std::vector<TBand> StandardBands(TBandSet set) {
    std::vector<TBand> bands;
    for (int i = 0; i < static_cast<int>(kThirdNominal.size()); ++i) {
        const int x = kFirstThird + i;
        if (set == TBandSet::ThirdOctave)
            bands.push_back(MakeBand(kThirdNominal[static_cast<size_t>(i)], x, 3));
        else if (x % 3 == 0)
            bands.push_back(MakeBand(kThirdNominal[static_cast<size_t>(i)], x / 3, 1));
    }
    return bands;
}

std::vector<TBand> BandsWithin(TBandSet set, int32_t sampFreq) {
    std::vector<TBand> bands;
    for (const TBand& band : StandardBands(set))
        if (band.Upper <= sampFreq / 2.0) bands.push_back(band);
    return bands;
}

TBinRange BandBins(const TBand& band, int32_t sampFreq, int32_t fftSize) {
    TBinRange r;
    if (sampFreq <= 0 || fftSize < 2) return r;
    const double spacing = static_cast<double>(sampFreq) / fftSize;
    const int32_t bins = fftSize / 2;
    // The first bin whose frequency is at or above edge; the products are
    // compared directly so that a bin lying exactly on an edge is placed once.
    const auto firstAtOrAbove = [&](double edge) {
        const double k = std::ceil(edge / spacing);
        if (!(k < bins)) return bins;
        auto i = static_cast<int32_t>(std::max(k, 0.0));
        while (i > 0 && (i - 1) * spacing >= edge) --i;
        while (i < bins && i * spacing < edge) ++i;
        return i;
    };
    r.First = firstAtOrAbove(band.Lower);
    r.End = std::max(r.First, firstAtOrAbove(band.Upper));
    return r;
}

namespace {

template <size_t N>
std::string ProblemList(uint32_t problems, const std::array<const char*, N>& names,
                        const char* separator) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!(problems & (1u << i))) continue;
        if (!text.empty()) text += separator;
        text += names[i];
    }
    return text;
}

} // namespace

std::string FitProblemText(uint32_t problems) {
    static constexpr std::array<const char*, 7> names{
        "no-steady-level", "not-reached", "few-frames",     "not-decaying",
        "background",      "few-bins",    "below-schroeder"};
    return ProblemList(problems, names, "+");
}

std::string FitProblemReasons(uint32_t problems) {
    static constexpr std::array<const char*, 7> reasons{
        "no steady level (no complete cycle, or no signal in the band)",
        "the decay does not reach the end of the range: lengthen the post-noise silence",
        "fewer than 4 points in the range (spectrogram: raise the bandwidth)",
        "not decaying",
        "background less than 10 dB below the end of the range",
        "fewer than 3 bins in the band: lower the bandwidth",
        "below Schroeder frequency"};
    return ProblemList(problems, reasons, "; ");
}

TDecayFit FitDecay(std::span<const double> levels, int32_t start, double step, TDecayRange range,
                   double background, double time0) {
    TDecayFit fit;
    if (background == background && background > range.Lower - BackgroundMargin)
        fit.Problems |= fpBackground;
    const auto n = static_cast<int32_t>(levels.size());
    int32_t first = -1;
    for (int32_t f = std::max(start, 0); f < n; ++f) {
        if (levels[static_cast<size_t>(f)] <= range.Upper) {
            first = f;
            break;
        }
    }
    int32_t last = -1;
    bool below = false;
    if (first >= 0) {
        for (int32_t f = first; f < n; ++f) {
            const double l = levels[static_cast<size_t>(f)];
            if (!(l >= range.Lower)) {
                below = true;
                break;
            }
            last = f;
        }
    }
    if (first < 0 || !below) {
        fit.Problems |= fpNotReached;
        return fit;
    }
    const int32_t count = last >= first ? last - first + 1 : 0;
    if (count < MinFitFrames) fit.Problems |= fpFewFrames;
    if (count == 0) return fit;
    fit.FirstFrame = first;
    fit.LastFrame = last;
    if (count < 2) return fit;

    // Centred sums: exact for a straight line, whatever the time offset.
    const auto timeAt = [&](int32_t f) { return time0 + f * step; };
    double mx = 0, my = 0;
    for (int32_t f = first; f <= last; ++f) {
        mx += timeAt(f);
        my += levels[static_cast<size_t>(f)];
    }
    mx /= count;
    my /= count;
    double sxx = 0, sxy = 0, syy = 0;
    for (int32_t f = first; f <= last; ++f) {
        const double dx = timeAt(f) - mx;
        const double dy = levels[static_cast<size_t>(f)] - my;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    if (!(sxx > 0)) {
        fit.Problems |= fpFewFrames;
        return fit;
    }
    fit.Slope = sxy / sxx;
    fit.Intercept = my - fit.Slope * mx;
    if (syy > 0) {
        // Rounding can put a perfect line a hair beyond |r| = 1: r is held to
        // [-1, 1], so xi is never a tiny negative number.
        fit.R = std::clamp(sxy / std::sqrt(sxx * syy), -1.0, 1.0);
        fit.Xi = 1000.0 * (1.0 - fit.R * fit.R);
    }
    if (!(fit.Slope < 0)) {
        fit.Problems |= fpNotDecaying;
        return fit;
    }
    fit.T = -60.0 / fit.Slope;
    return fit;
}

double TBandResult::ReverberationTime() const {
    if (T30.Valid()) return T30.T;
    if (T20.Valid()) return T20.T;
    return None;
}

double SchroederFrequency(double t, double volume) {
    return 2000.0 * std::sqrt(t / volume);
}

void MarkBelowSchroeder(std::vector<TBandResult>& bands, double volume) {
    if (!(volume > 0) || !std::isfinite(volume)) return;
    for (TBandResult& r : bands) {
        const double t = r.ReverberationTime();
        if (!(t > 0) || !(r.Band.Centre < SchroederFrequency(t, volume))) continue;
        for (TDecayFit* f : {&r.EDT, &r.T20, &r.T30}) f->Problems |= fpBelowSchroeder;
        r.CValid = false;
    }
}

void EvaluateDecay(std::span<const double> power, double step, double time0,
                   const TCurvePoints& points, TBandResult& r) {
    const auto n = static_cast<int32_t>(power.size());
    const int32_t noiseEnd = std::clamp(points.NoiseEnd, 0, n);
    const int32_t noiseFirst = std::clamp(points.NoiseFirst, 0, noiseEnd);
    const int32_t steadyFirst = noiseFirst + (noiseEnd - noiseFirst) / 2;
    const double steady = noiseEnd > steadyFirst ? MeanPower(power, steadyFirst, noiseEnd) : 0.0;
    r.Decay.Step = step;
    r.Decay.Time0 = time0;
    if (!(steady > 0)) {
        r.Decay.Level.clear();
        for (TDecayFit* f : {&r.EDT, &r.T20, &r.T30}) f->Problems |= fpNoSteadyLevel | fpNotReached;
        return;
    }
    r.SteadyLevel = PowerToDecibels(steady);
    const int32_t tail = std::max(1, n / 10);
    r.Background = LevelOf(MeanPower(power, n - tail, n), steady);
    std::vector<double>& levels = r.Decay.Level;
    levels.resize(power.size());
    PowerToDecibels(power, steady, levels);
    const int32_t start = std::max(points.DecayStart, 0);
    r.EDT = FitDecay(levels, start, step, EDTRange, r.Background, time0);
    r.T20 = FitDecay(levels, start, step, T20Range, r.Background, time0);
    r.T30 = FitDecay(levels, start, step, T30Range, r.Background, time0);
    if (r.T20.HasValue() && r.T30.HasValue()) {
        r.C = 100.0 * (r.T30.T / r.T20.T - 1.0);
        r.CValid = r.T20.Valid() && r.T30.Valid();
    }
}

void BandLevels(const TSpectrogram& store, const TBinRange& bins, std::vector<double>& power) {
    const int32_t frames = store.Frames();
    const int32_t first = std::clamp(bins.First, 0, store.Bins());
    const int32_t end = std::clamp(bins.End, first, store.Bins());
    power.assign(static_cast<size_t>(std::max(frames, 0)), 0.0);
    const std::vector<int32_t>& counts = store.SpecCount();
    for (int32_t f = 0; f < frames; ++f) {
        const int32_t count = counts[static_cast<size_t>(f)];
        if (count <= 0)
            throw ESpectrogramError("The analysis holds no complete cycle (frame " +
                                    std::to_string(f) + " has no spectra)");
        std::span<const double> row = store.SpecSum(f);
        double sum = 0;
        for (int32_t b = first; b < end; ++b) sum += row[static_cast<size_t>(b)];
        power[static_cast<size_t>(f)] = sum / count;
    }
}

void SummariseBinT60(const TSpectrogram& store, std::span<const double> T60Values,
                     TBandResult& result) {
    const TBinRange bins = StoreBins(store, result.Band);
    std::vector<double> values;
    for (int32_t b = bins.First; b < bins.End; ++b) {
        if (b >= static_cast<int32_t>(T60Values.size())) break;
        const double t = T60Values[static_cast<size_t>(b)];
        if (t > 0 && std::isfinite(t)) values.push_back(t);
    }
    result.T60Count = static_cast<int32_t>(values.size());
    result.T60Median = TBandResult::None;
    if (!values.empty()) {
        std::sort(values.begin(), values.end());
        const size_t m = values.size() / 2;
        result.T60Median = values.size() % 2 ? values[m] : (values[m - 1] + values[m]) / 2;
    }
}

TBandResult EvaluateBand(const TSpectrogram& store, const TBand& band,
                         std::span<const double> T60Values) {
    TBandResult r;
    r.Band = band;
    const int32_t n = store.BlockSize();
    r.Bins = StoreBins(store, band);
    // Per-bin two-point values first: they need no band level.
    SummariseBinT60(store, T60Values, r);

    std::vector<double> power;
    BandLevels(store, r.Bins, power);
    TCurvePoints points;
    points.NoiseFirst = static_cast<int32_t>((static_cast<int64_t>(store.Pos1()) + n - 1) / n);
    points.NoiseEnd = store.Pos2() / n;
    points.DecayStart = store.Pos2() / n;
    const double frameSeconds = static_cast<double>(n) / store.SampFreq();
    // Frame f stands for its centre, (f + 1/2) FFTSize samples into the cycle.
    const double time0 = (0.5 * n - store.Pos2()) / store.SampFreq();
    EvaluateDecay(power, frameSeconds, time0, points, r);
    if (r.Bins.Count() < MinBandBins) {
        r.EDT.Problems |= fpFewBins;
        r.T20.Problems |= fpFewBins;
        r.T30.Problems |= fpFewBins;
    }
    return r;
}

std::vector<TBandResult> EvaluateBands(const TSpectrogram& store, TBandSet set,
                                       std::span<const double> T60Values) {
    std::vector<TBandResult> results;
    for (const TBand& band : BandsWithin(set, store.SampFreq()))
        results.push_back(EvaluateBand(store, band, T60Values));
    return results;
}

} // namespace ravlon
