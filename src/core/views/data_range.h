// The extent of what the plots show, for fitting their axes to the data: the
// levels of the decay and response curves and of the whole spectrogram, the
// frequencies and times of the store, the reverberation times and radii.
// Pure computations on the spectrogram store and the evaluation arrays; the
// caller's thread.
//
// Levels that cannot be formed (a frame or bin without power, no noise
// reference yet) are left out. Level ranges reach at most kLevelRangeDb below
// their maximum: a bin of digital silence would otherwise stretch the axis to
// -300 dB. Empty when nothing could be taken.
#pragma once

#include "core/axes/axis_math.h"
#include "core/measure/spectrogram.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ravlon {

inline constexpr double kLevelRangeDb = 100;

// Every frame of the store holds spectra and the noise reference is taken:
// a whole cycle has been analysed.
bool HasCompleteCycle(const TSpectrogram& s);

// The decay view: bin b's mean level over every frame and its steady (noise
// reference) level.
std::optional<AxisRange> DecayLevelRange(const TSpectrogram& s, int32_t b);
// The response view: the levels of frame fr and of the noise reference in the
// bins from fLo to fHi Hz.
std::optional<AxisRange> ResponseLevelRange(const TSpectrogram& s, int32_t fr, double fLo,
                                            double fHi);
// The spectrogram image: every frame's levels relative to the bin's noise
// level, in the bins from fLo to fHi Hz.
std::optional<AxisRange> SpectrogramLevelRange(const TSpectrogram& s, double fLo, double fHi);
// The frequencies of the bins above 0 Hz: bin 1 .. half the sampling rate.
std::optional<AxisRange> FrequencyRange(const TSpectrogram& s);
// One cycle: 0 .. Pos3 / SampFreq seconds.
std::optional<AxisRange> CycleTimeRange(const TSpectrogram& s);
// 0 .. the largest of values (reverberation times, radii); empty when none is > 0.
std::optional<AxisRange> ZeroToLargest(const std::vector<double>& values);

} // namespace ravlon
