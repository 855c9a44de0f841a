#include "core/views/t60_evaluation.h"

#include "core/base/numtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace ravlon;

namespace {

// 48000 Hz, FFT 256 (window 256), Pos1 0, Pos2 = 200 blocks, Pos3 = 500 blocks:
// 500 frames x 128 bins, the scan starts at frame 200.
struct Store {
    TFFT fft;
    TSpectrogram s{fft};
    std::vector<double> t60, start, end;

    explicit Store(int32_t pos2Blocks = 200, int32_t pos3Blocks = 500) {
        s.SetSampFreq(48000);
        s.SetupWindow(0);
        fft.SetFFTSize(256);
        fft.SetWindowSize(256);
        s.SetPositions(0, pos2Blocks * 256, pos3Blocks * 256);
        s.ClearStore();
        s.ResetCounters();
    }
    // Adds `times` spectra of the given level (same in every bin) to frame f.
    void Level(int32_t f, double level, int times = 1) {
        std::vector<double> p(128, level);
        for (int i = 0; i < times; ++i) s.AddSpectrum(f, p);
    }
    void Levels(const std::function<double(int32_t)>& level, int times = 1) {
        for (int32_t f = 0; f < s.Frames(); ++f) Level(f, level(f), times);
    }
    void Evaluate(double initialDrop = 5, double additionalDrop = 30) {
        EvaluateT60(s, 256, 256, initialDrop, additionalDrop, t60, start, end);
    }
};

// A worked example: o = 300, e = 420, D = -31 dB.
double WorkedLevel(int32_t f) {
    if (f < 300) return 1.0;
    if (f == 300) return 0.1;
    if (f < 420) return 0.01;
    return 0.1 * std::pow(10.0, -3.1);
}

const double kWorkedT60 = 60.0 * 120 * 256 / 48000 / 31; // 1.2387...

} // namespace

TEST(EvaluateT60, WorkedExample) {
    Store st;
    st.Levels(WorkedLevel);
    st.s.UpdateNoiseReference(); // frames 0 .. 200 at level 1
    st.Evaluate();
    ASSERT_EQ(st.t60.size(), 128u);
    ASSERT_EQ(st.start.size(), 128u);
    ASSERT_EQ(st.end.size(), 128u);
    for (int b = 0; b < 128; ++b) {
        EXPECT_EQ(st.start[b], 300.0);
        EXPECT_EQ(st.end[b], 420.0);
        EXPECT_NEAR(st.t60[b], kWorkedT60, 1e-12);
    }
    EXPECT_NEAR(st.t60[0], 1.2387, 5e-5);
}

TEST(EvaluateT60, AdditionalDropZeroKeepsEqualFramesWithT60Zero) {
    Store st;
    st.Levels(WorkedLevel);
    st.s.UpdateNoiseReference();
    st.Evaluate(5, 0);
    for (int b = 0; b < 128; ++b) {
        EXPECT_EQ(st.t60[b], 0.0);
        EXPECT_EQ(st.start[b], 300.0);
        EXPECT_EQ(st.end[b], 300.0);
    }
}

TEST(EvaluateT60, NoCrossingGivesZerosInAllThree) {
    Store st;
    st.Levels([](int32_t f) { return f < 300 ? 1.0 : 0.1; }); // never 35 dB down
    st.s.UpdateNoiseReference();
    st.t60.assign(128, 9.0);
    st.start.assign(128, 9.0);
    st.end.assign(128, 9.0);
    st.Evaluate();
    for (int b = 0; b < 128; ++b) {
        EXPECT_EQ(st.t60[b], 0.0);
        EXPECT_EQ(st.start[b], 0.0);
        EXPECT_EQ(st.end[b], 0.0);
    }
    Store flat;
    flat.Levels([](int32_t) { return 1.0; });
    flat.s.UpdateNoiseReference();
    flat.Evaluate();
    for (int b = 0; b < 128; ++b) EXPECT_EQ(flat.t60[b] + flat.start[b] + flat.end[b], 0.0);
}

