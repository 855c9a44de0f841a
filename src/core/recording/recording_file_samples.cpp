// Sample access of TSMPfile: scan tables, block transfers, positions.
#include "core/recording/recording_file.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file_io.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace ravlon {

using namespace smp_detail;

// ---------------------------------------------------------------------------
// Scan tables and sample access

void TSMPfile::parse_scan() {
    const int32_t n = nchans();
    if (n > MaxChannels)
        throw EInvalidSMPHeader("File header in " + FileName +
                                "\rHas an invalid \"nchans\" item:\r" +
                                "nchans=" + get_item("nchans"));
    const std::string scan = get_item("scan");
    if (Scan.build(!scan.empty(), scan, n) != TSMPScan::BuildResult::Ok)
        throw EInvalidSMPHeader("File header in " + FileName + "\rHas an invalid \"scan\" item:\r" +
                                "scan=" + scan);
    ScanStale = false;
}

int32_t TSMPfile::scan_length() {
    if (ScanStale) parse_scan();
    return Scan.length();
}

int32_t TSMPfile::scan_step(int32_t channel) {
    if (ScanStale) parse_scan();
    return Scan.step(channel);
}

int32_t TSMPfile::scan_first(int32_t channel) {
    if (ScanStale) parse_scan();
    return Scan.first(channel);
}

int32_t TSMPfile::scan_channel(int32_t slot) {
    if (ScanStale) parse_scan();
    return Scan.channel(slot);
}

void TSMPfile::channel_reset() {
    for (int32_t c = 0; c < MaxChannels; ++c) {
        set_position(c, 0);
        PrevChannelPos[c] = ChannelPos[c];
    }
}

double TSMPfile::channel_rate(int32_t channel) {
    const int32_t step = scan_step(channel);
    if (step <= 0) return 0;
    const double rate = sftot() / step;
    return std::isfinite(rate) && rate >= 0 ? rate : 0;
}

void TSMPfile::read_block(int32_t channel, TSMPBlock& block) {
    if (nchans() <= 0 || !IsOpen()) {
        block.Count = 0;
        std::fill(std::begin(block.Samples), std::end(block.Samples), int16_t{0});
        return;
    }
    block.Count = 0;
    if (channel < 0 || channel >= MaxChannels) return;
    const int32_t step = scan_step(channel);
    const int32_t first = Scan.first(channel);
    const int32_t length = Scan.length();
    int64_t remaining = static_cast<int64_t>(step) * ChunkSamples;
    int64_t pos = ChannelPos[channel];
    if (remaining <= 0 || first < 0 || length <= 0 || pos < 0) return;

    auto& buf = *IOBuf;
    int32_t i = 0;
    while (remaining > 0) {
        const int64_t n = remaining <= BlockSamples ? remaining : (BlockSamples / length) * length;
        remaining -= n;
        const int64_t bytes = ReadFull(Fd, buf.data(), 2 * n, pos);
        if (bytes <= 0) break;
        pos += bytes;
        const int64_t got = bytes / 2;
        for (int64_t j = first; j < got && i < ChunkSamples; j += step) block.Samples[i++] = buf[j];
        if (i >= ChunkSamples) break;
    }
    block.Count = i;
    PrevChannelPos[channel] = ChannelPos[channel];
    ChannelPos[channel] = pos;
    if (msbfirst() != (std::endian::native == std::endian::big)) SwapBytes(block.Samples, i);
}

bool TSMPfile::write_block(int32_t channel, const TSMPBlock& block) {
    if (block.Count <= 0) return true;
    if (!IsOpen() || ReadOnlyMode)
        return fail(EBADF, "The recording " + FileName + " is not open for writing");
    if (block.Count > BlockSamples)
        return fail(EINVAL, "A sample block holds at most 16384 samples, not " +
                                std::to_string(block.Count));
    const bool inTables = nchans() > 0 && channel >= 0 && channel < MaxChannels;
    const int32_t step = inTables ? scan_step(channel) : 0;
    const int32_t first = inTables ? Scan.first(channel) : -1;
    const int32_t length = Scan.length();
    int64_t pos = inTables ? ChannelPos[channel] : -1;
    if (step <= 0 || first < 0 || length <= 0 || pos < 0)
        return fail(EINVAL,
                    "Channel " + std::to_string(channel) + " is not in the recording " + FileName);

    const int32_t count = block.Count;
    auto& copy = *WriteCopy;
    std::copy(block.Samples, block.Samples + count, copy.begin());
    if (msbfirst() != (std::endian::native == std::endian::big)) SwapBytes(copy.data(), count);

    const int64_t sizeBefore = FileSize(Fd);
    auto& buf = *IOBuf;
    int64_t remaining = static_cast<int64_t>(step) * count;
    int32_t i = 0;
    bool ok = true;
    while (remaining > 0 && i < count) {
        const int64_t n = remaining <= BlockSamples ? remaining : (BlockSamples / length) * length;
        remaining -= n;
        const int64_t p = pos;
        const int64_t got = std::max<int64_t>(ReadFull(Fd, buf.data(), 2 * n, p), 0) / 2;
        // Beyond the end of the file the other channels' slots hold 0.
        std::fill(buf.begin() + got, buf.begin() + n, int16_t{0});
        const int32_t filledBefore = i;
        for (int64_t j = first; j < n && i < count; j += step) buf[j] = copy[i++];
        const int64_t written = WriteFull(Fd, buf.data(), 2 * n, p);
        if (written == 2 * n) {
            pos = p + written;
            continue;
        }
        // A short write (disk full) ends the transfer. The position counts only
        // this channel's samples that are wholly on disk, and a partial sample
        // at the end of the file is cut off, so what the file holds is exact.
        ok = fail_errno(WorkName);
        const int64_t whole = written / 2;
        const int64_t kept =
            std::min<int64_t>(whole > first ? (whole - first - 1) / step + 1 : 0, i - filledBefore);
        pos = p + 2 * static_cast<int64_t>(step) * kept;
        // Shrinking takes no space; were it refused, the position is still right.
        const int64_t keep = std::max(sizeBefore, pos);
        if (sizeBefore >= 0 && FileSize(Fd) > keep && ::ftruncate(Fd, keep) != 0) errno = 0;
        break;
    }
    PrevChannelPos[channel] = ChannelPos[channel];
    ChannelPos[channel] = pos;
    return ok;
}

int64_t TSMPfile::get_sample_count(int32_t channel) {
    if (!IsOpen() || channel < 0 || channel >= MaxChannels || nchans() <= 0) return 0;
    const int32_t step = scan_step(channel);
    const int32_t first = Scan.first(channel);
    const int64_t samples = (FileSize(Fd) - DataOff) / 2;
    if (step <= 0 || first < 0 || samples <= first) return 0;
    return (samples - first - 1) / step + 1;
}

int32_t TSMPfile::get_position(int32_t channel) {
    if (!IsOpen() || channel < 0 || channel >= MaxChannels) return 0;
    const int32_t step = scan_step(channel);
    if (step <= 0) return 0;
    const int64_t n = ((ChannelPos[channel] - DataOff) / step) / 2;
    return static_cast<int32_t>(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX));
}

void TSMPfile::set_position(int32_t channel, int32_t n) {
    if (!IsOpen() || channel < 0 || channel >= MaxChannels) return;
    const int32_t step = scan_step(channel);
    PrevChannelPos[channel] = ChannelPos[channel];
    // No position lies before the data: the header is not sample data.
    ChannelPos[channel] = DataOff + 2 * static_cast<int64_t>(std::max(n, 0)) * step;
}

} // namespace ravlon
