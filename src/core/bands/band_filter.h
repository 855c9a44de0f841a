// Band-pass filters of the octave and one-third-octave bands, for the decays
// computed from band-filtered time signals (band_decays.h).
//
// Design: Butterworth band-pass of order 6 (a 3rd-order low-pass prototype,
// the usual choice for IEC 61260-1 class 1 octave and third-octave filters),
// made digital by the bilinear transform. Both band edges (band_evaluation.h: the
// base-10 edges) are pre-warped, so the digital response is down exactly
// 3.01 dB at each edge; the warping only steepens the upper skirt near
// SampFreq / 2. The gain is set so that the response at the exact mid-band
// frequency is 1. Realised as three second-order sections, each with the
// numerator 1 - z^-2 (the six zeros lie at DC and at SampFreq / 2) and its own
// pair of poles; the common gain is applied to the squared output.
//
// Thread: any; a TBandFilterBank is used by one thread at a time.
#pragma once

#include "core/bands/band_evaluation.h"
#include "core/base/errors.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace ravlon {

// A set-up the band decays cannot work with (a band beyond SampFreq / 2, bad
// cycle positions, a store too large).
class EBandDecayError : public Exception {
public:
    using Exception::Exception;
};

struct TBandFilter {
    static constexpr int Sections = 3;
    // Section s: (1 - z^-2) / (1 + A1[s] z^-1 + A2[s] z^-2).
    std::array<double, Sections> A1{}, A2{};
    double Gain = 0; // of the whole cascade

    // Raises EBandDecayError unless 0 < band.Lower < band.Upper < sampFreq / 2.
    static TBandFilter Design(const TBand& band, int32_t sampFreq);
    // |H| at f Hz (linear; 1 at the mid-band frequency).
    double Magnitude(double f, int32_t sampFreq) const;
};

// The filter coefficients and states of four bands, one per vector lane.
struct TBandLanes;

// Consecutive samples whose squared filter outputs are summed into one row.
struct TBandRun {
    int32_t Count = 0;
    double* Row = nullptr; // Stride() sums, one per band; nullptr: filter only
};

// The filters of several bands over the same samples, four bands at a time
// (vector lanes; AVX2 where the processor has it). No allocation after Setup.
class TBandFilterBank {
public:
    TBandFilterBank();
    ~TBandFilterBank();
    TBandFilterBank(const TBandFilterBank&) = delete;
    TBandFilterBank& operator=(const TBandFilterBank&) = delete;

    // One filter per band, in the order of the rows; filters at rest.
    void Setup(std::span<const TBandFilter> filters);
    // Every filter back at rest (zero input and output history).
    void Reset();
    int32_t Bands() const { return bands_; }
    // The length of a row: Bands() rounded up to a multiple of 4.
    int32_t Stride() const { return 4 * groups_; }

    // Feeds x[0 .. n-1] to every filter in order; the runs cover the n samples
    // one after the other (their Counts add up to n) and each adds Gain^2 times
    // the sum of its squared outputs of band b to Row[b] (b < Bands()).
    void Run(const double* x, int32_t n, std::span<const TBandRun> runs);

private:
    int32_t bands_ = 0, groups_ = 0;
    std::unique_ptr<TBandLanes[]> group_;
    double x1_ = 0, x2_ = 0; // the last two input samples
};

namespace detail {
// For tests: true makes every bank use the baseline kernel even where the CPU
// offers the AVX2 one. Call only while no bank runs.
void ForceBaselineBandKernel(bool on);
} // namespace detail

} // namespace ravlon
