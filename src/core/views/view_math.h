// The computations behind the result views and the spectrogram image, apart
// from painting: index conventions between frequencies, times, bins and
// frames, the snapped selections, gray levels, the limit frequency, the
// reverberation radius, the dots' colour rule and the hand-drawn line's T60.
//
// Failures raise (EMathError family, ERangeError), because the views paint
// inside guarded blocks that end at the first failure.
//
// Indices that fall outside the store (a frequency above half the sampling
// rate, a time beyond the cycle, a negative value) are clamped to the first or
// last bin or frame, as the spectrogram image does: a view never reads outside
// an array, and the curves run flat at the edge of the data.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace ravlon {

// Bin of frequency f: Round((bins - 1) * f / (sampFreq / 2)), not clamped
// (ERangeError when the index does not fit 32 bits).
int32_t FrequencyToBinRaw(double f, int32_t bins, int32_t sampFreq);
// The same, clamped to 0 .. bins - 1, however far f lies outside (ERangeError
// when there are no bins; EMathError for a NaN or a sampling rate of 0).
int32_t FrequencyToBin(double f, int32_t bins, int32_t sampFreq);
// Frequency of the bin all views use for f: k = (bins - 1) / (sampFreq / 2),
// result Round(k * f) / k, rounded in 64 bits (k * f beyond that is whole
// already), so any frequency of a zoomed-out axis snaps. Where k cannot be
// formed (no bins yet, a sampling rate of 0) or is 0 (a single bin), k = 1, so
// f comes back rounded to whole Hz. EMathError only for a NaN or infinite f.
double SnappedFrequency(double f, int32_t bins, int32_t sampFreq);

// Curve frame of time t: Round((frames - 1) * t / (pos3 / sampFreq)), clamped
// to 0 .. frames - 1 (ERangeError when there are no frames).
int32_t TimeToFrame(double t, int32_t frames, int32_t pos3, int32_t sampFreq);
// Time at which a curve draws frame fr: fr * (pos3 / sampFreq) / (frames - 1).
double FrameToCurveTime(int32_t fr, int32_t frames, int32_t pos3, int32_t sampFreq);
// The curve time of the frame nearest to t; t unchanged when it cannot be
// computed (no frames, pos3 or sampFreq 0, a single frame).
double SnappedTime(double t, int32_t frames, int32_t pos3, int32_t sampFreq);
// Start time of evaluation frame fr: fr * fftSize / sampFreq.
double EvaluationFrameTime(double fr, int32_t fftSize, int32_t sampFreq);

// Gray value c (0 = black .. 255 = white) of power p on a level axis lo .. hi dB:
// g = Round((10 log10 p - lo) / (hi - lo) * 255), c = 255 - g limited to 0 .. 255.
// A level however far beyond an end of the axis (a deeply zoomed legend) gives
// that end's shade.
int LevelToGrayValue(double p, double lo, double hi);

// The entry of per-bin results (T60Values) that a column at frequency f shows:
// the nearest bin by the views' convention, clamped to the array (ERangeError
// when it is empty).
double ColumnValue(const std::vector<double>& perBin, double f, int32_t sampFreq);

// Limit frequency 1900 * sqrt(T / V) (Hz) of reverberation time T (s) in a room of V m3.
double LimitFrequency(double t60, double volume);
// Whether a dot of the reverberation time or radius view takes the strong
// colour: f >= LimitFrequency(t60, volume) and t60 > 0. Raises when the limit
// frequency cannot be computed (volume 0, a negative ratio).
bool AboveLimitFrequency(double f, double t60, double volume);
// Reverberation radius 0.056 * sqrt(V / T) in metres.
double ReverberationRadius(double volume, double t60);
// The radius a dot is drawn at: ReverberationRadius, or 0 when it cannot be
// computed (a bin without T60).
double DotRadius(double volume, double t60);
// T60 implied by the line through (t1, l1) and (t2, l2) (s, dB): -60 / (l1 - l2) * (t1 - t2).
double LineT60(double t1, double l1, double t2, double l2);

// Times (s) of the decay view's two evaluation markers for bin b, from another
// view's StartFrames and EndFrames. ERangeError when the arrays do not cover b
// (that view has not evaluated this store yet): the decay view's repaint ends.
std::pair<double, double> MarkerTimes(const std::vector<double>& startFrames,
                                      const std::vector<double>& endFrames, int32_t b,
                                      int32_t fftSize, int32_t sampFreq);

} // namespace ravlon
