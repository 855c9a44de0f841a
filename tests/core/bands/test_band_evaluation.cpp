// Band evaluation on stores built spectrum by spectrum: the band tables and
// their bins, the regression on exact decays, the validity rules, the per-bin
// median; and the opened-recording set-up against the main window's steps.
#include "core/bands/band_evaluation.h"
#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "room_recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace ravlon;

namespace {

// A 48 kHz store, FFT 256 (Hanning, 500 Hz), noise from 0.5 s to 1.5 s, cycle
// 3 s: Pos1 = 24064, Pos2 = 72192, 563 frames of 128 bins.
struct Store {
    TFFT fft;
    TSpectrogram s{fft};
    explicit Store(int32_t sampFreq = 48000, double bandwidth = 500) {
        TSpectrogram::RunSettings r;
        r.SampFreq = sampFreq;
        r.Bandwidth = bandwidth;
        r.PreNoise = 0.5;
        r.Noise = 1.0;
        r.PostNoise = 1.5;
        s.SetupRun(r);
    }
    double FrameSeconds() const { return double(s.BlockSize()) / s.SampFreq(); }
    int32_t DecayStart() const { return s.Pos2() / s.BlockSize(); }
    // Fills every frame once: every bin gets the power of `level` dB re 1,
    // a function of the time since the noise stopped (t < 0 during the noise);
    // before the noise the power is 1e-20.
    void Fill(const std::function<double(double)>& level) {
        std::vector<double> p(static_cast<size_t>(s.Bins()));
        for (int32_t f = 0; f < s.Frames(); ++f) {
            double v = 1e-20;
            if (f * s.BlockSize() >= s.Pos1())
                v = std::pow(10.0, level((f - DecayStart()) * FrameSeconds()) / 10.0);
            std::fill(p.begin(), p.end(), v);
            s.AddSpectrum(f, p);
        }
    }
};

const TBand& Octave(const std::vector<TBand>& bands, double nominal) {
    for (const TBand& b : bands)
        if (b.Nominal == nominal) return b;
    throw Exception("no band");
}

// An exponential decay of reverberation time T: -60 t / T dB after the noise.
std::function<double(double)> Exponential(double T, double floorDb = -200) {
    return [=](double t) {
        const double decay = t <= 0 ? 0.0 : -60.0 * t / T;
        return 10 * std::log10(std::pow(10.0, decay / 10) + std::pow(10.0, floorDb / 10));
    };
}

} // namespace

TEST(BandTables, NominalCentresAndBase10Edges) {
    const std::vector<TBand> oct = StandardBands(TBandSet::Octave);
    const std::vector<TBand> third = StandardBands(TBandSet::ThirdOctave);
    ASSERT_EQ(oct.size(), 8u);
    ASSERT_EQ(third.size(), 24u);
    const double nominalOct[] = {63, 125, 250, 500, 1000, 2000, 4000, 8000};
    for (size_t i = 0; i < oct.size(); ++i) EXPECT_EQ(oct[i].Nominal, nominalOct[i]);
    EXPECT_EQ(third.front().Nominal, 50);
    EXPECT_EQ(third[11].Nominal, 630);
    EXPECT_EQ(third.back().Nominal, 10000);

    const TBand& k1 = Octave(oct, 1000);
    EXPECT_DOUBLE_EQ(k1.Centre, 1000);
    EXPECT_NEAR(k1.Lower, 707.946, 1e-3);
    EXPECT_NEAR(k1.Upper, 1412.538, 1e-3);
    EXPECT_NEAR(Octave(oct, 63).Centre, 63.0957, 1e-4);
    EXPECT_NEAR(Octave(oct, 8000).Centre, 7943.28, 1e-2);
    EXPECT_NEAR(Octave(oct, 8000).Upper, 11220.18, 1e-2);
    EXPECT_NEAR(Octave(third, 1000).Lower, 891.251, 1e-3);
    EXPECT_NEAR(Octave(third, 1000).Upper, 1122.018, 1e-3);
    EXPECT_NEAR(Octave(third, 50).Lower, 44.668, 1e-3);
    // Adjacent bands share their edges; an octave spans its three thirds.
    for (size_t i = 1; i < third.size(); ++i)
        EXPECT_NEAR(third[i].Lower, third[i - 1].Upper, 1e-9 * third[i].Lower);
    EXPECT_NEAR(Octave(oct, 500).Lower, Octave(third, 400).Lower, 1e-9);
    EXPECT_NEAR(Octave(oct, 500).Upper, Octave(third, 630).Upper, 1e-9);
}

