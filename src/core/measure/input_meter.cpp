#include "core/measure/input_meter.h"

#include "core/base/errors.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

constexpr double kFullScale = 32768.0;

double PeakDb(int32_t peak) {
    return peak == 0 ? TInputMeter::MeterFloor
                     : std::max(TInputMeter::MeterFloor, 20.0 * std::log10(peak / kFullScale));
}

double RmsDb(double sumSquares, std::size_t n) {
    if (n == 0 || sumSquares <= 0) return TInputMeter::MeterFloor;
    return std::max(TInputMeter::MeterFloor,
                    10.0 * std::log10(sumSquares / double(n) / (kFullScale * kFullScale)));
}

} // namespace

TInputMeter::TInputMeter() {
    cycles_.reserve(MaxListedCycles);
    Configure(48000, 0);
}

void TInputMeter::Configure(int32_t sampleRate, int64_t cycleSamples, double holdSeconds) {
    if (sampleRate <= 0) throw ERangeError("Input meter: the sampling rate must be positive");
    if (cycleSamples < 0) throw ERangeError("Input meter: negative cycle length");
    if (!(holdSeconds >= 0 && holdSeconds <= 3600))
        throw ERangeError("Input meter: the hold time must be 0 ... 3600 s");
    cycleLength_ = cycleSamples;
    holdSamples_ = std::llround(holdSeconds * sampleRate);
    Reset();
}

void TInputMeter::Reset() {
    peak_ = rms_ = held_ = MeterFloor;
    heldAge_ = 0;
    lastClipped_ = false;
    cycle_ = position_ = 0;
    clippedTotal_ = unlisted_ = 0;
    unlistedLast_ = -1;
    cycles_.clear(); // keeps the capacity
}

void TInputMeter::AddBuffer(std::span<const int16_t> samples) noexcept {
    const std::size_t n = samples.size();
    int32_t peak = 0;
    double sumSquares = 0;
    lastClipped_ = false;
    for (std::size_t i = 0; i < n;) {
        // One stretch within the current cycle.
        const std::size_t start = i;
        std::size_t end = n;
        if (cycleLength_ > 0)
            end = std::min<std::size_t>(n, i + std::size_t(cycleLength_ - position_));
        int64_t clipped = 0;
        for (; i < end; ++i) {
            const int32_t v = samples[i];
            peak = std::max(peak, v < 0 ? -v : v);
            sumSquares += double(v) * double(v);
            clipped += (v == 32767 || v == -32768);
        }
        if (clipped > 0) {
            CountClipped(cycle_, clipped);
            lastClipped_ = true;
        }
        if (cycleLength_ > 0) {
            position_ += int64_t(end - start);
            if (position_ >= cycleLength_) {
                position_ = 0;
                ++cycle_;
            }
        }
    }
    if (n == 0) return;
    peak_ = PeakDb(peak);
    rms_ = RmsDb(sumSquares, n);
    if (peak_ >= held_) {
        held_ = peak_;
        heldAge_ = 0;
    } else if ((heldAge_ += int64_t(n)) >= holdSamples_) {
        held_ = peak_; // the hold time has passed: fall back
        heldAge_ = 0;
    }
}

void TInputMeter::CountClipped(int64_t cycle, int64_t n) noexcept {
    clippedTotal_ += n;
    if (!cycles_.empty() && cycles_.back().Cycle == cycle + 1) {
        cycles_.back().Samples += n;
    } else if (cycles_.size() < MaxListedCycles) {
        cycles_.push_back({cycle + 1, n}); // within the reserved capacity
    } else if (unlistedLast_ != cycle) {
        ++unlisted_;
        unlistedLast_ = cycle;
    }
}

int64_t TInputMeter::ClippedInCycle(int64_t cycle) const {
    const auto it =
        std::lower_bound(cycles_.begin(), cycles_.end(), cycle,
                         [](const ClippedCycle& c, int64_t wanted) { return c.Cycle < wanted; });
    return it != cycles_.end() && it->Cycle == cycle ? it->Samples : 0;
}

std::string TInputMeter::StatusText() const {
    if (clippedTotal_ == 0) return {};
    const std::string count =
        " (" + std::to_string(clippedTotal_) + (clippedTotal_ == 1 ? " sample)" : " samples)");
    if (cycleLength_ == 0) return "Input clipped" + count;
    // Runs of consecutive cycles as ranges; a long list ends with the number left out.
    constexpr int kMaxRanges = 8;
    std::string list;
    int ranges = 0;
    int64_t leftOut = unlisted_;
    for (std::size_t i = 0; i < cycles_.size();) {
        std::size_t j = i;
        while (j + 1 < cycles_.size() && cycles_[j + 1].Cycle == cycles_[j].Cycle + 1) ++j;
        if (ranges < kMaxRanges) {
            if (!list.empty()) list += ", ";
            list += std::to_string(cycles_[i].Cycle);
            if (j > i) list += "-" + std::to_string(cycles_[j].Cycle);
            ++ranges;
        } else {
            leftOut += int64_t(j - i + 1);
        }
        i = j + 1;
    }
    const bool several = cycles_.size() > 1 || leftOut > 0;
    if (leftOut > 0) list += " and " + std::to_string(leftOut) + " more";
    return std::string("Input clipped in cycle") + (several ? "s " : " ") + list + count;
}

} // namespace ravlon
