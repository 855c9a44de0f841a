// TSMPfile (unit sSMP): one recording file of the SMP format, its header items and its
// sample data.
//
// File layout: a text header of key=value lines (CR LF), a separator line "=",
// comment lines, the terminator bytes 00 04 1A and zero padding up to offset
// "head"; then 16-bit samples, interleaved frame by frame as the "scan" item
// says, to the end of the file. Header and label-file text is code page 850 on
// disk and UTF-8 in memory.
//
// Threading: no locks; an instance is used from one thread at a time.
// Ownership: the component owns its file handle, its buffers and, with
// UseTempFile, the temporary working copy (deleted by close_file).
// Caches: headsize/nchans/sftot/msbfirst are recomputed after any item change
// (ItemsVersion); the scan tables are rebuilt on first use after set_item,
// setItems or validate_items, and a failed rebuild raises EInvalidSMPHeader on
// every use until the items are changed.
// Units: positions are in samples of one channel (get_position/set_position);
// sftot and channel_rate in Hz.
#pragma once

#include "core/base/errors.h"
#include "core/recording/recording_scan.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ravlon {

// The unit of block transfers: Count valid samples of one channel.
struct TSMPBlock {
    int32_t Count;
    int16_t Samples[16384];
};
static_assert(sizeof(TSMPBlock) == 32772, "Count followed by 16384 samples, no padding");

// A header whose channel layout ("scan", "nchans") cannot be used.
class EInvalidSMPHeader : public Exception {
public:
    using Exception::Exception;
};

class TSMPfile {
public:
    static constexpr int32_t HeaderBufSize = 32768;
    static constexpr int32_t BlockSamples = 16384;
    static constexpr int32_t MaxChannels = TSMPScan::MaxChannels;
    static constexpr std::size_t MaxShortString = 255; // characters

    TSMPfile();
    ~TSMPfile();
    TSMPfile(const TSMPfile&) = delete;
    TSMPfile& operator=(const TSMPfile&) = delete;

    // --- Stored settings (reset by clear, new_file and open_file) -------------
    int32_t defheadsize = 1024;
    std::string defFileType = "samp";
    int32_t defSfTot = 16000;
    int32_t defnChans = 1;
    bool defMSBFirst = false;
    double defViewLo = -1, defViewHi = 1;           // kept, not consulted
    double defRangeLo = -32768, defRangeHi = 32768; // kept, not consulted
    bool Overwrite = true;                          // kept, not consulted
    bool UseTempFile = false;
    bool EraseCSVFile = true;
    int32_t LongTime = 100; // kept, not consulted
    bool UseShortCSVPathname = true;
    int32_t nViewDigits = 6;
    bool WriteThroughCache = false; // open with O_DSYNC

    // --- Properties with behaviour --------------------------------------------
    const std::vector<std::string>& Items() const { return ItemList; }
    // Resets the settings, takes the lines, empties the label list, tidies.
    void setItems(const std::vector<std::string>& lines);
    const std::vector<std::string>& Comment() const { return CommentList; }
    void setComment(const std::vector<std::string>& lines);
    std::string CSVFileName();
    void setCSVFileName(std::string_view name);
    bool ExternalLabels() const { return ExternalLabelMode; }
    void setExternalLabels(bool external);
    // Renders the header into the header buffer; the index of its last byte.
    int32_t UsedSize();
    int32_t ChunknSamples() const { return ChunkSamples; }
    void setChunknSamples(int32_t n); // clamped to 1 .. 16384
    const std::string& Filename() const { return FileName; }
    void setFilename(std::string_view name);

    // --- File lifecycle ---------------------------------------------------------
    // Every Boolean result reports the outcome of the file system calls; on
    // false, LastError() says why.
    // new_file: false unless the file was created, is open for writing and
    // its header region was written whole.
    bool new_file(std::string_view name);
    // open_file: only a regular file is opened (a FIFO or device is refused
    // without blocking); false when it cannot be opened or read.
    bool open_file(std::string_view name, bool readOnly);
    // close_file: flushes a file open for writing to disk and closes it;
    // false when the flush or the close failed (the samples may be lost).
    bool close_file();
    // save_file: false when the header region was not written whole, or the
    // label file or the copy to a new name failed.
    bool save_file(std::string_view name);
    void clear();

    // The reason of the most recent failed file operation: the system's text
    // ("No space left on device") with the file name, and the error number
    // (errno, 0 when none was given). Kept until the next failure.
    const std::string& LastError() const { return LastErr; }
    int LastErrorCode() const { return LastErrCode; }