TEST(EvaluateT60, CrossingInFrameZeroCountsAsNotFound) {
    // Pos2 = 0: the scan starts at frame 0. Frame 0 is at level 1 when the noise
    // reference is taken, then falls to 1e-4 on average (below both thresholds:
    // 1 / 10000 < 10^-3.5).
    auto make = [](const std::function<double(int32_t)>& later) {
        auto st = std::make_unique<Store>(0, 500);
        st->Level(0, 1.0);
        st->s.UpdateNoiseReference(); // frame 0 only: S = 1
        st->Level(0, 0.0, 9999);
        for (int32_t f = 1; f < 500; ++f) st->Level(f, later(f));
        st->Evaluate();
        return st;
    };
    auto a = make([](int32_t) { return 1.0; });
    for (int b = 0; b < 128; ++b) EXPECT_EQ(a->t60[b] + a->start[b] + a->end[b], 0.0);
    // Frame 1 also below both: the scan finds it, o = e = 1, T60 0, frames kept.
    auto c = make([](int32_t f) { return f == 1 ? 1e-5 : 1.0; });
    EXPECT_EQ(c->start[5], 1.0);
    EXPECT_EQ(c->end[5], 1.0);
    EXPECT_EQ(c->t60[5], 0.0);
    // Frame 1 below the first threshold only, frame 5 below the second.
    auto d = make([](int32_t f) { return f < 5 ? 0.1 : 1e-5; });
    EXPECT_EQ(d->start[5], 1.0);
    EXPECT_EQ(d->end[5], 5.0);
    EXPECT_NEAR(d->t60[5], 60.0 * 4 * 256 / 48000 / 40, 1e-12);
}

TEST(EvaluateT60, ArithmeticFailureInTheFormulaGivesT60ZeroAndKeepsTheFrames) {
    Store st;
    st.Levels([](int32_t f) { return f < 420 ? WorkedLevel(f) : 0.0; }); // frame e sums to 0
    st.s.UpdateNoiseReference();
    st.Evaluate();
    for (int b = 0; b < 128; ++b) {
        EXPECT_EQ(st.t60[b], 0.0);
        EXPECT_EQ(st.start[b], 300.0);
        EXPECT_EQ(st.end[b], 420.0);
    }
    // A sampling rate of 0 cannot be set; a zero FFT size makes T60 0 (not -0).
    Store z;
    z.Levels(WorkedLevel);
    z.s.UpdateNoiseReference();
    EvaluateT60(z.s, 0, 256, 5, 30, z.t60, z.start, z.end);
    EXPECT_EQ(z.t60[3], 0.0);
    EXPECT_EQ(z.start[3], 300.0);
}

TEST(EvaluateT60, FailuresOfTheFirstStepsPropagateAndKeepTheEntries) {
    Store st;
    st.Levels(WorkedLevel);
    // No noise reference yet: NoiseSpecCount 0.
    st.t60.assign(3, 7.0);
    st.start.assign(3, 7.0);
    st.end.assign(3, 7.0);
    EXPECT_THROW(st.Evaluate(), EMathError);
    ASSERT_EQ(st.t60.size(), 128u); // sized at the start of the evaluation
    for (int b = 0; b < 3; ++b) EXPECT_EQ(st.t60[b] + st.start[b] + st.end[b], 21.0);
    for (int b = 3; b < 128; ++b) EXPECT_EQ(st.t60[b] + st.start[b] + st.end[b], 0.0);

    // A frame in the scan without spectra (the first cycle of a run).
    Store partial;
    for (int32_t f = 0; f < 450; ++f) partial.Level(f, WorkedLevel(f));
    partial.s.UpdateNoiseReference();
    EXPECT_THROW(partial.Evaluate(), EMathError);
    // WindowSize 0.
    Store w;
    w.Levels(WorkedLevel);
    w.s.UpdateNoiseReference();
    EXPECT_THROW(EvaluateT60(w.s, 256, 0, 5, 30, w.t60, w.start, w.end), EMathError);
}

TEST(EvaluateT60, MendedLevelDifferenceUsesTheFrameMeans) {
    // Equal counts (every frame twice): exactly the ratio of the sums.
    Store eq;
    eq.Levels(WorkedLevel, 2);
    eq.s.UpdateNoiseReference();
    eq.Evaluate();
    const double se = eq.s.SpecSum(420)[0], so = eq.s.SpecSum(300)[0];
    const double partT60 = FDiv(FDiv(60.0 * 120 * 256, 48000), -PowerToDecibels(se / so));
    for (int b = 0; b < 128; ++b) EXPECT_EQ(eq.t60[b], partT60);
    EXPECT_NEAR(eq.t60[0], kWorkedT60, 1e-12);

    // Unequal counts: frame o holds two spectra, frame e one. The sums would
    // give D = -34.01 dB (T60 1.1291 s); the means give the true -31 dB.
    Store ne;
    for (int32_t f = 0; f < 500; ++f) ne.Level(f, WorkedLevel(f), f == 300 ? 2 : 1);
    ne.s.UpdateNoiseReference();
    ne.Evaluate();
    const double sumBased =
        60.0 * 120 * 256 / 48000 / -PowerToDecibels(ne.s.SpecSum(420)[0] / ne.s.SpecSum(300)[0]);
    EXPECT_NEAR(sumBased, 1.1291, 5e-5);
    for (int b = 0; b < 128; ++b) {
        EXPECT_EQ(ne.start[b], 300.0);
        EXPECT_EQ(ne.end[b], 420.0);
        EXPECT_NEAR(ne.t60[b], kWorkedT60, 1e-12);
    }
}

