#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "core/measure/spectrogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

using namespace ravlon;

namespace {

// Everything observable of a store and its FFT, for "left untouched" checks.
struct Snapshot {
    int32_t sampFreq, pos1, pos2, pos3, frames, bins, blockSize, blockFill, frameIndex, playPos;
    std::vector<double> specSum, noiseSpecSum, blockBuf;
    std::vector<int32_t> specCount;
    int64_t noiseSpecCount;
    uint64_t repaints;
    int32_t fftSize, windowSize;
    TFFTWindow window;

    explicit Snapshot(const TSpectrogram& s)
        : sampFreq(s.SampFreq()), pos1(s.Pos1()), pos2(s.Pos2()), pos3(s.Pos3()),
          frames(s.Frames()), bins(s.Bins()), blockSize(s.BlockSize()), blockFill(s.BlockFill()),
          frameIndex(s.FrameIndex()), playPos(s.PlayPos()),
          specSum(s.SpecSumData().begin(), s.SpecSumData().end()), noiseSpecSum(s.NoiseSpecSum()),
          blockBuf(s.BlockBuf().begin(), s.BlockBuf().end()), specCount(s.SpecCount()),
          noiseSpecCount(s.NoiseSpecCount()), repaints(s.RepaintRequests()),
          fftSize(s.FFT().FFTSize()), windowSize(s.FFT().WindowSize()), window(s.FFT().Window()) {}

    bool StoreEquals(const Snapshot& o) const {
        return sampFreq == o.sampFreq && pos1 == o.pos1 && pos2 == o.pos2 && pos3 == o.pos3 &&
               frames == o.frames && bins == o.bins && blockSize == o.blockSize &&
               blockFill == o.blockFill && frameIndex == o.frameIndex && playPos == o.playPos &&
               specSum == o.specSum && noiseSpecSum == o.noiseSpecSum && blockBuf == o.blockBuf &&
               specCount == o.specCount && noiseSpecCount == o.noiseSpecCount &&
               repaints == o.repaints;
    }
    bool FFTEquals(const Snapshot& o) const {
        return fftSize == o.fftSize && windowSize == o.windowSize && window == o.window;
    }
};

std::vector<int16_t> Samples(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(-20000, 20000);
    std::vector<int16_t> x(n);
    for (auto& v : x) v = static_cast<int16_t>(dist(gen));
    return x;
}

// A small store: 8000 Hz, 1000 Hz Hanning -> window 16, FFT 16;
// 0.01 / 0.02 / 0.01 s -> 5 / 10 / 5 blocks: Pos 80 / 240 / 320, 20 frames x 8 bins.
TSpectrogram::RunSettings Small() {
    TSpectrogram::RunSettings s;
    s.SampFreq = 8000;
    s.Bandwidth = 1000;
    s.PreNoise = 0.01;
    s.Noise = 0.02;
    s.PostNoise = 0.01;
    return s;
}

// Runs a step expected to raise E with a message containing `part`.
template <class E, class Fn> void ExpectError(Fn fn, const std::string& part) {
    try {
        fn();
        ADD_FAILURE() << "no exception, expected one containing \"" << part << "\"";
    } catch (const E& e) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
}

// A store with data in it: the small set-up, one and a half cycles of samples,
// one noise update.
void Fill(TSpectrogram& s) {
    s.SetupRun(Small());
    auto x = Samples(480, 3);
    s.AddSamples(x.data(), 470);
    s.UpdateNoiseReference();
}

} // namespace

