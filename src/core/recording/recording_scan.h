// Unit sSMP: scan tables of a recording: which channel each slot of a sample frame holds,
// and where each channel's samples lie within the frames.
//
// Pure data: built from the "scan" item text (or from the channel count when
// there is none) and queried by TSMPfile. Every query clamps its index, so no
// value read from a file can index outside the tables.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace ravlon {

class TSMPScan {
public:
    static constexpr int MaxSlots = 512;
    static constexpr int MaxChannels = 128;

    enum class BuildResult {
        Ok,
        TooManySlots,   // more than MaxSlots entries: rejected, the tables stay empty
        MissingChannel, // a channel 0 .. nchans-1 has no slot
        Invalid,        // entries outside 0 .. 127, or a channel not evenly spaced
    };

    // Rebuilds the tables. hasScan: a "scan" item exists and scanText is its
    // value; otherwise the frame is channels 0 .. nchans-1 in order.
    // nchans must be at most MaxChannels (the caller rejects larger values).
    BuildResult build(bool hasScan, std::string_view scanText, int32_t nchans);

    int32_t length() const { return Length; }
    // Slots between two samples of the channel; 0 when it does not occur
    // (or is not below nchans).
    int32_t step(int32_t channel) const;
    // Lowest slot of the channel, -1 if none.
    int32_t first(int32_t channel) const;
    // Channel of the slot, -1 outside 0 .. length()-1.
    int32_t channel(int32_t slot) const;

private:
    bool is_valid(bool hasScan, int32_t nchans) const;

    std::array<int32_t, MaxSlots> List{};
    int32_t Length = 0;
    std::array<int32_t, MaxChannels> Step{};
    std::array<int32_t, MaxChannels> First{};
};

} // namespace ravlon
