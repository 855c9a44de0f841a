// Band decays from band-filtered signals: the filters against the IEC 61260-1
// class 1 limits and inside the vector bank, exact exponential decays in every
// band, the live accumulation in any chunks against whole recordings and files
// in both filter directions, and the set-ups that are refused.
#include "core/bands/band_decays.h"
#include "core/base/errors.h"
#include "room_recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <tuple>

using namespace ravlon;

namespace {

double Attenuation(const TBandFilter& f, double hz, int32_t rate) {
    return -20.0 * std::log10(f.Magnitude(hz, rate));
}

// A recording whose cycle average decays exactly by 60 dB in T in every band:
// one tone at each mid-band frequency, on from pos1, decaying from pos2, all
// delayed by latency samples as a sound card and the air delay them. In 8
// cycles the tones' phases step by 45, 90 and 135 degrees per cycle, in turn
// from band to band, so that in the average over the cycles the squared
// tones and the products of tones up to two bands apart cancel: each band
// keeps its own tone's exponential.
struct ToneRecording {
    int32_t Pos1, Pos2, Pos3;
    std::vector<int16_t> Samples;
    ToneRecording(const std::vector<TBand>& bands, int32_t rate, double pre, double noise, double T,
                  int32_t latency)
        : Pos1(static_cast<int32_t>(pre * rate)), Pos2(Pos1 + static_cast<int32_t>(noise * rate)),
          Pos3(Pos2 + static_cast<int32_t>(1.3 * T * rate)) {
        const double amplitude = 30000.0 / static_cast<double>(bands.size());
        const double fall = std::pow(10.0, -3.0 / (T * rate)); // amplitude per sample
        std::vector<std::complex<double>> z(bands.size()), step(bands.size());
        for (size_t i = 0; i < bands.size(); ++i)
            step[i] = std::polar(1.0, 2 * std::numbers::pi * bands[i].Centre / rate);
        for (int c = 0; c < 8; ++c) {
            for (size_t i = 0; i < bands.size(); ++i)
                z[i] = std::polar(amplitude, 0.3 * i + std::numbers::pi * c * (1 + i % 3) / 4);
            double envelope = 1;
            for (int32_t n = 0; n < Pos3; ++n) {
                double v = 0;
                for (size_t i = 0; i < bands.size(); ++i) {
                    v += z[i].real();
                    z[i] *= step[i];
                }
                const int32_t t = n - latency;
                if (t >= Pos2) envelope *= fall;
                Samples.push_back(t < Pos1 ? 0 : static_cast<int16_t>(std::lround(v * envelope)));
            }
        }
    }
};

void ExpectWithin(const TBandDecayResult& r, double T, double tolerance) {
    for (const TBandResult& b : r.Bands) {
        if (b.Band.Nominal < 63 || b.Band.Nominal > 8000) continue;
        SCOPED_TRACE(b.Band.Nominal);
        for (const TDecayFit* f : {&b.EDT, &b.T20, &b.T30}) {
            EXPECT_TRUE(f->Valid()) << FitProblemText(f->Problems);
            EXPECT_NEAR(f->T, T, tolerance * T);
        }
    }
}

// tolerance 0: bit for bit; else in dB (chunks that split a 1 ms bin round
// its sum differently).
void ExpectSame(const TBandDecayResult& a, const TBandDecayResult& b, double tolerance = 0) {
    ASSERT_EQ(a.Bands.size(), b.Bands.size());
    EXPECT_EQ(a.Cycles, b.Cycles);
    for (size_t i = 0; i < a.Bands.size(); ++i) {
        const std::vector<double>&x = a.Bands[i].Decay.Level, &y = b.Bands[i].Decay.Level;
        ASSERT_EQ(x.size(), y.size());
        for (size_t k = 0; k < x.size(); ++k)
            if (x[k] != y[k]) {
                ASSERT_NEAR(x[k], y[k], tolerance) << i << " " << k;
            }
        EXPECT_NEAR(a.Bands[i].T20.T, b.Bands[i].T20.T, tolerance);
    }
}

} // namespace

