#include "core/measure/level_check.h"

#include "core/base/errors.h"
#include "core/measure/fft.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

constexpr double kFullScale = 32768.0;

int32_t BlockSizeFor(int32_t sampFreq) {
    int32_t n = 2;
    while (n * 2 <= sampFreq / 4) n *= 2;
    return n;
}

// Mean power of each bin up to rate / 2, over the blocks of x after its first quarter.
std::vector<double> MeanSpectrum(std::span<const int16_t> x, TFFT& fft, int32_t block) {
    const std::size_t start = x.size() / 4;
    if (x.size() - start < std::size_t(block))
        throw ERangeError("The recorded stretches are too short for the level check");
    std::vector<double> sum(std::size_t(block / 2), 0.0);
    std::vector<double> buf(static_cast<std::size_t>(block));
    int32_t blocks = 0;
    for (std::size_t pos = start; pos + std::size_t(block) <= x.size();
         pos += std::size_t(block / 2)) {
        std::copy_n(x.begin() + std::ptrdiff_t(pos), block, buf.begin());
        fft.SetData(buf);
        const std::span<const double> p = fft.GetPower();
        for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += p[k];
        ++blocks;
    }
    for (double& v : sum) v /= blocks;
    return sum;
}

double BandLevel(const std::vector<double>& spectrum, TBinRange bins, double windowPower) {
    double p = 0;
    for (int32_t k = bins.First; k < bins.End; ++k) p += spectrum[std::size_t(k)];
    // One-sided: the mirrored upper half carries as much again.
    p = 2.0 * p / windowPower / (kFullScale * kFullScale);
    return p > 0 ? std::max(LevelFloor, 10.0 * std::log10(p)) : LevelFloor;
}

// Where the bands of `failing` lie among the evaluated ones, in words.
std::string Where(const std::vector<const TLevelCheckBand*>& evaluated,
                  const std::vector<bool>& failing) {
    const std::size_t n = evaluated.size();
    std::size_t first = n, last = 0, count = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (failing[i]) {
            first = std::min(first, i);
            last = i;
            ++count;
        }
    auto hz = [&](std::size_t i) {
        return std::to_string(int(evaluated[i]->Band.Nominal)) + " Hz";
    };
    if (count == n) return "in any octave";
    if (count == last - first + 1) {
        if (first == 0) return "below " + hz(last + 1);
        if (last == n - 1) return "above " + hz(first - 1);
    }
    std::string at;
    for (std::size_t i = 0; i < n; ++i)
        if (failing[i])
            at += (at.empty() ? "at " : ", ") + std::to_string(int(evaluated[i]->Band.Nominal));
    return at + " Hz";
}

void Advise(TLevelCheck& r, double outputAttenuation) {
    std::vector<const TLevelCheckBand*> evaluated;
    for (const TLevelCheckBand& b : r.Bands)
        if (b.Evaluated) evaluated.push_back(&b);
    if (evaluated.empty()) return;
    if (r.ClippedSamples > 0) {
        r.Advice.push_back("The input clips: turn the input gain or the amplifier down until the "
                           "meter shows no clipping, then check again");
        return;
    }
    double best = LevelFloor;
    for (const TLevelCheckBand* b : evaluated) best = std::max(best, b->Margin);
    if (best < 3.0) {
        r.Advice.push_back("The noise does not reach the input: check the output and input "
                           "devices, their channels and the connections");
        return;
    }
    double rise = 0;
    if (r.Needed > 0) {
        rise = std::min(std::ceil(r.Needed), std::floor(r.Headroom));
        if (rise < 1) rise = 0;
    }
    if (rise > 0) {
        double fromAttenuation = std::min(rise, std::floor(outputAttenuation));
        if (fromAttenuation < 1) fromAttenuation = 0;
        const double fromAmplifier = rise - fromAttenuation;
        if (fromAttenuation > 0)
            r.Advice.push_back("Lower the output attenuation by about " +
                               std::to_string(int(fromAttenuation)) + " dB");
        if (fromAmplifier > 0)
            r.Advice.push_back("Turn the amplifier up by about " +
                               std::to_string(int(fromAmplifier)) + " dB");
    }
    if (r.Needed <= 0) {
        r.Advice.push_back("The level is enough for EDT, T20 and T30 in every octave");
        return;
    }
    // The best evaluation left in each band once the noise is `rise` louder.
    const std::size_t n = evaluated.size();
    std::vector<bool> onlyT20(n), onlyEDT(n), none(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double m = evaluated[i]->Margin + rise;
        onlyT20[i] = m < T30MarginNeeded && m >= T20MarginNeeded;
        onlyEDT[i] = m < T20MarginNeeded && m >= EDTMarginNeeded;
        none[i] = m < EDTMarginNeeded;
    }
    auto any = [](const std::vector<bool>& v) {
        return std::find(v.begin(), v.end(), true) != v.end();
    };
    if (any(onlyT20))
        r.Advice.push_back("T30 not possible " + Where(evaluated, onlyT20) + "; use T20");
    if (any(onlyEDT))
        r.Advice.push_back("T30 and T20 not possible " + Where(evaluated, onlyEDT) + "; use EDT");
    if (any(none))
        r.Advice.push_back("No decay can be evaluated " + Where(evaluated, none) +
                           ": the background is too loud there");
}

} // namespace

TLevelCheck CheckLevels(std::span<const int16_t> background, std::span<const int16_t> noise,
                        int32_t sampFreq, double outputAttenuation) {
    if (sampFreq < 1000 || sampFreq > 384000)
        throw ERangeError("The level check runs at 1000 ... 384000 Hz");
    const int32_t block = BlockSizeFor(sampFreq);
    TFFT fft;
    fft.SetFFTSize(block);
    fft.SetWindowSize(block);
    fft.SetWindow(TFFTWindow::Hanning);
    double windowPower = 0;
    for (double w : fft.WindowTable().first(std::size_t(block))) windowPower += w * w;
    windowPower /= block;
    const std::vector<double> quiet = MeanSpectrum(background, fft, block);
    const std::vector<double> loud = MeanSpectrum(noise, fft, block);

    TLevelCheck r;
    int32_t peak = 0;
    for (int16_t v : noise) {
        peak = std::max(peak, std::abs(int32_t(v)));
        r.ClippedSamples += (v == 32767 || v == -32768);
    }
    r.NoisePeak = peak > 0 ? 20.0 * std::log10(peak / kFullScale) : LevelFloor;
    r.Headroom = std::max(0.0, -r.NoisePeak - 1.0);
    for (const TBand& band : StandardBands(TBandSet::Octave)) {
        TLevelCheckBand b;
        b.Band = band;
        const TBinRange bins = BandBins(band, sampFreq, block);
        b.Evaluated = band.Upper <= sampFreq / 2.0 && bins.Count() >= MinBandBins;
        if (b.Evaluated) {
            b.Background = BandLevel(quiet, bins, windowPower);
            b.Noise = BandLevel(loud, bins, windowPower);
            b.Margin = b.Noise - b.Background;
            b.EDT = b.Margin >= EDTMarginNeeded;
            b.T20 = b.Margin >= T20MarginNeeded;
            b.T30 = b.Margin >= T30MarginNeeded;
            r.Needed = std::max(r.Needed, T30MarginNeeded - b.Margin);
        }
        r.Bands.push_back(b);
    }
    Advise(r, outputAttenuation);
    return r;
}

} // namespace ravlon