TEST(Spectrogram, DefaultSetUpStepByStep) {
    TFFT fft; // the main window's stored values: 256 / 256 / Hamming
    TSpectrogram s(fft);
    int repaints = 0;
    s.OnRepaintRequest = [&] { ++repaints; };
    s.SetSampFreq(48000);
    s.SetupWindow(3);
    EXPECT_EQ(fft.Window(), TFFTWindow::Hanning);
    s.SetupFFTSize();
    EXPECT_EQ(fft.FFTSize(), 16);
    s.SetupWindowSize(500);
    EXPECT_EQ(fft.WindowSize(), 192);
    EXPECT_EQ(fft.FFTSize(), 256);
    s.SetupPositions(1, 1, 1);
    EXPECT_EQ(s.Pos1(), 48128);
    EXPECT_EQ(s.Pos2(), 96256);
    EXPECT_EQ(s.Pos3(), 144384);
    EXPECT_EQ(s.Frames(), 0); // not built yet
    s.ClearStore();
    EXPECT_EQ(s.Frames(), 564);
    EXPECT_EQ(s.Bins(), 128);
    EXPECT_EQ(s.SpecSumData().size(), 564u * 128u);
    EXPECT_EQ(s.SpecSumData().size() * sizeof(double), 577536u);
    EXPECT_EQ(s.SpecCount().size(), 564u);
    EXPECT_EQ(s.NoiseSpecSum().size(), 128u);
    EXPECT_EQ(s.BlockBuf().size(), 256u);
    s.ResetCounters();
    EXPECT_EQ(repaints, 0);
    s.RequestRepaint();
    EXPECT_EQ(repaints, 1);
    EXPECT_EQ(s.RepaintRequests(), 1u);
    EXPECT_EQ(s.SampFreq(), 48000);
    EXPECT_EQ(s.PlayPos(), 0);
    EXPECT_EQ(s.BlockFill(), 0);
    EXPECT_EQ(s.FrameIndex(), 0);
    EXPECT_EQ(s.NoiseSpecCount(), 0);
    for (double v : s.SpecSumData()) ASSERT_EQ(v, 0.0);
}

TEST(Spectrogram, DefaultSetUpInOneCall) {
    TFFT fft;
    TSpectrogram s(fft);
    const auto plan = TSpectrogram::CheckRun({});
    EXPECT_EQ(plan.WindowSize, 192);
    EXPECT_EQ(plan.FFTSize, 256);
    EXPECT_EQ(plan.Pos1, 48128);
    EXPECT_EQ(plan.Pos2, 96256);
    EXPECT_EQ(plan.Pos3, 144384);
    EXPECT_EQ(plan.Frames, 564);
    EXPECT_EQ(plan.Bins, 128);
    s.SetupRun({});
    EXPECT_EQ(fft.WindowSize(), 192);
    EXPECT_EQ(fft.FFTSize(), 256);
    EXPECT_EQ(s.Pos3(), 144384);
    EXPECT_EQ(s.Frames(), 564);
    EXPECT_EQ(s.Bins(), 128);
    EXPECT_EQ(s.RepaintRequests(), 1u);
}

TEST(Spectrogram, WindowFactorsAndSizes) {
    EXPECT_EQ(TSpectrogram::WindowFactor, (std::array<double, 5>{1.0, 2.0, 2.0, 2.0, 4.0}));
    struct Case {
        int window;
        double bw;
        int ws, fft;
    } cases[] = {{0, 500, 96, 128},  {1, 500, 192, 256}, {2, 500, 192, 256}, {3, 500, 192, 256},
                 {4, 500, 384, 512}, {3, 6000, 16, 16},  {3, 3000, 32, 32},  {0, 6000, 8, 16}};
    for (const auto& c : cases) {
        TFFT fft;
        TSpectrogram s(fft);
        TSpectrogram::RunSettings r;
        r.Window = c.window;
        r.Bandwidth = c.bw;
        s.SetupRun(r);
        EXPECT_EQ(fft.WindowSize(), c.ws) << c.window << " " << c.bw;
        EXPECT_EQ(fft.FFTSize(), c.fft) << c.window << " " << c.bw;
        EXPECT_EQ(s.Bins(), c.fft / 2);
        EXPECT_EQ(TSpectrogram::CheckRun(r).FFTSize, c.fft);
    }
}

TEST(Spectrogram, WindowSizeRoundsHalfToEven) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetSampFreq(48000);
    s.SetupWindow(0);
    s.SetupFFTSize();
    s.SetupWindowSize(48000.0 / 186.5); // 186.5 -> 186
    EXPECT_EQ(fft.WindowSize(), 186);
    s.SetupWindowSize(48000.0 / 187.5); // 187.5 -> 188
    EXPECT_EQ(fft.WindowSize(), 188);
}

