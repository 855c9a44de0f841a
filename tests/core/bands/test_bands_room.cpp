// A full measurement through the simulated room: 20 cycles of the program's
// noise played through a room with known per-band T60, written as a recording,
// opened as the main window opens it, then evaluated per octave band, from
// the spectrogram and from band-filtered signals; the latter against the ISO
// 3382 values of the room's own impulse response.
#include "core/bands/band_decays.h"
#include "core/bands/band_evaluation.h"
#include "core/bands/band_uncertainty.h"
#include "core/measure/open_recording.h"
#include "core/views/t60_evaluation.h"
#include "room_recording.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace ravlon;

namespace {

// 44.1 kHz, Hanning, 50 Hz: FFT 2048, 21.5 Hz bins, 46 ms frames, so the
// 250 Hz octave holds 8 bins and a T20 range at 0.6 s still spans 4 frames.
// 2 s after the noise let every band reach the room's background.
test::RoomRecordingSetup RoomSetup() {
    test::RoomRecordingSetup setup;
    setup.Room = test::BandTestRoom();
    setup.Run.SampFreq = 44100;
    setup.Run.Window = 3;
    setup.Run.Bandwidth = 50;
    setup.Run.PreNoise = 0.25;
    setup.Run.Noise = 1.25;
    setup.Run.PostNoise = 2.0;
    setup.Cycles = 20;
    return setup;
}

// ISO 3382 values of an impulse response in one band: the band filter, the
// backward integral, each range fitted on 1 ms points from the start.
std::array<double, 3> ImpulseResponseDecay(std::vector<double> y, const TBand& band, int rate) {
    const TBandFilter f = TBandFilter::Design(band, rate);
    for (size_t s = 0; s < TBandFilter::Sections; ++s) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : y) {
            const double out = v - x2 - f.A1[s] * y1 - f.A2[s] * y2;
            x2 = std::exchange(x1, v);
            y2 = std::exchange(y1, out);
            v = out;
        }
    }
    std::vector<double> e(y.size() + 1), level;
    for (size_t i = y.size(); i-- > 0;) e[i] = e[i + 1] + y[i] * y[i];
    const int step = rate / 1000;
    for (size_t i = 0; i < y.size(); i += static_cast<size_t>(step))
        level.push_back(10 * std::log10(e[i] / e[0]));
    std::array<double, 3> t{};
    for (size_t i = 0; i < 3; ++i)
        t[i] = FitDecay(level, 0, double(step) / rate, std::array{EDTRange, T20Range, T30Range}[i],
                        TDecayFit::None)
                   .T;
    return t;
}

// How far n averaged decays may scatter by chance (ISO 3382-2's estimate
// without the room's own part: T20 0.88 T sqrt(1.9 / (n B T)), T30 0.55 T
// sqrt(1.52 / (n B T)); EDT, half T20's range, (20/10)^1.5 times T20's), three
// standard deviations of it, relative; never below floor.
std::array<double, 3> Tolerance(const TBand& band, double T, int n, double floor) {
    const double nbt = n * (band.Upper - band.Lower) * T;
    const double t20 = 0.88 * std::sqrt(1.9 / nbt);
    return {std::max(floor, 3 * 2.83 * t20), std::max(floor, 3 * t20),
            std::max(floor, 3 * 0.55 * std::sqrt(1.52 / nbt))};
}

void ExpectMatches(const std::vector<TBandResult>& bands, const std::vector<double>& ir, int rate,
                   int cycles, bool edtAndT20) {
    for (const TBandResult& r : bands) {
        const bool edge = r.Band.Nominal < 125 || r.Band.Nominal > 4000;
        if (!edtAndT20 && edge) continue;
        SCOPED_TRACE(r.Band.Nominal);
        const std::array<double, 3> ref = ImpulseResponseDecay(ir, r.Band, rate);
        const std::array<double, 3> tol = Tolerance(r.Band, ref[2], cycles, edge ? 0.10 : 0.05);
        const std::array<const TDecayFit*, 3> fits{&r.EDT, &r.T20, &r.T30};
        for (size_t i = edtAndT20 ? 0 : 2; i < 3; ++i) {
            EXPECT_TRUE(fits[i]->Valid()) << i << " " << FitProblemText(fits[i]->Problems);
            EXPECT_NEAR(fits[i]->T, ref[i], tol[i] * ref[i]) << i;
        }
    }
}

} // namespace

TEST(BandsThroughRoom, FilteredDecaysMatchTheImpulseResponseFromShortToLongRooms) {
    struct Case {
        double t60, noise, post;
    };
    for (const Case c : {Case{0.3, 0.5, 0.4}, Case{0.8, 0.8, 0.9}, Case{2.0, 1.0, 1.8}}) {
        SCOPED_TRACE(c.t60);
        test::RoomRecordingSetup setup;
        setup.Room = RoomConfig::parse("t60=" + std::to_string(c.t60) +
                                       ",noise=-70,latency=10,gain=-10,seed=7,pace=fast");
        setup.Run.SampFreq = 44100;
        setup.Run.PreNoise = 0.1;
        setup.Run.Noise = c.noise;
        setup.Run.PostNoise = c.post;
        const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
        const TBandDecayResult r = EvaluateSampleBands(test::RoomRecordingSamples(setup), 44100,
                                                       plan.Pos1, plan.Pos2, plan.Pos3, {});
        ASSERT_EQ(r.Cycles, 20);
        ExpectMatches(r.Bands, SynthesizeRoomImpulse(setup.Room, 44100), 44100, 20, true);
    }
}

