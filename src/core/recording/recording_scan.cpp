#include "core/recording/recording_scan.h"

#include "core/base/numtext.h"

namespace ravlon {

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

TSMPScan::BuildResult TSMPScan::build(bool hasScan, std::string_view scanText, int32_t nchans) {
    Length = 0;
    Step.fill(0);
    First.fill(-1);
    if (hasScan) {
        std::size_t i = 0;
        while (i < scanText.size()) {
            while (i < scanText.size() && !IsDigit(scanText[i])) ++i;
            const std::size_t start = i;
            while (i < scanText.size() && IsDigit(scanText[i])) ++i;
            if (i == start) continue;
            if (Length >= MaxSlots) {
                Length = 0;
                return BuildResult::TooManySlots;
            }
            int32_t value = -1;
            // A run too long for an Integer is an entry that names no channel.
            if (!TryStrToInt(scanText.substr(start, i - start), value)) value = -1;
            List[Length++] = value;
        }
    } else {
        for (int32_t c = 0; c < nchans && c < MaxChannels; ++c) List[Length++] = c;
    }

    std::array<int32_t, MaxChannels> count{};
    for (int32_t k = 0; k < Length; ++k)
        if (List[k] >= 0 && List[k] < MaxChannels) ++count[List[k]];
    for (int32_t c = 0; c < nchans && c < MaxChannels; ++c) {
        if (count[c] == 0) return BuildResult::MissingChannel;
        Step[c] = Length / count[c];
    }
    for (int32_t k = Length - 1; k >= 0; --k)
        if (List[k] >= 0 && List[k] < MaxChannels) First[List[k]] = k;
    return is_valid(hasScan, nchans) ? BuildResult::Ok : BuildResult::Invalid;
}

bool TSMPScan::is_valid(bool hasScan, int32_t nchans) const {
    if (!hasScan) return true;
    for (int32_t k = 0; k < Length; ++k)
        if (List[k] < 0 || List[k] >= MaxChannels) return false;
    for (int32_t c = 0; c < nchans && c < MaxChannels; ++c) {
        int32_t s = First[c];
        if (s < 0 || s > Length - 1 || Step[c] <= 0) return false;
        while (s < Length) {
            s += Step[c];
            if (channel(s % Length) != c) return false;
        }
    }
    return true;
}

int32_t TSMPScan::step(int32_t channel) const {
    return channel >= 0 && channel < MaxChannels ? Step[channel] : 0;
}

int32_t TSMPScan::first(int32_t channel) const {
    return channel >= 0 && channel < MaxChannels ? First[channel] : -1;
}

int32_t TSMPScan::channel(int32_t slot) const {
    return slot >= 0 && slot < Length ? List[slot] : -1;
}

} // namespace ravlon