TEST(Spectrogram, WindowSizeOutOfRangeStopsTheSetUp) {
    TFFT fft;
    TSpectrogram s(fft);
    Fill(s);
    const Snapshot before(s);
    // At 8000 Hz with Hanning: window sizes 1, 0, 0, 0 and 1.6e6.
    for (double bw : {16000.0, 96000.0, 200000.0, 1e300, 0.01}) {
        s.SetupWindow(3);
        s.SetupFFTSize();
        try {
            s.SetupWindowSize(bw);
            ADD_FAILURE() << bw;
        } catch (const EFFTError& e) {
            EXPECT_EQ(std::string(e.what()), "Window size out of range");
        }
        // The window and the FFT size 16 stay applied; the rows and counts keep
        // their contents.
        EXPECT_EQ(fft.FFTSize(), 16);
        EXPECT_TRUE(Snapshot(s).StoreEquals(before));
    }
    TSpectrogram::RunSettings r = Small();
    r.Bandwidth = 96000;
    fft.SetFFTSize(64);
    const Snapshot fftBefore(s);
    EXPECT_THROW(s.SetupRun(r), EFFTError);
    EXPECT_TRUE(Snapshot(s).StoreEquals(fftBefore));
    EXPECT_TRUE(Snapshot(s).FFTEquals(fftBefore));
}

TEST(Spectrogram, DurationsRoundToWholeBlocks) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun({});
    s.SetupPositions(0, 1, 1);
    EXPECT_EQ(s.Pos1(), 0);
    EXPECT_EQ(s.Pos2(), 48128);
    s.SetupPositions(0.001, 1, 1); // 0.1875 blocks -> 0
    EXPECT_EQ(s.Pos1(), 0);
    s.SetupPositions(1, 1, 0);
    EXPECT_EQ(s.Pos3(), s.Pos2());
    // 1.5 blocks -> 2, 2.5 blocks -> 2 (half to even).
    s.SetupPositions(1.5 * 256 / 48000, 2.5 * 256 / 48000, 1);
    EXPECT_EQ(s.Pos1(), 512);
    EXPECT_EQ(s.Pos2(), 1024);
}