TEST(BandTables, BandsWithinHalfTheSamplingRate) {
    EXPECT_EQ(BandsWithin(TBandSet::Octave, 48000).size(), 8u);
    EXPECT_EQ(BandsWithin(TBandSet::Octave, 44100).size(), 8u);
    EXPECT_EQ(BandsWithin(TBandSet::ThirdOctave, 48000).size(), 24u);
    EXPECT_EQ(BandsWithin(TBandSet::ThirdOctave, 44100).size(), 24u);
    // 22050 Hz: the 8 kHz octave and the 10 kHz third reach above 11025 Hz.
    EXPECT_EQ(BandsWithin(TBandSet::Octave, 22050).size(), 7u);
    EXPECT_EQ(BandsWithin(TBandSet::ThirdOctave, 22050).size(), 23u);
    // 8000 Hz: up to the 2 kHz octave (upper edge 2818 Hz) and the 3150 Hz third.
    EXPECT_EQ(BandsWithin(TBandSet::Octave, 8000).back().Nominal, 2000);
    EXPECT_EQ(BandsWithin(TBandSet::ThirdOctave, 8000).back().Nominal, 3150);
    EXPECT_TRUE(BandsWithin(TBandSet::Octave, 100).empty());
}

TEST(BandTables, BinsAt48And441Kilohertz) {
    const std::vector<TBand> oct = StandardBands(TBandSet::Octave);
    // 48 kHz, FFT 256: 187.5 Hz per bin; 1 kHz octave 707.9 .. 1412.5 Hz.
    TBinRange r = BandBins(Octave(oct, 1000), 48000, 256);
    EXPECT_EQ(r.First, 4);
    EXPECT_EQ(r.End, 8);
    r = BandBins(Octave(oct, 8000), 48000, 256); // 5623.4 .. 11220.2 Hz
    EXPECT_EQ(r.First, 30);
    EXPECT_EQ(r.End, 60);
    EXPECT_EQ(BandBins(Octave(oct, 63), 48000, 256).Count(), 0);
    // 44.1 kHz, FFT 256: 172.27 Hz per bin.
    r = BandBins(Octave(oct, 1000), 44100, 256);
    EXPECT_EQ(r.First, 5);
    EXPECT_EQ(r.End, 9);
    // 44.1 kHz, FFT 2048: 21.53 Hz per bin; 250 Hz octave 177.8 .. 355.0 Hz.
    r = BandBins(Octave(oct, 250), 44100, 2048);
    EXPECT_EQ(r.First, 9);
    EXPECT_EQ(r.End, 17);
    // A bin exactly on an edge belongs to the band above it only.
    TBand edge{0, 0, 750.0, 1125.0};
    r = BandBins(edge, 48000, 256);
    EXPECT_EQ(r.First, 4);
    EXPECT_EQ(r.End, 6);
    // Bands above the last bin, and the largest FFT, stay inside the store.
    TBand high{0, 0, 30000, 40000};
    EXPECT_EQ(BandBins(high, 48000, 256).Count(), 0);
    EXPECT_EQ(BandBins(high, 48000, 256).First, 128);
    EXPECT_EQ(BandBins(Octave(oct, 8000), 1, 1 << 20).Count(), 0);
    EXPECT_EQ(BandBins(Octave(oct, 63), 48000, 1 << 20).Count(), 971);
}

TEST(BandFit, ExactExponentialGivesTheExactReverberationTime) {
    for (double T : {0.37, 0.8, 1.2}) {
        Store st;
        st.Fill(Exponential(T));
        const TBandResult r = EvaluateBand(st.s, Octave(StandardBands(TBandSet::Octave), 2000), {});
        SCOPED_TRACE(T);
        EXPECT_EQ(r.Bins.Count(), 8);                            // 1500 .. 2812.5 Hz
        EXPECT_NEAR(r.SteadyLevel, PowerToDecibels(8.0), 1e-12); // eight bins of power 1
        for (const TDecayFit* f : {&r.EDT, &r.T20, &r.T30}) {
            EXPECT_TRUE(f->Valid()) << FitProblemText(f->Problems);
            EXPECT_NEAR(f->T, T, 1e-6 * T);
            EXPECT_NEAR(f->R, -1.0, 1e-9);
            EXPECT_NEAR(f->Xi, 0.0, 1e-6);
        }
        EXPECT_NEAR(r.C, 0.0, 1e-4);
        EXPECT_TRUE(r.CValid);
        // EDT starts where the noise stops (0 dB), T20 and T30 at -5 dB.
        EXPECT_EQ(r.EDT.FirstFrame, st.DecayStart());
        EXPECT_EQ(r.T20.FirstFrame, st.DecayStart() + CeilInt(5.0 / 60 * T / st.FrameSeconds()));
        EXPECT_EQ(r.T30.LastFrame, st.DecayStart() + FloorInt(35.0 / 60 * T / st.FrameSeconds()));
        EXPECT_EQ(r.ReverberationTime(), r.T30.T);
    }
}

