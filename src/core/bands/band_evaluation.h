// Reverberation per octave and one-third-octave band, in the way room
// acoustics reports it (ISO 3382-1/-2): early decay time EDT, T20 and T30 by
// least-squares regression, each extrapolated to a 60 dB decay, with the
// correlation coefficient, the non-linearity xi, the curvature C, the
// background level and a validity flag per value. A band's decay comes either
// from the cycle-averaged spectrogram store (EvaluateBand: frames of FFTSize
// samples, the FFT bins inside the band) or from band-filtered time signals
// (band_decays.h: 1 ms points); both hand a decay curve to EvaluateDecay, which
// holds the one set of rules below. Also the program's own per-bin two-point
// T60 (EvaluateT60) summarised per band.
//
// Pure computation on the caller's thread; reads the store, never writes it.
//
// Bands: ISO 266 nominal centres, IEC 61260-1 base-10 exact mid-band
// frequencies f_m = 1000 * 10^(3x / (10 b)) and edges f_m * 10^(+-3 / (20 b)),
// b = 1 (octaves 63 Hz .. 8 kHz) or 3 (thirds 50 Hz .. 10 kHz). A band is
// evaluated when its upper edge is at most SampFreq / 2. Bin b of the store
// stands for b * SampFreq / FFTSize Hz and belongs to the band when
// Lower <= f < Upper.
//
// A decay curve is the band's mean power at evenly spaced points through the
// cycle. The steady level is the mean power over the points lying wholly
// inside the noise, from the middle of the noise on (the first half holds the
// build-up of the reverberant field). Levels are in dB relative to the steady
// level. The background is the mean power of the last 10 % of the points (at
// least one), the end of the silence after the noise, in dB relative to the
// steady level. The range searches start where the decay begins
// (TCurvePoints::DecayStart, chosen by the curve's source).
//
// Spectrogram curves: the band level of a frame is the sum over its bins of
// the frame's mean power (SpecSum / SpecCount); the range searches start at
// frame Pos2 div FFTSize (the frame the noise stops in, as EvaluateT60 starts).
//
// Evaluation range on the decay curve (upper U, lower L dB): from the first
// point at or below U to the last point at or above L before the curve first
// falls below L. A curve that never falls below L within the cycle has not
// reached the end of the range: no value. Points that fluctuate back above L
// after the first crossing are thus never taken in, so a noise floor near L
// cannot stretch the range. Regression of level on time, T = -60 / slope.
#pragma once

#include "core/measure/spectrogram.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace ravlon {

enum class TBandSet { Octave, ThirdOctave };

struct TBand {
    double Nominal = 0; // ISO 266 nominal centre, Hz
    double Centre = 0;  // exact base-10 mid-band frequency, Hz
    double Lower = 0;   // lower edge, Hz
    double Upper = 0;   // upper edge, Hz
};

// Every band of the set, ascending: 8 octaves 63 Hz .. 8 kHz, 24 thirds 50 Hz .. 10 kHz.
std::vector<TBand> StandardBands(TBandSet set);
// The bands of the set whose upper edge is at most sampFreq / 2.
std::vector<TBand> BandsWithin(TBandSet set, int32_t sampFreq);

// Bins First .. End-1 of a band; none when End <= First.
struct TBinRange {
    int32_t First = 0;
    int32_t End = 0;
    int32_t Count() const { return End > First ? End - First : 0; }
};
// The bins of band within 0 .. fftSize/2 - 1 (Lower <= b * sampFreq / fftSize < Upper).
TBinRange BandBins(const TBand& band, int32_t sampFreq, int32_t fftSize);

// Why a value cannot be trusted (bit set).
enum TFitProblem : uint32_t {
    fpNone = 0,
    fpNoSteadyLevel = 1u << 0,  // no point wholly inside the noise, or a silent band
    fpNotReached = 1u << 1,     // the decay never passes the lower end of the range
    fpFewFrames = 1u << 2,      // fewer than MinFitFrames points (frames) in the range
    fpNotDecaying = 1u << 3,    // the regression slope is not negative
    fpBackground = 1u << 4,     // background not BackgroundMargin dB below the lower end
    fpFewBins = 1u << 5,        // the band holds fewer than MinBandBins bins
    fpBelowSchroeder = 1u << 6, // the band lies below the room's Schroeder frequency
};
// Short names of the set bits, "+"-separated ("background+few-frames"); "" for none.
std::string FitProblemText(uint32_t problems);
// The same as sentences for people ("background less than 10 dB below the end
// of the range"), "; "-separated; "" for none.
std::string FitProblemReasons(uint32_t problems);

inline constexpr int32_t MinFitFrames = 4;
inline constexpr int32_t MinBandBins = 3;
inline constexpr double BackgroundMargin = 10.0; // dB

