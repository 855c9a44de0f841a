#include "core/measure/reanalysis.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

using namespace ravlon;

namespace {

struct Recording {
    std::string name;
    ~Recording() { std::filesystem::remove(name); }
};

// A recording whose sample n of every cycle is the cycle number k times 1000
// plus n div 256, so every analysed sample tells where it came from.
Recording WriteCycles(int32_t pos3, int cycles, int extra) {
    Recording r{(std::filesystem::temp_directory_path() /
                 ("ravlon-reanalysis-" + std::to_string(::getpid()) + ".ravlon"))
                    .string()};
    TSMPfile f;
    EXPECT_TRUE(f.new_file(r.name));
    f.insert_nonpresent_defaults();
    EXPECT_TRUE(f.save_file(""));
    auto block = std::make_unique<TSMPBlock>();
    int64_t total = static_cast<int64_t>(pos3) * cycles + extra;
    for (int64_t i = 0; i < total;) {
        int32_t n = static_cast<int32_t>(std::min<int64_t>(16384, total - i));
        for (int32_t j = 0; j < n; ++j) {
            int64_t s = i + j;
            block->Samples[j] = static_cast<int16_t>((s / pos3) * 1000 + (s % pos3) / 256);
        }
        block->Count = n;
        f.write_block(0, *block);
        i += n;
    }
    f.close_file();
    return r;
}

struct Seen {
    std::vector<int16_t> analysed, skipped;
    int cycles = 0;
};

Seen Reanalyse(const std::string& name, TSpectrogram& store) {
    TSMPfile f;
    EXPECT_TRUE(f.open_file(name, true));
    Seen seen;
    ReanalyseRecording(
        f, store,
        [&](const TSMPBlock& b, bool analyse) {
            EXPECT_LE(b.Count, 16384);
            auto& to = analyse ? seen.analysed : seen.skipped;
            to.insert(to.end(), b.Samples, b.Samples + b.Count);
        },
        [&] { ++seen.cycles; });
    f.close_file();
    return seen;
}

} // namespace

TEST(Reanalysis, SameFftSizeReadsEverythingInOrder) {
    const int32_t pos3 = 144384;
    Recording r = WriteCycles(pos3, 3, 1000);
    TFFT fft;
    TSpectrogram store(fft);
    store.SetSampFreq(48000);
    store.SetupWindow(3);
    store.SetupFFTSize();
    store.SetupWindowSize(500);
    store.SetPositions(48128, 96256, pos3);
    store.ClearStore();
    Seen seen = Reanalyse(r.name, store);
    EXPECT_EQ(seen.cycles, 3);
    EXPECT_TRUE(seen.skipped.empty());
    ASSERT_EQ(seen.analysed.size(), static_cast<size_t>(3 * pos3 + 1000));
    EXPECT_EQ(seen.analysed[static_cast<size_t>(pos3)], 1000);
}

TEST(Reanalysis, OtherFftSizeKeepsEveryCycleOnTheFrameGrid) {
    // 50 Hz at 48 kHz with Hanning: FFT 2048, 70 whole blocks and a half per cycle.
    const int32_t pos3 = 144384;
    Recording r = WriteCycles(pos3, 3, 0);
    TFFT fft;
    TSpectrogram store(fft);
    store.SetSampFreq(48000);
    store.SetupWindow(3);
    store.SetupFFTSize();
    store.SetupWindowSize(50);
    store.SetPositions(48128, 96256, pos3);
    store.ClearStore();
    ASSERT_EQ(store.BlockSize(), 2048);
    ASSERT_EQ(store.Frames(), 70);
    Seen seen = Reanalyse(r.name, store);
    EXPECT_EQ(seen.cycles, 3);
    ASSERT_EQ(seen.analysed.size(), static_cast<size_t>(3 * 70 * 2048));
    ASSERT_EQ(seen.skipped.size(), static_cast<size_t>(3 * 1024));
    // Block f of cycle k starts with sample f * 2048 of that cycle.
    for (int k = 0; k < 3; ++k)
        for (int f = 0; f < 70; ++f)
            EXPECT_EQ(seen.analysed[static_cast<size_t>((k * 70 + f) * 2048)], k * 1000 + f * 8);
}

TEST(Reanalysis, FftLargerThanABlockIsReadInPieces) {
    // 2 Hz with Hanning at 48 kHz: window 48000, FFT 65536.
    const int32_t pos3 = 4 * 65536;
    Recording r = WriteCycles(pos3, 2, 5);
    TFFT fft;
    TSpectrogram store(fft);
    store.SetSampFreq(48000);
    store.SetupWindow(3);
    store.SetupFFTSize();
    store.SetupWindowSize(2);
    ASSERT_EQ(fft.FFTSize(), 65536);
    store.SetPositions(65536, 3 * 65536, pos3);
    store.ClearStore();
    Seen seen = Reanalyse(r.name, store);
    EXPECT_EQ(seen.cycles, 2);
    EXPECT_EQ(seen.analysed.size(), static_cast<size_t>(2 * pos3 + 5));
}
