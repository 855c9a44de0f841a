// TInputMeter: the level of the recorded input, for the meter shown while a
// measurement runs or the amplifier is being set: peak and RMS of the last
// buffer, a peak hold, and the clipped samples counted per measuring cycle.
//
// Levels are dBFS, relative to 32768: peak = 20 log10(max |x| / 32768), RMS =
// 10 log10(mean x^2 / 32768^2), so a sine of amplitude A reads 20 log10(A / 32768)
// peak and 3.01 dB less RMS. Silence reads MeterFloor.
//
// Clipping: a sample at either end of the 16-bit range (32767 or -32768) is
// clipped. Cycles are counted from the first sample handed over after Reset
// (the recording's first sample is cycle position 0, as in the analysis) and
// numbered from 1, as the user sees them. The list of clipped cycles has a
// fixed capacity (MaxListedCycles) reserved at construction; clipped cycles
// beyond it are counted but not listed.
//
// Hold: the held peak is the highest buffer peak since it was last set; after
// HoldSeconds without a higher peak it falls back to the last buffer's peak.
// Time is counted in samples handed over, so the meter behaves the same
// whether the buffers come from a device or from a file.
//
// AddBuffer allocates nothing. UI thread (the recording's owner) only.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ravlon {

class TInputMeter {
public:
    static constexpr double MeterFloor = -120.0; // dBFS shown for silence
    static constexpr double DefaultHoldSeconds = 2.0;
    static constexpr std::size_t MaxListedCycles = 4096;

    struct ClippedCycle {
        int64_t Cycle = 0;   // 1-based
        int64_t Samples = 0; // clipped samples in that cycle
    };

    TInputMeter();

    // Samples per second of the input (> 0), the measuring cycle's length in
    // samples (Pos3; 0: no cycles, as when setting the level) and the hold
    // time (>= 0 s); then Reset. Raises ERangeError for a bad value and then
    // changes nothing.
    void Configure(int32_t sampleRate, int64_t cycleSamples,
                   double holdSeconds = DefaultHoldSeconds);
    // Clears levels, hold, clip counts and the cycle position (a new run).
    void Reset();

    // Takes one recorded buffer (one channel).
    void AddBuffer(std::span<const int16_t> samples) noexcept;

    // --- Levels of the last buffer and the hold (dBFS)
    double Peak() const { return peak_; }
    double Rms() const { return rms_; }
    double HeldPeak() const { return held_; }
    // The last buffer held a clipped sample.
    bool LastBufferClipped() const { return lastClipped_; }

    // --- Clipping since Reset
    // Any clipped sample since Reset: the clipping mark.
    bool Clipped() const { return clippedTotal_ > 0; }
    int64_t ClippedSamples() const { return clippedTotal_; }
    // The clipped cycles in order (at most MaxListedCycles); with no cycle
    // length every clipped sample counts for cycle 1.
    std::span<const ClippedCycle> ClippedCycles() const { return cycles_; }
    // Clipped cycles that did not fit into the list.
    int64_t UnlistedCycles() const { return unlisted_; }
    // Clipped samples in a cycle (1-based); 0 for a cycle without any or not listed.
    int64_t ClippedInCycle(int64_t cycle) const;
    // The cycle the next sample belongs to (1-based).
    int64_t CurrentCycle() const { return cycle_ + 1; }

    // The status text naming the clipped cycles: "" without clipping, else
    // for example "Input clipped in cycles 2, 5-7 (812 samples)"; with no
    // cycle length "Input clipped (812 samples)".
    std::string StatusText() const;

private:
    void CountClipped(int64_t cycle, int64_t n) noexcept;

    int64_t cycleLength_ = 0;
    int64_t holdSamples_ = 0;

    double peak_ = MeterFloor;
    double rms_ = MeterFloor;
    double held_ = MeterFloor;
    int64_t heldAge_ = 0; // samples since the hold was set
    bool lastClipped_ = false;

    int64_t cycle_ = 0;    // 0-based cycle of the next sample
    int64_t position_ = 0; // its position within that cycle
    int64_t clippedTotal_ = 0;
    int64_t unlisted_ = 0;
    int64_t unlistedLast_ = -1;        // 0-based cycle last counted in unlisted_
    std::vector<ClippedCycle> cycles_; // capacity MaxListedCycles, never grown beyond
};

} // namespace ravlon
