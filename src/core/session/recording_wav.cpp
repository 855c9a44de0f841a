// Recording to WAV with cue points, and the cycle read back from them.
#include "core/session/recording_wav.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file.h"
#include "core/session/position_analysis.h"
#include "core/session/session_report.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace ravlon {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kFccData = 0x61746164; // "data", little-endian as the cue chunk stores it

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFile = std::unique_ptr<SNDFILE, SndCloser>;

// SF_CUES with room for count points (the header's type holds 100).
struct CueBuffer {
    explicit CueBuffer(uint32_t count)
        : bytes(sizeof(uint32_t) + sizeof(SF_CUE_POINT) * std::max<uint32_t>(count, 1)),
          data(static_cast<SF_CUES*>(std::calloc(1, bytes))) {}
    ~CueBuffer() { std::free(data); }
    CueBuffer(const CueBuffer&) = delete;
    CueBuffer& operator=(const CueBuffer&) = delete;
    size_t bytes;
    SF_CUES* data;
};

// Removes the partly written file unless it was handed over.
struct PartFile {
    std::string name;
    ~PartFile() {
        if (name.empty()) return;
        std::error_code ec;
        fs::remove(name, ec);
    }
};

std::string CycleComment(const TWavCycle& c, int32_t rate, int64_t cycles) {
    const auto s = [rate](int64_t samples) {
        return ReportNumber(static_cast<double>(samples) / rate, 6) + " s";
    };
    return "Ravlon interrupted-noise recording: pre-noise silence " + s(c.Pos1) + ", noise " +
           s(c.Pos2 - c.Pos1) + ", post-noise silence " + s(c.Pos3 - c.Pos2) + " (cycle " +
           s(c.Pos3) + " at " + std::to_string(rate) + " Hz, " + std::to_string(cycles) +
           " complete cycle(s)). Cue points 3k+1, 3k+2 and 3k+3 mark where the noise starts, "
           "where it stops and where cycle k+1 ends.";
}

} // namespace