// An evaluation range in dB relative to the steady level.
struct TDecayRange {
    double Upper;
    double Lower;
};
inline constexpr TDecayRange EDTRange{0.0, -10.0};
inline constexpr TDecayRange T20Range{-5.0, -25.0};
inline constexpr TDecayRange T30Range{-5.0, -35.0};

struct TDecayFit {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();
    double T = None;         // s, extrapolated to 60 dB; NaN when not computed
    double Slope = None;     // dB/s
    double Intercept = None; // dB at time 0 of the levels' time axis: the fitted
                             // line is Intercept + Slope t
    double R = None;         // correlation coefficient of the regression (negative for a decay)
    double Xi = None;        // non-linearity 1000 (1 - r^2), per mille
    // The range as indices of the curve's points (frames of the spectrogram),
    // both included; -1 when not found.
    int32_t FirstFrame = -1, LastFrame = -1;
    uint32_t Problems = fpNone;
    bool HasValue() const { return T == T; }
    bool Valid() const { return Problems == fpNone && HasValue(); }
};

// Fits range on levels (dB re the steady level), searching from point start
// on; point k lies at time time0 + k step (s). background in dB re the steady
// level (NaN: not checked). At least two points give a value; fewer than
// MinFitFrames mark it fpFewFrames.
TDecayFit FitDecay(std::span<const double> levels, int32_t start, double step, TDecayRange range,
                   double background, double time0 = 0);

// A band's decay curve on its time axis: Level[k] lies Time0 + k Step seconds
// after the noise stopped (negative: during the noise). For plots and files.
struct TDecayCurve {
    std::vector<double> Level; // dB re the steady level; -inf for zero power
    double Step = 0;           // s
    double Time0 = 0;          // s
    double TimeAt(int32_t k) const { return Time0 + k * Step; }
};

// Where the noise lies on a curve's points.
struct TCurvePoints {
    int32_t NoiseFirst = 0, NoiseEnd = 0; // the points lying wholly inside the noise
    int32_t DecayStart = 0;               // where the decay begins: the range searches start here
};

struct TBandResult {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();
    TBand Band;
    TBinRange Bins;            // spectrogram bands only; none for the filtered bands
    double SteadyLevel = None; // dB, 10 log10 of the band's mean power during the noise
    double Background = None;  // dB re the steady level
    TDecayCurve Decay;         // the whole cycle; the fits' FirstFrame/LastFrame index it
    TDecayFit EDT, T20, T30;   // time axis of the fit lines: Decay's
    double C = None;           // curvature 100 (T30 / T20 - 1), percent
    bool CValid = false;       // T20 and T30 both valid
    double T60Median = None;   // median of the band's per-bin EvaluateT60 values (> 0)
    int32_t T60Count = 0;      // bins with a per-bin value
    // T30 when valid, else T20 when valid, else NaN: the band's reverberation
    // time for the radius and the limit frequency.
    double ReverberationTime() const;
};

// The Schroeder frequency 2000 sqrt(T / V) in Hz of a room of volume m^3 and
// reverberation time t s: below it the sound field is modal, not diffuse.
double SchroederFrequency(double t, double volume);
// Marks every band whose mid-band frequency lies below the Schroeder frequency
// of its own reverberation time (ReverberationTime(), taken before marking)
// and the room volume in m^3: fpBelowSchroeder on EDT, T20 and T30, and C no
// longer valid. A band without a reverberation time, or a volume not > 0,
// marks nothing.
void MarkBelowSchroeder(std::vector<TBandResult>& bands, double volume);

// Evaluates a band's decay curve, whatever its source: power holds the band's
// mean power per point (any unit), step s apart, point 0 at time0 s after the
// noise stop. Fills SteadyLevel, Background, Decay, EDT, T20, T30, C and CValid
// of result by the rules above.
void EvaluateDecay(std::span<const double> power, double step, double time0,
                   const TCurvePoints& points, TBandResult& result);

// The band's power curve: per frame, the summed mean power of its bins. power
// is resized to the store's frames.
void BandLevels(const TSpectrogram& store, const TBinRange& bins, std::vector<double>& power);

// The band's per-bin two-point values summarised: T60Median and T60Count of
// result from T60Values (EvaluateT60's per-bin result on store; bins beyond
// its length count as without value) over the store's bins inside
// result.Band. EvaluateBand fills them; a band of the filtered signals gets
// them here.
void SummariseBinT60(const TSpectrogram& store, std::span<const double> T60Values,
                     TBandResult& result);

// Evaluates one band. T60Values: EvaluateT60's per-bin result on the same store
// (bins beyond its length count as without value). Raises ESpectrogramError
// when the store holds a frame without spectra (no complete cycle).
TBandResult EvaluateBand(const TSpectrogram& store, const TBand& band,
                         std::span<const double> T60Values);
// Every band of the set within SampFreq / 2.
std::vector<TBandResult> EvaluateBands(const TSpectrogram& store, TBandSet set,
                                       std::span<const double> T60Values);

} // namespace ravlon