TEST(BandFilter, MeetsTheClass1LimitsAtTheEdgesAndOneOctaveAway) {
    const double G = std::pow(10.0, 0.3); // one octave, base 10
    for (int32_t rate : {44100, 48000})
        for (TBandSet set : {TBandSet::Octave, TBandSet::ThirdOctave}) {
            // For a third, one octave away lies beyond the breakpoint that stands
            // for an octave filter's G^2 (1.88 f_m): at least 40.5 dB from there on.
            const double away = set == TBandSet::Octave ? 16.6 : 40.5;
            for (const TBand& band : BandsWithin(set, rate)) {
                SCOPED_TRACE(band.Nominal);
                const TBandFilter f = TBandFilter::Design(band, rate);
                EXPECT_NEAR(Attenuation(f, band.Centre, rate), 0.0, 1e-9); // limit +-0.4
                for (double edge : {band.Lower, band.Upper}) {
                    EXPECT_NEAR(Attenuation(f, edge, rate), 3.0103, 1e-4); // the designed -3 dB
                    EXPECT_GE(Attenuation(f, edge, rate), 1.2);
                    EXPECT_LE(Attenuation(f, edge, rate), 5.3);
                }
                EXPECT_GE(Attenuation(f, band.Centre / G, rate), away);
                if (band.Centre * G < rate / 2.0) {
                    EXPECT_GE(Attenuation(f, band.Centre * G, rate), away);
                }
            }
        }
    const TBand eightK = StandardBands(TBandSet::Octave).back();
    EXPECT_THROW(TBandFilter::Design(eightK, 22050), EBandDecayError); // upper edge 11220 Hz
}

TEST(BandFilter, BankPassesASineAsEachFilterPrescribes) {
    struct Restore {
        ~Restore() { detail::ForceBaselineBandKernel(false); }
    } restore;
    // Thirds at 48 kHz fill six groups of four lanes; octaves at 22050 Hz
    // leave one lane of the second group empty. Both kernels.
    for (bool baseline : {false, true})
        for (auto [set, rate] :
             {std::pair{TBandSet::ThirdOctave, 48000}, {TBandSet::Octave, 22050}}) {
            detail::ForceBaselineBandKernel(baseline);
            std::vector<TBandFilter> filters;
            for (const TBand& band : BandsWithin(set, rate))
                filters.push_back(TBandFilter::Design(band, rate));
            TBandFilterBank bank;
            bank.Setup(filters);
            const double hz = rate / 50.0; // 50 samples a period: 1 s holds whole periods
            std::vector<double> x(static_cast<size_t>(rate));
            for (size_t i = 0; i < x.size(); ++i)
                x[i] = std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate);
            const TBandRun settle{rate, nullptr};
            bank.Run(x.data(), rate, {&settle, 1});
            std::vector<double> row(static_cast<size_t>(bank.Stride()));
            std::vector<TBandRun> runs(static_cast<size_t>(rate / 40), TBandRun{40, row.data()});
            bank.Run(x.data(), rate, runs);
            for (size_t b = 0; b < filters.size(); ++b) {
                const double gain = filters[b].Magnitude(hz, rate);
                if (gain < 1e-4) continue; // below -80 dB the ringing of the start dominates
                EXPECT_NEAR(row[b] / rate, gain * gain / 2, 1e-3 * gain * gain) << b << baseline;
            }
        }
}

TEST(BandDecays, ExactExponentialDecaysGiveTheirReverberationTimeInEveryBand) {
    for (int32_t rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        const auto latency = static_cast<int32_t>(0.015 * rate);
        // Forward filtering: exact where the filter decays much faster than the
        // room (63 Hz octave: 0.13 s against 2 s).
        const std::vector<TBand> octaves = BandsWithin(TBandSet::Octave, rate);
        const ToneRecording slow(octaves, rate, 0.1, 0.5, 2.0, latency);
        TBandDecayOptions o;
        ExpectWithin(EvaluateSampleBands(slow.Samples, rate, slow.Pos1, slow.Pos2, slow.Pos3, o),
                     2.0, 0.01);
        // Reversed filtering: exact in every band of either set at 0.5 s.
        o.Direction = TFilterDirection::Reversed;
        for (TBandSet set : {TBandSet::Octave, TBandSet::ThirdOctave}) {
            o.Set = set;
            const ToneRecording fast(BandsWithin(set, rate), rate, 0.5, 0.5, 0.5, latency);
            const TBandDecayResult r =
                EvaluateSampleBands(fast.Samples, rate, fast.Pos1, fast.Pos2, fast.Pos3, o);
            ExpectWithin(r, 0.5, 0.01);
            if (set == TBandSet::Octave) continue;
            // The forward filter of the 63 Hz third (its own decay 0.3 s)
            // lengthens EDT by over 10 %; T30, 5 dB down, stays right.
            o.Direction = TFilterDirection::Forward;
            const TBandDecayResult f =
                EvaluateSampleBands(fast.Samples, rate, fast.Pos1, fast.Pos2, fast.Pos3, o);
            EXPECT_GT(f.Bands[1].EDT.T, 0.55);
            EXPECT_NEAR(f.Bands[1].T30.T, 0.5, 0.01);
            // The curve: 1 ms steps, each fit line on it.
            const TBandResult& k1 = r.Bands[13];
            ASSERT_EQ(k1.Band.Nominal, 1000);
            EXPECT_EQ(k1.Decay.Step, 0.001);
            for (const TDecayFit* fit : {&k1.EDT, &k1.T30}) {
                const double t = k1.Decay.TimeAt(fit->LastFrame);
                EXPECT_NEAR(fit->Intercept + fit->Slope * t, k1.Decay.Level[fit->LastFrame], 0.05);
            }
        }
    }
}