TEST(Spectrogram, BadInputIsRefusedAndLeavesTheStoreUntouched) {
    TFFT fft;
    TSpectrogram s(fft);
    Fill(s);
    const Snapshot before(s);
    auto untouched = [&] {
        const Snapshot now(s);
        EXPECT_TRUE(now.StoreEquals(before));
        EXPECT_TRUE(now.FFTEquals(before));
    };
    ExpectError<ESpectrogramError>([&] { s.SetSampFreq(0); },
                                   "Sampling rate must be greater than 0 Hz (got 0)");
    ExpectError<ESpectrogramError>([&] { s.SetSampFreq(-48000); }, "(got -48000)");
    untouched();
    ExpectError<ESpectrogramError>([&] { s.SetupWindow(5); },
                                   "Window function index out of range (5)");
    ExpectError<ESpectrogramError>([&] { s.SetupWindow(-1); }, "out of range (-1)");
    untouched();
    for (double bw : {0.0, -500.0, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        ExpectError<ESpectrogramError>([&] { s.SetupWindowSize(bw); },
                                       "Bandwidth must be a finite number greater than 0 Hz");
        untouched();
    }
    ExpectError<ESpectrogramError>(
        [&] { s.SetupPositions(-1, 1, 1); },
        "Pre-noise silence must be a finite number of seconds, 0 or more (got -1)");
    ExpectError<ESpectrogramError>(
        [&] { s.SetupPositions(1, std::nan(""), 1); },
        "Noise duration must be a finite number of seconds, 0 or more (got NaN)");
    ExpectError<ESpectrogramError>(
        [&] { s.SetupPositions(1, 1, HUGE_VAL); },
        "Post-noise silence must be a finite number of seconds, 0 or more (got INF)");
    untouched();
    // Zero frames: every duration rounds to zero blocks of 16 samples.
    ExpectError<ESpectrogramError>([&] { s.SetupPositions(0, 0, 0); },
                                   "shorter than one block of 16 samples");
    ExpectError<ESpectrogramError>([&] { s.SetupPositions(0.0009, 0, 0.0009); },
                                   "the spectrogram would have no frames");
    untouched();
    // Over 1 GiB: at 8000 Hz and FFT 16 the store takes 4 bytes per sample.
    ExpectError<ESpectrogramError>([&] { s.SetupPositions(0, 1, 40000); }, "more than 1024 MiB");
    // Beyond a 32-bit Integer.
    ExpectError<ESpectrogramError>([&] { s.SetupPositions(0, 1, 300000); }, "exceed 2147483647");
    ExpectError<ESpectrogramError>([&] { s.SetupPositions(1e300, 1, 1); }, "exceed 2147483647");
    untouched();
    ExpectError<ESpectrogramError>([&] { s.SetPositions(-16, 0, 320); }, "Invalid cycle positions");
    ExpectError<ESpectrogramError>([&] { s.SetPositions(80, 40, 320); },
                                   "0 <= pos1 <= pos2 <= pos3");
    ExpectError<ESpectrogramError>([&] { s.SetPositions(80, 240, 200); },
                                   "(pos1 80, pos2 240, pos3 200)");
    untouched();
    // The whole run set-up refuses the same inputs before changing anything.
    auto run = [&](auto change) {
        TSpectrogram::RunSettings r = Small();
        change(r);
        EXPECT_THROW(s.SetupRun(r), Exception);
        EXPECT_THROW(TSpectrogram::CheckRun(r), Exception);
        untouched();
    };
    run([](auto& r) { r.SampFreq = 0; });
    run([](auto& r) { r.Window = 9; });
    run([](auto& r) { r.Bandwidth = -1; });
    run([](auto& r) { r.Bandwidth = std::nan(""); });
    run([](auto& r) { r.PreNoise = -0.5; });
    run([](auto& r) { r.Noise = HUGE_VAL; });
    run([](auto& r) { r.PreNoise = r.Noise = r.PostNoise = 0; });
    run([](auto& r) { r.PostNoise = 40000; });
    run([](auto& r) {
        r.SampFreq = 2000000000;
        r.Bandwidth = 4e8;
        r.PostNoise = 2;
    });
}

TEST(Spectrogram, OpenedRecordingPositionsAndAClearThatWouldGiveNoFrames) {
    TFFT fft;
    TSpectrogram s(fft);
    Fill(s);
    const Snapshot before(s);
    // An opened recording: positions as they are; FFT size from the settings.
    s.SetSampFreq(8000);
    s.SetupWindow(3);
    s.SetPositions(100, 300, 400); // not multiples of 16
    s.SetupFFTSize();
    s.SetupWindowSize(1000);
    s.ClearStore();
    EXPECT_EQ(s.Frames(), 25);
    EXPECT_EQ(s.Pos1(), 100);
    // A cycle shorter than a block: refused, rows and counts untouched.
    TSpectrogram t(fft);
    Fill(t);
    const Snapshot tb(t);
    t.SetPositions(0, 0, 15);
    ExpectError<ESpectrogramError>([&] { t.ClearStore(); }, "no frames");
    EXPECT_EQ(t.Frames(), tb.frames);
    EXPECT_EQ(std::vector<double>(t.SpecSumData().begin(), t.SpecSumData().end()), tb.specSum);
    EXPECT_EQ(t.SpecCount(), tb.specCount);
    (void)before;
}

TEST(Spectrogram, AddSamplesBeforeSetUpOrWithNegativeCountIsRefused) {
    TFFT fft;
    TSpectrogram s(fft);
    std::vector<int16_t> x(100, 1);
    ExpectError<ESpectrogramError>([&] { s.AddSamples(x.data(), 100); },
                                   "before the analysis set-up");
    s.AddSamples(x.data(), 0); // nothing to do
    s.SetupRun(Small());
    ExpectError<ESpectrogramError>([&] { s.AddSamples(x.data(), -1); },
                                   "negative sample count (-1)");
    EXPECT_EQ(s.BlockFill(), 0);
}

TEST(Spectrogram, FirstBlockMakesTheWindowCoverTheWholeBlock) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun({});
    EXPECT_EQ(fft.WindowSize(), 192);
    auto x = Samples(256, 1);
    s.AddSamples(x.data(), 256);
    EXPECT_EQ(fft.WindowSize(), 256);
    EXPECT_EQ(fft.FFTSize(), 256);
    // Row 0 holds the lower half of that block's power.
    TFFT ref;
    ref.SetWindow(TFFTWindow::Hanning);
    std::vector<double> d(x.begin(), x.end());
    ref.SetData(d);
    auto p = ref.GetPower();
    for (int b = 0; b < 128; ++b) EXPECT_EQ(s.SpecSum(0)[b], p[b]);
    EXPECT_EQ(s.SpecCount()[0], 1);
    EXPECT_EQ(s.FrameIndex(), 1);
}