TEST(BandFit, StraightLinesKeepRWithinOneAndXiNonNegative) {
    // Rounding puts the correlation of these exact lines a hair beyond -1.
    const struct {
        double slope, frame;
        int frames;
    } lines[] = {{-184.92857039095296, 0.032, 10},
                 {-61.95520104636307, 0.023219954648526078, 18},
                 {-153.8715179527757, 0.016, 29}};
    for (const auto& line : lines) {
        std::vector<double> levels;
        for (int f = 0; f <= line.frames; ++f) levels.push_back(line.slope * f * line.frame);
        const double lower = (levels[line.frames - 1] + levels[line.frames]) / 2;
        const TDecayFit fit = FitDecay(levels, 0, line.frame, {0.0, lower}, TDecayFit::None);
        ASSERT_EQ(fit.LastFrame, line.frames - 1);
        EXPECT_GE(fit.R, -1.0) << line.slope;
        EXPECT_GE(fit.Xi, 0.0) << line.slope;
    }
}

TEST(BandFit, TwoSlopeDecayShowsCurvature) {
    Store st;
    // 0.5 s down to -15 dB, then 1.5 s: T30 sees more of the slow part than T20.
    st.Fill([](double t) {
        if (t <= 0) return 0.0;
        const double knee = 15.0 / 60 * 0.5;
        return t < knee ? -60 * t / 0.5 : -15 - 60 * (t - knee) / 1.5;
    });
    const TBandResult r = EvaluateBand(st.s, Octave(StandardBands(TBandSet::Octave), 1000), {});
    ASSERT_TRUE(r.T20.Valid());
    ASSERT_TRUE(r.T30.Valid());
    EXPECT_GT(r.C, 10.0);
    EXPECT_TRUE(r.CValid);
    EXPECT_GT(r.T30.Xi, 10.0); // clearly not one straight line
    EXPECT_LT(r.EDT.T, r.T20.T);
}

TEST(BandFit, BackgroundJustBelowT30RangeInvalidatesT30Only) {
    Store st;
    st.Fill(Exponential(0.6, -40.0)); // background 5 dB below the end of T30
    const TBandResult r = EvaluateBand(st.s, Octave(StandardBands(TBandSet::Octave), 4000), {});
    EXPECT_NEAR(r.Background, -40.0, 0.01);
    EXPECT_TRUE(r.T30.HasValue());
    EXPECT_FALSE(r.T30.Valid());
    EXPECT_EQ(r.T30.Problems, fpBackground);
    EXPECT_TRUE(r.T20.Valid()) << FitProblemText(r.T20.Problems);
    EXPECT_TRUE(r.EDT.Valid());
    EXPECT_FALSE(r.CValid);
    EXPECT_EQ(r.ReverberationTime(), r.T20.T);

    // 10 dB below the end of the range is enough.
    Store ok;
    ok.Fill(Exponential(0.6, -45.5));
    EXPECT_TRUE(EvaluateBand(ok.s, Octave(StandardBands(TBandSet::Octave), 4000), {}).T30.Valid());
}

TEST(BandFit, DecayThatNeverReachesTheRangeEndHasNoValue) {
    Store st;
    st.Fill(Exponential(0.6, -30.0));
    const TBandResult r = EvaluateBand(st.s, Octave(StandardBands(TBandSet::Octave), 4000), {});
    EXPECT_FALSE(r.T30.HasValue());
    EXPECT_TRUE(r.T30.Problems & fpNotReached);
    EXPECT_EQ(r.T30.FirstFrame, -1);
    EXPECT_TRUE(r.T20.HasValue());
    EXPECT_EQ(r.T20.Problems, fpBackground);
    EXPECT_TRUE(std::isnan(r.C));
    EXPECT_TRUE(std::isnan(r.ReverberationTime()));
}