    bool IsOpen() const { return Fd >= 0; }
    bool ReadOnly() const { return ReadOnlyMode; }
    int64_t DataOffset() const { return DataOff; }
    const std::string& WorkingName() const { return WorkName; }
    int64_t ItemsVersion() const { return Version; }

    // --- Item store --------------------------------------------------------------
    std::string get_item(std::string_view key) const;
    void set_item(std::string_view key, std::string_view value);
    void add_line(std::string_view line);
    void set_nonpresent_item(std::string_view key, std::string_view value);
    void add_nonpresent_line(std::string_view line);
    void set_proc(std::string_view text);
    void validate_items();
    void insert_nonpresent_defaults();

    // --- Typed items -------------------------------------------------------------
    void set_headsize(int32_t n);
    void set_nchans(int32_t n);
    void set_filetype(std::string_view text);
    void set_sftot(double hz);
    void set_msbfirst(bool first);
    int32_t headsize();
    int32_t nchans();
    double sftot();
    bool msbfirst();
    void set_view_text(int32_t channel, std::string_view text);
    std::string get_view_text(int32_t channel) const;
    void set_view(int32_t channel, double lo, double hi);
    std::string get_view_label(int32_t channel) const;
    void set_range_text(int32_t channel, std::string_view text);
    void set_range(int32_t channel, double lo, double hi);

    // --- Labels --------------------------------------------------------------------
    int32_t label_count() const;
    std::string get_label(int32_t i) const;
    void add_label(std::string_view text);
    static std::string normalize_label(std::string_view text);
    static bool is_label_key(std::string_view key);

    // --- Scan queries (may raise EInvalidSMPHeader) ---------------------------------
    std::string get_scan_text() const { return get_item("scan"); }
    int32_t scan_length();
    int32_t scan_step(int32_t channel);
    int32_t scan_first(int32_t channel);
    int32_t scan_channel(int32_t slot);

    // --- Sample access (may raise EInvalidSMPHeader) --------------------------------
    double channel_rate(int32_t channel);
    void read_block(int32_t channel, TSMPBlock& block);
    // Writes the block's Count samples at the channel's position. True when
    // all were written, and when there is nothing to write (Count <= 0).
    // False when the file is closed or read-only, the channel is not in the
    // scan, Count exceeds the block, or a write fails or is short (disk
    // full): the channel's position then counts only the samples that are
    // wholly on disk, so get_position tells what was kept.
    bool write_block(int32_t channel, const TSMPBlock& block);
    // Samples of the channel in the file (from the start of the data to the
    // end of the file); 0 when closed or the channel is not in the scan.
    int64_t get_sample_count(int32_t channel);
    int32_t get_position(int32_t channel);
    void set_position(int32_t channel, int32_t n);

private:
    void reset_settings();
    void set_item_impl(std::string_view key, std::string_view value, bool loadLabels);
    void parse_header(std::size_t bytesRead);
    int64_t build_header();
    void load_label_file();
    bool store_labels();
    bool make_working_copy();
    bool fail(int code, const std::string& text);
    bool fail_errno(const std::string& name);
    void parse_scan();
    void channel_reset();
    void invalidate();
    int open_fd(const std::string& name, bool readOnly);
    bool write_header_region(int fd, int64_t size);
    int label_count_internal() const;

    std::vector<std::string> ItemList;
    std::vector<std::string> CommentList;
    std::vector<std::string> LabelList;
    std::string StoredCSVName;
    bool ExternalLabelMode = false;
    int32_t ChunkSamples = BlockSamples;
    std::string FileName;
    std::string WorkName;
    std::string LastErr;
    int LastErrCode = 0;

    int Fd = -1;
    bool ReadOnlyMode = false;
    int64_t DataOff = 0;
    std::unique_ptr<std::array<uint8_t, HeaderBufSize>> HeaderBuf;

    int64_t Version = 1;
    // A value read from the items, computed again once Version has moved on.
    template <class T> struct ItemCache {
        int64_t version = 0;
        T value{};
        template <class Compute> T Get(int64_t current, Compute compute) {
            if (version < current) {
                value = compute();
                version = current;
            }
            return value;
        }
    };
    ItemCache<int32_t> HeadCache, NChansCache;
    ItemCache<double> SfTotCache;
    ItemCache<bool> MsbCache;

    // Sample access: the one transfer buffer, the private copy of a written
    // block, absolute byte positions per channel (64-bit: never overflow).
    std::unique_ptr<std::array<int16_t, BlockSamples>> IOBuf;
    std::unique_ptr<std::array<int16_t, BlockSamples>> WriteCopy;
    std::array<int64_t, MaxChannels> ChannelPos{};
    std::array<int64_t, MaxChannels> PrevChannelPos{};
    TSMPScan Scan;
    bool ScanStale = true;
};

} // namespace ravlon