TEST(EvaluateT60, NeverReadsOutsideTheStore) {
    // Scan start beyond the frames: WindowSize 16 makes Pos2 div WindowSize 3200.
    Store st;
    st.Levels(WorkedLevel);
    st.s.UpdateNoiseReference();
    EvaluateT60(st.s, 256, 16, 5, 30, st.t60, st.start, st.end);
    for (int b = 0; b < 128; ++b) EXPECT_EQ(st.t60[b] + st.start[b] + st.end[b], 0.0);
    // Pos2 = Pos3: no frame after the noise.
    Store end(500, 500);
    end.Levels([](int32_t) { return 1.0; });
    end.s.UpdateNoiseReference();
    end.Evaluate();
    for (int b = 0; b < 128; ++b) EXPECT_EQ(end.t60[b], 0.0);
    // No analysis yet: empty arrays, no failure.
    TFFT fft;
    TSpectrogram empty(fft);
    std::vector<double> a(5, 1.0), b(5, 1.0), c(5, 1.0);
    EvaluateT60(empty, 256, 256, 5, 30, a, b, c);
    EXPECT_TRUE(a.empty() && b.empty() && c.empty());
}

TEST(EvaluateT60, ArraysFollowTheNumberOfBins) {
    Store st;
    st.Levels(WorkedLevel);
    st.s.UpdateNoiseReference();
    st.t60.assign(1000, 5.0);
    st.start.assign(1000, 5.0);
    st.end.assign(1000, 5.0);
    st.Evaluate();
    EXPECT_EQ(st.t60.size(), 128u);
    EXPECT_EQ(st.start.size(), 128u);
    EXPECT_EQ(st.end.size(), 128u);
}

TEST(EvaluateT60, ExactExponentialDecayGivesItsT60) {
    // Every bin decays exponentially after the noise, with its own T60.
    Store st;
    auto t60Of = [](int b) { return 0.3 + 0.01 * b; };
    for (int32_t f = 0; f < 500; ++f) {
        std::vector<double> p(128);
        for (int b = 0; b < 128; ++b) {
            const double t = (f - 200 + 0.5) * 256.0 / 48000.0;
            p[b] = f < 200 ? 1.0 : std::pow(10.0, -6.0 * t / t60Of(b));
        }
        st.s.AddSpectrum(f, p);
    }
    st.s.UpdateNoiseReference();
    st.Evaluate();
    for (int b = 0; b < 128; ++b) {
        EXPECT_GT(st.end[b], st.start[b]);
        EXPECT_NEAR(st.t60[b], t60Of(b), 1e-9 * t60Of(b)) << "bin " << b;
    }
}

TEST(EvaluateT60, DecayingNoiseThroughAddSamples) {
    // Noise, then noise decaying by 60 dB in 0.5 s, recorded for 8 cycles and
    // analysed at the default settings (Hanning, FFT 256).
    TFFT fft;
    TSpectrogram s(fft);
    TSpectrogram::RunSettings r;
    r.PreNoise = 0.1;
    r.Noise = 0.5;
    r.PostNoise = 1.0;
    s.SetupRun(r);
    ASSERT_EQ(s.Pos1(), 4864);
    ASSERT_EQ(s.Pos2(), 28928);
    ASSERT_EQ(s.Pos3(), 77056);
    const double t60 = 0.5;
    std::mt19937 gen(2024);
    std::uniform_real_distribution<double> u(-10000.0, 10000.0);
    std::vector<int16_t> cycle(static_cast<size_t>(s.Pos3()));
    for (int c = 0; c < 8; ++c) {
        for (int32_t n = 0; n < s.Pos3(); ++n) {
            double v = 0.0;
            if (n >= s.Pos1()) v = u(gen);
            if (n >= s.Pos2()) v *= std::pow(10.0, -3.0 * (n - s.Pos2()) / 48000.0 / t60);
            cycle[static_cast<size_t>(n)] = static_cast<int16_t>(std::lround(v));
        }
        s.AddSamples(cycle);
    }
    s.UpdateNoiseReference();
    std::vector<double> values, start, end;
    EvaluateT60(s, fft.FFTSize(), fft.WindowSize(), 5, 30, values, start, end);
    std::vector<double> usable(values.begin() + 3, values.end() - 3);
    std::sort(usable.begin(), usable.end());
    const double median = usable[usable.size() / 2];
    EXPECT_NEAR(median, t60, 0.025);
    const auto close = std::count_if(usable.begin(), usable.end(),
                                     [&](double v) { return std::abs(v - t60) < 0.1 * t60; });
    EXPECT_GE(close, static_cast<long>(usable.size() * 9 / 10));
}