TEST(BandFit, FewBinsAndShortDecaysAreMarked) {
    // 48 kHz, FFT 1024: the 125 Hz octave holds bins 2 and 3 only.
    Store two(48000, 100);
    ASSERT_EQ(two.s.BlockSize(), 1024);
    two.Fill(Exponential(1.0));
    TBandResult r = EvaluateBand(two.s, Octave(StandardBands(TBandSet::Octave), 125), {});
    EXPECT_EQ(r.Bins.Count(), 2);
    EXPECT_NEAR(r.T30.T, 1.0, 1e-6);
    EXPECT_EQ(r.T30.Problems, fpFewBins);
    EXPECT_EQ(r.EDT.Problems, fpFewBins);

    // 0.05 s with 5.3 ms frames: 6.4 dB per frame, so the T20 range holds
    // 3 frames, the EDT range 2 and the T30 range 5.
    Store fast;
    fast.Fill(Exponential(0.05));
    r = EvaluateBand(fast.s, Octave(StandardBands(TBandSet::Octave), 1000), {});
    EXPECT_TRUE(r.T20.Problems & fpFewFrames);
    EXPECT_TRUE(r.EDT.Problems & fpFewFrames);
    EXPECT_TRUE(r.T30.Valid());
    EXPECT_NEAR(r.T30.T, 0.05, 1e-9);
    EXPECT_NEAR(r.T20.T, 0.05, 1e-9); // computed all the same

    // No bins at all: no level, nothing to fit.
    r = EvaluateBand(fast.s, Octave(StandardBands(TBandSet::Octave), 63), {});
    EXPECT_EQ(r.Bins.Count(), 0);
    EXPECT_TRUE(r.T20.Problems & fpNoSteadyLevel);
    EXPECT_TRUE(r.T20.Problems & fpFewBins);
    EXPECT_FALSE(r.T20.HasValue());
}

TEST(BandFit, RangeEndsAtTheFirstCrossingOfTheLowerLimit) {
    // -26 dB crosses the T20 end; the later -24 dB must not extend the range.
    const std::vector<double> levels{0, 0, -3, -6, -10, -14, -18, -22, -26, -24, -30, -40};
    const TDecayFit f = FitDecay(levels, 2, 0.01, T20Range, -60);
    EXPECT_EQ(f.FirstFrame, 3);
    EXPECT_EQ(f.LastFrame, 7);
    EXPECT_TRUE(f.Valid());
    EXPECT_NEAR(f.Slope, -400.0, 1e-9);
    EXPECT_NEAR(f.T, 0.15, 1e-12);
    // The search starts at the given frame, not before.
    const TDecayFit late = FitDecay(levels, 9, 0.01, T20Range, -60);
    EXPECT_EQ(late.FirstFrame, 9);
    EXPECT_TRUE(late.Problems & fpFewFrames);
    // Rising or flat "decays" and empty curves give no value.
    const std::vector<double> flat{-10, -10, -10, -10, -30};
    const TDecayFit n = FitDecay(flat, 0, 0.01, T20Range, -60);
    EXPECT_TRUE(n.Problems & fpNotDecaying);
    EXPECT_FALSE(n.HasValue());
    EXPECT_TRUE(FitDecay({}, 0, 0.01, T20Range, -60).Problems & fpNotReached);
    EXPECT_TRUE(FitDecay(levels, 100, 0.01, T20Range, -60).Problems & fpNotReached);
    EXPECT_EQ(FitProblemText(fpBackground | fpFewFrames), "few-frames+background");
    EXPECT_EQ(FitProblemText(fpNone), "");
}

TEST(BandFit, PerBinMedianSkipsBinsWithoutValue) {
    Store st;
    st.Fill(Exponential(0.5));
    const TBand k1 = Octave(StandardBands(TBandSet::Octave), 1000); // bins 4 .. 7
    std::vector<double> t60(128, 9.0);
    t60[4] = 0;
    t60[5] = 1.0;
    t60[6] = 4.0;
    t60[7] = 2.0;
    TBandResult r = EvaluateBand(st.s, k1, t60);
    EXPECT_EQ(r.T60Count, 3);
    EXPECT_EQ(r.T60Median, 2.0);
    t60[4] = 1.5;
    r = EvaluateBand(st.s, k1, t60);
    EXPECT_EQ(r.T60Count, 4);
    EXPECT_EQ(r.T60Median, 1.75);
    // A short array counts as without values beyond its end.
    r = EvaluateBand(st.s, k1, std::span<const double>(t60).first(6));
    EXPECT_EQ(r.T60Count, 2);
    EXPECT_EQ(r.T60Median, 1.25);
    r = EvaluateBand(st.s, k1, {});
    EXPECT_EQ(r.T60Count, 0);
    EXPECT_TRUE(std::isnan(r.T60Median));
}