TEST(BandDecays, LiveChunksFilesAndArraysGiveTheSameInBothDirections) {
    const int32_t rate = 44100;
    ToneRecording tones(BandsWithin(TBandSet::Octave, rate), rate, 0.05, 0.1, 0.1, 0);
    const auto [pos1, pos2, pos3] = std::tuple(tones.Pos1, tones.Pos2, tones.Pos3);
    std::vector<int16_t>& x = tones.Samples;
    x.resize(x.size() - static_cast<size_t>(pos3) * 9 / 2); // 3.5 cycles
    test::TempFile file("band-decays");
    ASSERT_TRUE(test::WriteRecording(file.name, rate, pos1, pos2, pos3, x));
    for (TFilterDirection dir : {TFilterDirection::Forward, TFilterDirection::Reversed}) {
        TBandDecayOptions o;
        o.Direction = dir;
        const TBandDecayResult whole = EvaluateSampleBands(x, rate, pos1, pos2, pos3, o);
        EXPECT_EQ(whole.Cycles, 3);
        EXPECT_EQ(whole.Samples, dir == TFilterDirection::Forward ? std::ssize(x) : 3 * pos3);
        EXPECT_NEAR(whole.Bands[6].T20.T, 0.1, 0.001); // 4 kHz
        TSMPfile f;
        ASSERT_TRUE(f.open_file(file.name, true));
        ExpectSame(EvaluateRecordingBands(f, o), whole);
    }
    // The forward feed in any chunks, again after a reset.
    TBandDecays live;
    live.Setup(rate, pos1, pos2, pos3, TBandDecayOptions{});
    for (int pass = 0; pass < 2; ++pass) {
        live.Reset();
        EXPECT_TRUE(live.Evaluate()[0].T20.Problems & fpNoSteadyLevel);
        for (size_t done = 0, n = 1; done < x.size(); done += n, n = n * 7 % 5003 + 1) {
            n = std::min(n, x.size() - done);
            live.AddSamples(x.data() + done, static_cast<int32_t>(n));
        }
        ExpectSame({live.Evaluate(), live.Cycles(), 0},
                   EvaluateSampleBands(x, rate, pos1, pos2, pos3, {}), 1e-9);
    }
}

TEST(BandDecays, RefusesSetUpsItCannotWorkWithAndKeepsTheLastOne) {
    TBandDecays d;
    d.Setup(8000, 800, 1600, 4000, TBandDecayOptions{});
    EXPECT_EQ(d.Bands().size(), 6u); // 63 Hz .. 2 kHz
    struct Bad {
        int32_t rate, pos1, pos2, pos3;
        double smoothing;
    };
    for (const Bad& b :
         {Bad{0, 0, 0, 100, 0.005}, Bad{8000, 200, 100, 300, 0.005}, Bad{8000, 0, 0, 0, 0.005},
          Bad{8000, 0, 10, 5, 0.005}, Bad{8000, 0, 0, 100, 0}, Bad{8000, 0, 0, 100, NAN},
          Bad{8000, 0, 0, 100, 2}, Bad{1000, 0, 0, 2147483647, 0.005}}) {
        TBandDecayOptions o;
        o.Smoothing = b.smoothing;
        EXPECT_THROW(d.Setup(b.rate, b.pos1, b.pos2, b.pos3, o), EBandDecayError) << b.pos3;
    }
    EXPECT_EQ(d.Pos3(), 4000);
    EXPECT_EQ(d.Bands().size(), 6u);
    // A recording without its cycle positions.
    test::TempFile file("band-decays-bad");
    ASSERT_TRUE(test::WriteRecording(file.name, 8000, 0, 0, 0, std::vector<int16_t>(100)));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(file.name, true));
    EXPECT_THROW(EvaluateRecordingBands(f, {}), EBandDecayError);
    f.set_item("pos3", "x");
    EXPECT_THROW(EvaluateRecordingBands(f, {}), EConvertError);
}