TEST(BandsThroughRoom, OctaveT20T30AndPerBinMedianMatchTheRoom) {
    const test::RoomRecordingSetup setup = RoomSetup();
    test::TempFile file("bands-room");
    ASSERT_TRUE(test::WriteRoomRecording(file.name, setup));

    TSMPfile rec;
    ASSERT_TRUE(rec.open_file(file.name, true));
    TFFT fft;
    TSpectrogram store(fft);
    const ReanalysisResult done =
        OpenRecordingAnalysis(rec, store, setup.Run.Window, setup.Run.Bandwidth);
    // The same file through the band filters: T30 from 125 Hz to 4 kHz.
    const TBandDecayResult filtered = EvaluateRecordingBands(rec, {});
    EXPECT_EQ(filtered.Cycles, 20);
    ExpectMatches(filtered.Bands, SynthesizeRoomImpulse(setup.Room, 44100), 44100, 20, false);
    rec.close_file();
    ASSERT_EQ(done.Cycles, 20);
    ASSERT_EQ(store.BlockSize(), 2048);
    std::vector<double> t60, start, end;
    EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), 5, 30, t60, start, end);
    const std::vector<TBandResult> bands = EvaluateBands(store, TBandSet::Octave, t60);
    ASSERT_EQ(bands.size(), 8u);
    for (const TBandResult& r : bands) {
        if (r.Band.Nominal < 250) continue;
        const double room = setup.Room.t60At(r.Band.Nominal);
        const double tol = r.Band.Nominal == 250 ? 0.10 : 0.05;
        SCOPED_TRACE(r.Band.Nominal);
        if (r.Band.Nominal <= 4000) {
            EXPECT_TRUE(r.T20.Valid()) << FitProblemText(r.T20.Problems);
            EXPECT_TRUE(r.T30.Valid()) << FitProblemText(r.T30.Problems);
            EXPECT_NEAR(r.T20.T, room, tol * room);
            EXPECT_NEAR(r.T30.T, room, tol * room);
            EXPECT_LT(std::abs(r.C), 10.0);
            EXPECT_LT(r.T30.Xi, 10.0);
        }
        // The background of the room (-70 dBFS) lies far below every range.
        EXPECT_LT(r.Background, -45.0);
        EXPECT_NEAR(r.T60Median, room, 0.15 * room);
        EXPECT_GE(r.T60Count, r.Bins.Count() / 2);
    }
}

// Not a check: the figure of docs/bands.md ("How many cycles"). The observed
// spread of T30 per octave over 10 seeds of the simulated room against ISO
// 3382-2's sigma for 20 decays at one position. Run it by hand with
//   ravlon_core_tests --gtest_also_run_disabled_tests --gtest_filter='*SpreadOverSeeds'
TEST(BandsThroughRoom, DISABLED_SpreadOverSeeds) {
    test::RoomRecordingSetup setup = RoomSetup();
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
    std::vector<std::vector<double>> t30; // per band, per seed
    std::vector<TBand> bands;
    for (int seed = 1; seed <= 10; ++seed) {
        setup.Room.seed = static_cast<uint32_t>(seed);
        const TBandDecayResult r = EvaluateSampleBands(test::RoomRecordingSamples(setup), 44100,
                                                       plan.Pos1, plan.Pos2, plan.Pos3, {});
        t30.resize(r.Bands.size());
        bands.clear();
        for (size_t b = 0; b < r.Bands.size(); ++b) {
            t30[b].push_back(r.Bands[b].T30.T);
            bands.push_back(r.Bands[b].Band);
        }
    }
    std::printf("| band | mean T30 | observed s | ISO sigma (n = 20) | averaging part |\n");
    for (size_t b = 0; b < bands.size(); ++b) {
        double mean = 0, ss = 0;
        for (double t : t30[b]) mean += t / double(t30[b].size());
        for (double t : t30[b]) ss += (t - mean) * (t - mean);
        const double s = std::sqrt(ss / double(t30[b].size() - 1));
        const double bw = UncertaintyBandwidth(TBandSet::Octave, bands[b].Centre);
        std::printf("| %g Hz | %.3f s | %.3f s (%.1f %%) | %.3f s (%.1f %%) | %.3f s (%.1f %%) |\n",
                    bands[b].Nominal, mean, s, 100 * s / mean,
                    ReverberationSigma(TSigmaRange::T30, mean, 20, 1, bw),
                    100 * ReverberationSigma(TSigmaRange::T30, mean, 20, 1, bw) / mean,
                    AveragingSigma(TSigmaRange::T30, mean, 20, 1, bw),
                    100 * AveragingSigma(TSigmaRange::T30, mean, 20, 1, bw) / mean);
    }
}