TEST(Spectrogram, KCyclesGiveCountKAndOneRepaintPerCycle) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun(Small());
    ASSERT_EQ(s.Frames(), 20);
    int calls = 0;
    bool sawWrapped = true;
    s.OnRepaintRequest = [&] {
        ++calls;
        // The request comes when the last block of a cycle has been added.
        sawWrapped = sawWrapped && s.FrameIndex() == 0 && s.BlockFill() == 0 &&
                     s.SpecCount().back() == calls;
    };
    auto x = Samples(320 * 6, 9);
    for (int k = 1; k <= 6; ++k) {
        // Feed the cycle in chunks that do not line up with the blocks.
        const int16_t* c = x.data() + (k - 1) * 320;
        s.AddSamples(c, 13);
        s.AddSamples(c + 13, 300);
        EXPECT_EQ(calls, k - 1);
        s.AddSamples(c + 313, 7);
        EXPECT_EQ(calls, k);
        EXPECT_EQ(s.RepaintRequests(), static_cast<uint64_t>(k) + 1); // + the set-up's
        EXPECT_EQ(s.FrameIndex(), 0);
        for (int32_t n : s.SpecCount()) ASSERT_EQ(n, k);
    }
    EXPECT_TRUE(sawWrapped);
}

TEST(Spectrogram, OneDefaultCycle) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun({});
    int calls = 0;
    s.OnRepaintRequest = [&] { ++calls; };
    auto x = Samples(144384, 4);
    for (size_t i = 0; i < x.size(); i += 4096)
        s.AddSamples(x.data() + i, static_cast<int32_t>(std::min<size_t>(4096, x.size() - i)));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(s.FrameIndex(), 0);
    for (int32_t n : s.SpecCount()) ASSERT_EQ(n, 1);
}

