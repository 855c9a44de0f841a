// EvaluateT60: the per-bin reverberation time of
// the spectrogram store, a two-point estimate between the first frame after
// the noise that falls InitialDrop dB below the bin's noise level and the first
// that falls InitialDrop + AdditionalDrop dB below it, extrapolated to 60 dB.
// The reverberation time and radius views run it on every repaint, each with
// its own three arrays. Pure computation on the caller's thread; reads the
// store, writes only the three arrays.
//
// Arguments: FFTSize and WindowSize are FFT1's (frame length for the time
// scale; the scan starts at frame Pos2 div WindowSize). Drops in dB.
//
// Results, per bin b (all three arrays are resized to the store's bins first;
// entries added by growing start at 0):
// - T60Values[b]: seconds; 0 = no value.
// - StartFrames[b], EndFrames[b]: the two frames (as Doubles); 0 = none.
// No crossing of either threshold (a crossing in frame 0 counts as not
// found) gives 0 in all three. An arithmetic failure in the T60 formula
// (a zero level, equal frames) gives T60 0 and keeps the two frames.
//
// Failures of the noise level, the thresholds and the scan propagate
// (EMathError family, from FDiv /
// PowerOfTen): NoiseSpecCount 0 (no noise reference yet), a scanned frame
// without spectra (SpecCount 0), WindowSize 0. The entries from the failing bin
// on then keep what they held (after the resize).
//
// Mended level difference (see docs/analysis.md): D is taken from
// the two frames' mean powers (SpecSum / SpecCount), not from their sums. With
// equal counts it is computed exactly as the plain ratio of the two frames' sums (bit for bit);
// with unequal counts the sum ratio is corrected by the counts.
//
// Never reads outside the store: the scan covers frames Pos2 div WindowSize ..
// frames-1 only (none when that start lies beyond the store).
#pragma once

#include "core/measure/spectrogram.h"

#include <cstdint>
#include <vector>

namespace ravlon {

void EvaluateT60(const TSpectrogram& store, int32_t FFTSize, int32_t WindowSize, double InitialDrop,
                 double AdditionalDrop, std::vector<double>& T60Values,
                 std::vector<double>& StartFrames, std::vector<double>& EndFrames);

} // namespace ravlon
