// The check before measuring: from a stretch recorded with the output silent
// (the background) and one recorded while the noise played, the level of
// every octave band 63 Hz ... 8 kHz, the margin of the noise over the
// background, what that margin allows (EDT, T20, T30) and what the user
// should do, in words.
//
// A decay can be evaluated down to the lower end of its range only where the
// background lies at least BackgroundMargin (10 dB) below that end, so the
// noise must exceed the background by 20 dB for EDT (0 ... -10 dB), 35 dB for
// T20 (-5 ... -25 dB) and 45 dB for T30 (-5 ... -35 dB); see bands.h.
//
// Levels: each stretch without its first quarter (the device's start, the
// latency and the build-up of the reverberant field) is cut into half-
// overlapping Hann-windowed blocks (the largest power of two up to a quarter
// of the rate: 0.125 ... 0.25 s); a band's level is its share of the mean
// square, in dB re full scale (32768), so white noise of RMS r dBFS has the
// level r + 10 log10(band width / (rate / 2)). Levels below LevelFloor count
// as LevelFloor.
//
// Advice: clipping in the noise stretch, or no noise arriving at all, is
// said alone. Otherwise the noise should rise by Needed so that every band
// allows T30, but by no more than Headroom (1 dB short of clipping the input
// at its present gain); the rise asked for is that, in whole dB, taken first
// from the output attenuation, then from the amplifier. The bands that even
// after that rise miss a margin are named with the best evaluation left.
//
// Pure computation; allocates its working arrays per call. Any thread.
#pragma once

#include "core/bands/band_evaluation.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace ravlon {

// The margin (dB) each evaluation needs: BackgroundMargin below the lower end
// of its range.
inline constexpr double EDTMarginNeeded = BackgroundMargin - EDTRange.Lower; // 20
inline constexpr double T20MarginNeeded = BackgroundMargin - T20Range.Lower; // 35
inline constexpr double T30MarginNeeded = BackgroundMargin - T30Range.Lower; // 45

struct TLevelCheckBand {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();
    TBand Band;
    bool Evaluated = false;                     // within rate / 2 and holding enough bins
    double Background = None;                   // dBFS, output silent
    double Noise = None;                        // dBFS, noise playing
    double Margin = None;                       // dB, Noise - Background
    bool EDT = false, T20 = false, T30 = false; // the margin is enough
};

struct TLevelCheck {
    std::vector<TLevelCheckBand> Bands;       // the 8 octaves, ascending
    double NoisePeak = TLevelCheckBand::None; // dBFS, the noise stretch's highest sample
    int64_t ClippedSamples = 0;               // in the noise stretch (at 32767 or -32768)
    // How much louder the noise may get before the input clips, and how much
    // louder it should get so that every band allows T30 (dB, >= 0).
    double Headroom = 0, Needed = 0;
    // What to do, one sentence each, most important first, e.g. "Turn the
    // amplifier up by about 8 dB." or "T30 not possible below 250 Hz; use T20."
    std::vector<std::string> Advice;
};

inline constexpr double LevelFloor = -140.0; // dBFS

// background, noise: the two recorded stretches (one channel, sampFreq Hz);
// outputAttenuation: the attenuation the noise was played with (dB), so that
// the advice lowers it before asking for more amplifier. Raises ERangeError
// when a stretch is too short for one analysis block after its first quarter
// (less than 1/3 s) or the rate is outside 1000 ... 384000 Hz.
TLevelCheck CheckLevels(std::span<const int16_t> background, std::span<const int16_t> noise,
                        int32_t sampFreq, double outputAttenuation = 0.0);

} // namespace ravlon