TEST(Spectrogram, ChunksCompletingSeveralBlocksOrEndingMidBlock) {
    auto x = Samples(320 * 3 + 11, 21);
    TFFT f1, f2;
    TSpectrogram whole(f1), pieces(f2);
    whole.SetupRun(Small());
    pieces.SetupRun(Small());
    whole.AddSamples(x);
    // 40 samples: two blocks into frames 0 and 1, 8 samples left in the block.
    pieces.AddSamples(x.data(), 40);
    EXPECT_EQ(pieces.FrameIndex(), 2);
    EXPECT_EQ(pieces.BlockFill(), 8);
    EXPECT_EQ(pieces.SpecCount()[0], 1);
    EXPECT_EQ(pieces.SpecCount()[1], 1);
    EXPECT_EQ(pieces.SpecCount()[2], 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(pieces.BlockBuf()[i], x[32 + i]);
    size_t pos = 40;
    const int sizes[] = {1, 7, 15, 16, 17, 100, 3, 250, 1};
    int k = 0;
    while (pos < x.size()) {
        const size_t n = std::min<size_t>(sizes[k++ % 9], x.size() - pos);
        pieces.AddSamples(x.data() + pos, static_cast<int32_t>(n));
        pos += n;
    }
    const Snapshot a(whole), b(pieces);
    EXPECT_TRUE(a.StoreEquals(b));
    EXPECT_EQ(whole.BlockFill(), 11);
    EXPECT_EQ(whole.FrameIndex(), 0);
    EXPECT_EQ(whole.RepaintRequests(), 4u);
}

TEST(Spectrogram, NoiseReferenceUpdate) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun(Small()); // noise frames 80/16 = 5 .. 240/16 = 15, both included
    auto x = Samples(320 * 2, 5);
    s.AddSamples(x);
    s.UpdateNoiseReference();
    EXPECT_EQ(s.NoiseSpecCount(), 11 * 2);
    for (int b = 0; b < s.Bins(); ++b) {
        double sum = 0;
        for (int f = 5; f <= 15; ++f) sum += s.SpecSum(f)[b];
        EXPECT_DOUBLE_EQ(s.NoiseSpecSum()[b], sum);
    }
    const std::vector<double> once = s.NoiseSpecSum();
    const int64_t countOnce = s.NoiseSpecCount();
    s.UpdateNoiseReference(); // an unchanged store: both double, the ratio stays
    EXPECT_EQ(s.NoiseSpecCount(), 2 * countOnce);
    for (int b = 0; b < s.Bins(); ++b) {
        // The rows are added one by one to the running sums: equal up to rounding.
        EXPECT_DOUBLE_EQ(s.NoiseSpecSum()[b], 2 * once[b]);
        EXPECT_DOUBLE_EQ(s.NoiseSpecSum()[b] / s.NoiseSpecCount(), once[b] / countOnce);
    }
    // A new set-up clears both.
    s.SetupRun(Small());
    EXPECT_EQ(s.NoiseSpecCount(), 0);
    for (double v : s.NoiseSpecSum()) EXPECT_EQ(v, 0.0);
}

TEST(Spectrogram, NoiseReferenceStopsAtTheLastFrame) {
    TFFT fft;
    TSpectrogram s(fft);
    TSpectrogram::RunSettings r = Small();
    r.PostNoise = 0; // Pos2 = Pos3: frame Pos2 div 16 = 15 is beyond the last (14)
    s.SetupRun(r);
    ASSERT_EQ(s.Frames(), 15);
    auto x = Samples(240, 6);
    s.AddSamples(x);
    s.UpdateNoiseReference();
    EXPECT_EQ(s.NoiseSpecCount(), 10); // frames 5 .. 14
}

TEST(Spectrogram, AddSpectrumForSyntheticStores) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun(Small());
    std::vector<double> p(8, 2.0);
    s.AddSpectrum(3, p);
    s.AddSpectrum(3, p);
    EXPECT_EQ(s.SpecCount()[3], 2);
    EXPECT_EQ(s.SpecSum(3)[7], 4.0);
    EXPECT_THROW(s.AddSpectrum(20, p), ERangeError);
    EXPECT_THROW(s.AddSpectrum(-1, p), ERangeError);
    std::vector<double> shortRow(7, 1.0);
    EXPECT_THROW(s.AddSpectrum(0, shortRow), ERangeError);
    EXPECT_THROW(s.SpecSum(20), ERangeError);
}

TEST(Spectrogram, SetUpResetsPlayPosAndCounters) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun(Small());
    TNoiseRandom r;
    std::vector<int16_t> buf(100);
    s.FillNoise(r, buf.data(), 100);
    EXPECT_EQ(s.PlayPos(), 100);
    EXPECT_EQ(buf[79], 0);
    EXPECT_EQ(buf[80], -32768);
    auto x = Samples(50, 1);
    s.AddSamples(x);
    s.SetupRun(Small());
    EXPECT_EQ(s.PlayPos(), 0);
    EXPECT_EQ(s.BlockFill(), 0);
    EXPECT_EQ(s.FrameIndex(), 0);
    for (int32_t n : s.SpecCount()) EXPECT_EQ(n, 0);
}