void ExportRecordingWav(const std::string& recording, const std::string& wav) {
    if (SameFile(recording, wav))
        throw ERecordingWavError("The WAV file would replace the recording itself: " + wav);
    TSMPfile rec;
    if (!rec.open_file(recording, true))
        throw ERecordingWavError("The recording cannot be read: " + rec.LastError());
    struct Closer {
        TSMPfile& f;
        ~Closer() { f.close_file(); }
    } closer{rec};
    TWavCycle cycle;
    int32_t rate = 0;
    try {
        CheckAnalysisInput(rec, recording);
        cycle = {StrToInt(rec.get_item("pos1")), StrToInt(rec.get_item("pos2")),
                 StrToInt(rec.get_item("pos3"))};
        rate = Round(rec.channel_rate(0));
    } catch (const Exception& e) {
        throw ERecordingWavError(e.what());
    }
    if (!(0 <= cycle.Pos1 && cycle.Pos1 <= cycle.Pos2 && cycle.Pos2 <= cycle.Pos3 &&
          cycle.Pos3 > 0))
        throw ERecordingWavError(recording + ": the cycle positions are not in order");

    const int64_t samples = rec.get_sample_count(0);
    const int64_t complete = samples / cycle.Pos3;
    int64_t cueCycles = std::clamp<int64_t>(complete, 1, MaxWavCueCycles);
    // A cue point's offset has 32 bits.
    while (cueCycles > 1 && cueCycles * cycle.Pos3 > int64_t(UINT32_MAX)) --cueCycles;
    const uint32_t cueCount = static_cast<uint32_t>(3 * cueCycles);
    CueBuffer cues(cueCount);
    if (!cues.data) throw ERecordingWavError("Out of memory for the cue points");
    cues.data->cue_count = cueCount;
    for (int64_t k = 0; k < cueCycles; ++k) {
        const int64_t at[3] = {k * cycle.Pos3 + cycle.Pos1, k * cycle.Pos3 + cycle.Pos2,
                               (k + 1) * cycle.Pos3};
        for (int j = 0; j < 3; ++j) {
            SF_CUE_POINT& c = cues.data->cue_points[3 * k + j];
            c.indx = static_cast<int32_t>(3 * k + j + 1);
            c.position = static_cast<uint32_t>(at[j]);
            c.sample_offset = static_cast<uint32_t>(at[j]);
            c.fcc_chunk = kFccData;
        }
    }

    PartFile part{(fs::path(wav).parent_path() / ("~" + fs::path(wav).filename().string() + "." +
                                                  std::to_string(::getpid()) + ".part"))
                      .string()};
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SndFile out(sf_open(part.name.c_str(), SFM_WRITE, &info));
    if (!out)
        throw ERecordingWavError("The WAV file cannot be written: " + wav + ": " +
                                 sf_strerror(nullptr));
    const auto failed = [&](const std::string& what) {
        return ERecordingWavError("The WAV file cannot be written: " + wav + ": " + what);
    };
    if (sf_command(out.get(), SFC_SET_CUE, cues.data, static_cast<int>(cues.bytes)) != SF_TRUE)
        throw failed("the cue points were refused");
    sf_set_string(out.get(), SF_STR_SOFTWARE, "Ravlon");
    sf_set_string(out.get(), SF_STR_COMMENT, CycleComment(cycle, rate, complete).c_str());
    auto block = std::make_unique<TSMPBlock>();
    int64_t written = 0;
    for (;;) {
        try {
            rec.read_block(0, *block);
        } catch (const Exception& e) {
            throw failed(std::string("reading the recording: ") + e.what());
        }
        if (block->Count <= 0) break;
        if (sf_write_short(out.get(), block->Samples, block->Count) != block->Count)
            throw failed(sf_strerror(out.get()));
        written += block->Count;
    }
    if (written != samples) throw failed("the recording could not be read to its end");
    // sf_close writes the header and the chunks after the data; its result is
    // the only word on whether they reached the disk.
    if (sf_close(out.release()) != 0) throw failed("closing the file failed");
    std::error_code ec;
    fs::rename(part.name, wav, ec);
    if (ec) throw failed(ec.message());
    part.name.clear();
}

std::optional<TWavCycle> ReadWavCycle(const std::string& wav) {
    SF_INFO info{};
    SndFile in(sf_open(wav.c_str(), SFM_READ, &info));
    if (!in) return std::nullopt;
    uint32_t count = 0;
    if (sf_command(in.get(), SFC_GET_CUE_COUNT, &count, sizeof count) != SF_TRUE || count < 3 ||
        count % 3 != 0 || count > 3 * MaxWavCueCycles)
        return std::nullopt;
    CueBuffer cues(count);
    if (!cues.data ||
        sf_command(in.get(), SFC_GET_CUE, cues.data, static_cast<int>(cues.bytes)) != SF_TRUE ||
        cues.data->cue_count != count)
        return std::nullopt;
    std::vector<SF_CUE_POINT> points(cues.data->cue_points, cues.data->cue_points + count);
    std::sort(points.begin(), points.end(),
              [](const SF_CUE_POINT& a, const SF_CUE_POINT& b) { return a.indx < b.indx; });
    const int64_t p1 = points[0].sample_offset, p2 = points[1].sample_offset,
                  p3 = points[2].sample_offset;
    if (!(p1 <= p2 && p2 <= p3 && p3 > 0 && p3 <= INT32_MAX)) return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t k = i / 3;
        const int64_t expected = k * p3 + (i % 3 == 0 ? p1 : i % 3 == 1 ? p2 : p3);
        if (points[i].indx != static_cast<int32_t>(i + 1) || points[i].sample_offset != expected)
            return std::nullopt;
    }
    return TWavCycle{static_cast<int32_t>(p1), static_cast<int32_t>(p2), static_cast<int32_t>(p3)};
}

} // namespace ravlon
