// The measurement settings as the user types them into the main window:
// reading the edits' texts into a run's settings and checking them, with
// messages that name the field and say what works. Every failure raises
// EInputError; nothing is applied here.
//
// Field names are the main window's labels: "Sampling rate [Hz]",
// "Bandwidth [Hz]", "Pre-noise silence [s]", "Noise duration [s]",
// "Post-noise silence [s]". Numbers are read with the user's decimal
// separator.
#pragma once

#include "core/measure/spectrogram.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace ravlon {

inline constexpr const char* kSampFreqField = "Sampling rate [Hz]";
inline constexpr const char* kBandwidthField = "Bandwidth [Hz]";
inline constexpr const char* kPreNoiseField = "Pre-noise silence [s]";
inline constexpr const char* kNoiseField = "Noise duration [s]";
inline constexpr const char* kPostNoiseField = "Post-noise silence [s]";

struct RunInputTexts {
    std::string SampFreq, Bandwidth, PreNoise, Noise, PostNoise;
    int32_t Window = 3; // TFFTWindow ordinal (windowcombo index)
};

// A number typed into field: "Bandwidth [Hz]: 'abc' is not a number".
double ReadNumber(std::string_view field, std::string_view text);
// The bandwidths that give a usable window at this rate and window function.
struct BandwidthRange {
    double Lo = 0, Hi = 0; // Hz, both included
};
BandwidthRange UsableBandwidths(int32_t sampFreq, int32_t window);
// The bandwidth typed into the main window, checked against the range that
// works at sampFreq ("... is out of range; at 48000 Hz with the Hanning window
// it must be from 0.0916 to 64000 Hz"). A rate <= 0 or an unknown window is
// left to the set-up's own checks.
double ReadBandwidth(std::string_view text, int32_t sampFreq, int32_t window);
// Every setting of a run, read and checked; s receives the settings, the
// result is what the set-up will apply.
TSpectrogram::RunPlan ReadRunSettings(const RunInputTexts& texts, TSpectrogram::RunSettings& s);

} // namespace ravlon