// --- Opening a recording ------------------------------------------------------------

TEST(OpenRecording, AFailedOpenLeavesTheShownAnalysisAsItWas) {
    const std::string name = (std::filesystem::temp_directory_path() /
                              ("ravlon-open-" + std::to_string(::getpid()) + ".ravlon"))
                                 .string();
    struct Remove {
        const std::string& name;
        ~Remove() { std::filesystem::remove(name); }
    } remove{name};
    TFFT fft;
    TSpectrogram s(fft);
    Fill(s); // 8000 Hz, Hanning, FFT 16, 20 frames
    const Snapshot before(s);

    // A header without samples at 44100 Hz opened with the rectangular window:
    // every setting differs from the store's. nullptr leaves an item out.
    struct Case {
        double rate;
        const char *pos1, *pos2, *pos3;
        int32_t window;
        std::function<double()> bandwidth;
        const char* error; // part of the message
    };
    const auto bw = [](double v) { return [v] { return v; }; };
    const Case cases[] = {
        {44100, "0", "44032", "88064", 0, [] { return StrToFloat("5oo"); }, "'5oo'"},
        {44100, "0", "44032", "88064", 0, bw(0), "Bandwidth must be"},
        {44100, "0", "44032", "88064", 0, bw(1e6), "Window size out of range"},
        {44100, "0", "44032", nullptr, 0, bw(500),
         "is not a Ravlon measurement: its header has no item \"pos3\""},
        {44100, "0", "44x32", "88064", 0, bw(500),
         ": the item \"pos2\" of its header is not a whole number ('44x32')"},
        {0, "0", "44032", "88064", 0, bw(500), "Sampling rate"},
        {44100, "44032", "0", "88064", 0, bw(500), "Invalid cycle positions"},
        {44100, "0", "0", "64", 0, bw(500), "no frames"},
        {44100, "0", "0", "2000000000", 0, bw(500), "more than 1024 MiB"},
        {44100, "0", "44032", "88064", 5, bw(500), "Window function index"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        TSMPfile w;
        ASSERT_TRUE(w.new_file(name));
        w.insert_nonpresent_defaults();
        w.set_sftot(c.rate);
        const char* pos[] = {c.pos1, c.pos2, c.pos3};
        for (int i = 0; i < 3; ++i)
            if (pos[i]) w.set_item("pos" + std::to_string(i + 1), pos[i]);
        ASSERT_TRUE(w.save_file(""));
        w.close_file();

        TSMPfile f;
        ASSERT_TRUE(f.open_file(name, true));
        int applied = 0;
        TOpenRecordingSteps steps;
        steps.SetSampFreq = [&](int32_t v) {
            ++applied;
            s.SetSampFreq(v);
        };
        steps.Bandwidth = c.bandwidth;
        steps.OnPositions = [&] { ++applied; };
        ExpectError<Exception>([&] { OpenRecordingAnalysis(f, s, c.window, steps); }, c.error);
        EXPECT_EQ(applied, 0);
        EXPECT_TRUE(Snapshot(s).StoreEquals(before));
        EXPECT_TRUE(Snapshot(s).FFTEquals(before));
    }

    // A file without a recording's header: a text file named like a recording.
    {
        const std::string notes =
            (std::filesystem::path(name).parent_path() / "notes.ravlon").string();
        std::ofstream(notes) << "shopping list\nmilk\n";
        TSMPfile f;
        ASSERT_TRUE(f.open_file(notes, true));
        ExpectError<EInputError>([&] { OpenRecordingAnalysis(f, s, 0, 500.0); },
                                 "notes.ravlon is not a Ravlon recording (no header)");
        f.close_file();
        std::filesystem::remove(notes);
    }

    // The last header is sound: with a valid window it is taken.
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    OpenRecordingAnalysis(f, s, 0, 500.0);
    EXPECT_EQ(s.SampFreq(), 44100);
    EXPECT_EQ(fft.FFTSize(), 128);
    EXPECT_EQ(s.Frames(), 688);
}