TEST(BandFit, StoreWithoutCompleteCycleIsRefused) {
    Store st;
    std::vector<double> p(128, 1.0);
    st.s.AddSpectrum(0, p);
    EXPECT_THROW(EvaluateBands(st.s, TBandSet::Octave, {}), ESpectrogramError);
}

TEST(OpenRecordingAnalysis, EqualsTheMainWindowStepsWithOneNoiseUpdatePerCycle) {
    test::TempFile file("openrec");
    test::RoomRecordingSetup setup;
    setup.Room = test::BandTestRoom();
    setup.Run.SampFreq = 8000;
    setup.Run.Bandwidth = 250;
    setup.Run.PreNoise = 0.1;
    setup.Run.Noise = 0.3;
    setup.Run.PostNoise = 0.5;
    setup.Cycles = 3;
    ASSERT_TRUE(test::WriteRoomRecording(file.name, setup));

    // The main window's order of steps, by hand.
    TFFT fftA;
    TSpectrogram a(fftA);
    TSMPfile fa;
    ASSERT_TRUE(fa.open_file(file.name, true));
    a.SetSampFreq(Round(fa.channel_rate(0)));
    a.SetupWindow(3);
    const int32_t p1 = StrToInt(fa.get_item("pos1"));
    const int32_t p2 = StrToInt(fa.get_item("pos2"));
    const int32_t p3 = StrToInt(fa.get_item("pos3"));
    a.SetupFFTSize();
    a.SetupWindowSize(250);
    a.SetPositions(p1, p2, p3);
    a.ClearStore();
    a.ResetCounters();
    a.RequestRepaint();
    ReanalyseRecording(
        fa, a,
        [&](const TSMPBlock& b, bool analyse) {
            if (analyse) a.AddSamples(b.Samples, b.Count);
        },
        [&] { a.UpdateNoiseReference(); });

    TFFT fftB;
    TSpectrogram b(fftB);
    TSMPfile fb;
    ASSERT_TRUE(fb.open_file(file.name, true));
    int positionsSeen = 0, cycleEnds = 0;
    TOpenRecordingSteps steps;
    steps.Bandwidth = [] { return 250.0; };
    steps.OnPositions = [&] {
        ++positionsSeen;
        EXPECT_EQ(b.Pos3(), p3);
        EXPECT_EQ(b.Frames(), 0); // not yet cleared
    };
    steps.OnCycleEnd = [&] {
        ++cycleEnds;
        b.UpdateNoiseReference();
    };
    const ReanalysisResult done = OpenRecordingAnalysis(fb, b, 3, steps);
    EXPECT_EQ(done.Cycles, 3);
    EXPECT_EQ(positionsSeen, 1);
    EXPECT_EQ(cycleEnds, 3);

    ASSERT_EQ(a.Frames(), b.Frames());
    EXPECT_TRUE(
        std::equal(a.SpecSumData().begin(), a.SpecSumData().end(), b.SpecSumData().begin()));
    EXPECT_EQ(a.SpecCount(), b.SpecCount());
    EXPECT_EQ(a.NoiseSpecSum(), b.NoiseSpecSum());
    // One update after each of the 3 cycles: frames Pos1 div N .. Pos2 div N
    // counted 1 + 2 + 3 times.
    const int64_t noiseFrames = p2 / b.BlockSize() - p1 / b.BlockSize() + 1;
    EXPECT_EQ(b.NoiseSpecCount(), 6 * noiseFrames);
    EXPECT_EQ(a.NoiseSpecCount(), b.NoiseSpecCount());
    EXPECT_EQ(b.RepaintRequests(), 1u + 3u); // set-up + one per cycle

    // The two-argument form is the same with the default hooks.
    TFFT fftC;
    TSpectrogram c(fftC);
    TSMPfile fc;
    ASSERT_TRUE(fc.open_file(file.name, true));
    OpenRecordingAnalysis(fc, c, 3, 250.0);
    EXPECT_EQ(c.NoiseSpecSum(), b.NoiseSpecSum());
    EXPECT_EQ(c.NoiseSpecCount(), b.NoiseSpecCount());
}
