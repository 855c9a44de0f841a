// Band decays from band-filtered time signals, as the interrupted-noise method
// of ISO 3382 computes them: the recording runs through the band-pass filters
// (band_filter.h), and the squared output of every band is averaged over the
// cycles, position by position, so the decay is known at sample resolution in
// every band, however narrow. The sums are kept per 1 ms of the cycle (per
// sample below 1000 Hz); a decay point is the mean over a short moving window
// of these (5 ms by default: short against T/12 of any room worth measuring,
// long enough to calm the noise), one point per 1 ms. The steady level, the
// background and EDT, T20 and T30 follow from the points by the rules of
// band_evaluation.h (EvaluateDecay), the same as for the spectrogram's decays. The
// range searches start where the noise stop reaches the microphone, not where
// it was played: a sound card's latency and the sound's travel would
// otherwise count as decay in EDT. That arrival is read off the widest band
// (the sharpest knee, the least fluctuation): a line through its first fall
// from -1 to -6 dB, taken back to 0 dB.
//
// Forward filtering is the default. Time-reversed filtering (the samples fed
// from the end of the recording backwards) moves the filter's own ringing
// before the noise stops, where it does no harm; it is meant for the lowest
// bands of rooms with short reverberation, where the forward filter's decay
// (about 4.4 / bandwidth seconds for 60 dB) lengthens the measured one. It
// also spreads the next cycle's noise onset backwards over the end of the
// silence, where the background is read: the silence before the noise should
// be at least as long as that filter decay.
//
// Thread: one at a time; the live measurement calls it on the UI thread.
#pragma once

#include "core/bands/band_evaluation.h"
#include "core/bands/band_filter.h"
#include "core/recording/recording_file.h"

#include <cstdint>
#include <span>
#include <vector>

namespace ravlon {

enum class TFilterDirection { Forward, Reversed };

struct TBandDecayOptions {
    static constexpr double DefaultSmoothing = 0.005; // s
    TBandSet Set = TBandSet::Octave;
    TFilterDirection Direction = TFilterDirection::Forward;
    double Smoothing = DefaultSmoothing; // moving-average window, s
};

// The accumulation of the band energies of one run, per cycle position.
class TBandDecays {
public:
    // Sets up for a run (allocates; everything earlier is dropped): sampling
    // rate in Hz, the cycle positions in samples (noise from pos1 to pos2, cycle
    // length pos3), the bands within sampFreq / 2 of options.Set. Raises
    // EBandDecayError for a rate <= 0, positions outside 0 <= pos1 <= pos2 <=
    // pos3 with pos3 > 0, a smoothing window not > 0 or longer than 1 s, or
    // sums over 1 GiB. A failed set-up leaves the accumulator as it was.
    void Setup(int32_t sampFreq, int32_t pos1, int32_t pos2, int32_t pos3,
               const TBandDecayOptions& options);

    // Takes the next n recorded samples (n <= 0: none). Forward: in time order,
    // the first sample after Setup or Reset being at cycle position 0.
    // Reversed: in reversed time order, the first being at position pos3 - 1.
    // A cycle counts as complete when its last position is passed. The filters
    // start at rest, as a room is silent before a run begins; the first cycle
    // therefore has no start-up transient of its own to discard. Allocates
    // nothing.
    void AddSamples(const int16_t* samples, int32_t n);
    // Runs the filters over n samples without taking them in and without
    // moving the cycle position: brings the filters into the state the
    // preceding (for Reversed: following) signal leaves them in.
    void WarmUp(const int16_t* samples, int32_t n);
    // Drops the sums and rests the filters; keeps the set-up.
    void Reset();

    int64_t Cycles() const { return cycles_; } // complete cycles taken in
    int32_t SampFreq() const { return rate_; }
    int32_t Pos1() const { return pos1_; }
    int32_t Pos2() const { return pos2_; }
    int32_t Pos3() const { return pos3_; }
    const std::vector<TBand>& Bands() const { return bands_; }
    const TBandDecayOptions& Options() const { return options_; }

    // The result of every band: its averaged decay (1 ms steps), steady level,
    // background, EDT, T20, T30, C. Without a complete cycle every value is
    // marked fpNoSteadyLevel and fpNotReached. Cheap (linear in the points).
    std::vector<TBandResult> Evaluate() const;

private:
    int64_t BinStart(int64_t k) const { return k * rate_ / pointRate_; }
    void Take(const int16_t* samples, int32_t n, bool count);

    TBandDecayOptions options_;
    std::vector<TBand> bands_;
    TBandFilterBank bank_;
    int32_t rate_ = 0, pos1_ = 0, pos2_ = 0, pos3_ = 0;
    int32_t pointRate_ = 1000;      // sum bins per second
    int32_t bins_ = 0, window_ = 1; // bins in a cycle; bins in a point's window
    std::vector<double> sums_;      // bins_ rows of bank_.Stride() sums
    std::vector<int64_t> counts_;   // samples taken into each bin
    int64_t cycles_ = 0;
    int32_t pos_ = 0, bin_ = 0;  // the next sample's cycle position and its bin
    std::vector<double> chunk_;  // samples as double, one chunk
    std::vector<TBandRun> runs_; // the runs of one chunk
};

// The band results of a whole recording, for the tool and for an opened file.
struct TBandDecayResult {
    std::vector<TBandResult> Bands;
    int64_t Cycles = 0;  // complete cycles
    int64_t Samples = 0; // samples taken in
};

// Reads channel 0 of an open recording (rate from the file, cycle from its
// items "pos1".."pos3", StrToInt: a missing or unreadable item raises
// EConvertError) and evaluates it. Forward: every sample from the start, as
// the run recorded it. Reversed: the complete cycles from the last backwards,
// after a warm-up on the first cycle (the signal that follows the last cycle
// in a periodic run), so every cycle sees the same filter history. Samples
// beyond position 2^31 - 1 are not read. Raises what Setup raises, and
// EInvalidSMPHeader or EMathError for a file without a usable rate.
TBandDecayResult EvaluateRecordingBands(TSMPfile& file, const TBandDecayOptions& options);

// The same for samples in memory with the given rate and cycle positions.
TBandDecayResult EvaluateSampleBands(std::span<const int16_t> samples, int32_t sampFreq,
                                     int32_t pos1, int32_t pos2, int32_t pos3,
                                     const TBandDecayOptions& options);

} // namespace ravlon
