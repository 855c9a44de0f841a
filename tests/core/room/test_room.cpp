// The simulated room's acoustics without Qt: the FFT, the partitioned
// convolution against direct convolution, the settings syntax, the decay of
// the synthesized response per octave band, the noise level and repeatability.
#include "core/base/errors.h"
#include "core/room/room_convolver.h"
#include "core/room/room_fft.h"
#include "core/room/room_model.h"
#include "decay_analysis.h"

#include <gtest/gtest.h>

#include <random>

using namespace ravlon;

TEST(RoomFft, MatchesTheDirectTransformAndRoundTrips) {
    for (std::size_t n : {2u, 8u, 64u, 1024u}) {
        std::mt19937 rng{unsigned(n)};
        std::normal_distribution<double> g;
        std::vector<std::complex<double>> x(n), y;
        for (auto& v : x) v = {g(rng), g(rng)};
        y = x;
        RoomFft(n).forward(y.data());
        double err = 0;
        for (std::size_t k = 0; k < n; ++k) {
            std::complex<double> sum;
            for (std::size_t i = 0; i < n; ++i)
                sum += x[i] * std::polar(1.0, -2 * M_PI * double(i * k % n) / double(n));
            err = std::max(err, std::abs(sum - y[k]));
        }
        EXPECT_LT(err, 1e-9 * double(n)) << n;
        RoomFft(n).inverse(y.data());
        for (std::size_t i = 0; i < n; ++i)
            EXPECT_NEAR(std::abs(y[i] / double(n) - x[i]), 0, 1e-12);
    }
    EXPECT_THROW(RoomFft(12), Exception);
    EXPECT_THROW(RoomFft(1), Exception);
}

TEST(RoomConvolver, EqualsDirectConvolutionAcrossManyPartitions) {
    std::mt19937 rng(5);
    std::normal_distribution<double> g;
    for (std::size_t irLen : {1u, 17u, 64u, 1000u}) {
        const std::size_t block = 64;
        std::vector<double> ir(irLen), in(block * 40), out(in.size());
        for (auto& v : ir) v = g(rng);
        for (auto& v : in) v = g(rng);
        RoomConvolver conv(ir, block);
        for (std::size_t b = 0; b < in.size(); b += block) conv.process(&in[b], &out[b]);
        double err = 0;
        for (std::size_t t = 0; t < in.size(); ++t) {
            double y = 0;
            for (std::size_t k = 0; k < irLen && k <= t; ++k) y += ir[k] * in[t - k];
            err = std::max(err, std::abs(y - out[t]));
        }
        EXPECT_LT(err, 1e-9) << irLen;
    }
    EXPECT_THROW(RoomConvolver({1.0}, 100), Exception);
}

TEST(RoomConfig, ParsesEveryKeyAndRefusesBadText) {
    RoomConfig c = RoomConfig::parse("t60=1.2,noise=-60,latency=20,gain=-6,seed=42,pace=fast");
    EXPECT_DOUBLE_EQ(c.t60At(125), 1.2);
    EXPECT_DOUBLE_EQ(c.t60At(8000), 1.2);
    EXPECT_DOUBLE_EQ(c.noiseDb, -60);
    EXPECT_TRUE(c.noiseOn);
    EXPECT_DOUBLE_EQ(c.latencyMs, 20);
    EXPECT_DOUBLE_EQ(c.gainDb, -6);
    EXPECT_EQ(c.seed, 42u);
    EXPECT_TRUE(c.fast);

    c = RoomConfig::parse("t60=1000:1.0/125:0.4/8000:0.6,noise=off,ir=hall.wav");
    EXPECT_DOUBLE_EQ(c.t60At(60), 0.4); // constant below the first point
    EXPECT_DOUBLE_EQ(c.t60At(125), 0.4);
    EXPECT_NEAR(c.t60At(std::sqrt(125.0 * 1000.0)), 0.7, 1e-12); // log-frequency midpoint
    EXPECT_DOUBLE_EQ(c.t60At(16000), 0.6);                       // constant above the last
    EXPECT_FALSE(c.noiseOn);
    EXPECT_EQ(c.irFile, "hall.wav");

    const RoomConfig d = RoomConfig::parse("");
    EXPECT_DOUBLE_EQ(d.t60At(1000), 0.8);
    EXPECT_FALSE(d.fast);

    for (const char* bad :
         {"t60", "t60=", "t60=x", "t60=0", "t60=1000:", "t60=100:1/x:2", "noise=3", "latency=-1",
          "seed=1.5", "pace=slow", "colour=red", "ir=", "gain=nan"}) {
        EXPECT_THROW(RoomConfig::parse(bad), Exception) << bad;
    }
    try {
        RoomConfig::parse("volume=3");
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "RAVLON_AUDIO: unknown key \"volume\"");
    }
}

TEST(RoomImpulse, OctaveBandsDecayWithTheirOwnT60AndUnitEnergy) {
    RoomConfig c = RoomConfig::parse("t60=125:0.3/1000:1.1/8000:0.5,seed=11");
    const std::vector<double> ir = SynthesizeRoomImpulse(c, 48000);
    EXPECT_EQ(ir.size(), std::size_t(1.5 * 1.1 * 48000));
    double energy = 0;
    for (double v : ir) energy += v * v;
    EXPECT_NEAR(energy, 1.0, 1e-9);
    // Where the decay changes fast from band to band, the slower neighbour leaks
    // into the measuring filter's tail and lengthens the measured T30 a little.
    for (double f : {250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0})
        EXPECT_NEAR(test::OctaveBandT30(ir, f, 48000), c.t60At(f), 0.1 * c.t60At(f)) << f;
    EXPECT_EQ(SynthesizeRoomImpulse(c, 48000), ir); // same seed, same room
    c.seed = 12;
    EXPECT_NE(SynthesizeRoomImpulse(c, 48000), ir);
    c.gainDb = -20;
    energy = 0;
    for (double v : SynthesizeRoomImpulse(c, 48000)) energy += v * v;
    EXPECT_NEAR(energy, 0.01, 1e-9);
}

TEST(RoomSimulator, DelaysByTheLatencyAddsNoiseAtItsLevelAndClips) {
    RoomConfig c = RoomConfig::parse("noise=off,latency=10");
    RoomSimulator room(c, 48000, {1.0, 0.5});
    ASSERT_EQ(room.latencySamples(), 480u);
    std::vector<double> speaker(RoomSimulator::kBlock, 0.0);
    std::vector<std::int16_t> mic(RoomSimulator::kBlock);
    speaker[0] = 1000;
    speaker[1] = 40000; // clipped at the microphone
    room.process(speaker.data(), mic.data());
    for (std::size_t i = 0; i < 480; ++i) ASSERT_EQ(mic[i], 0);
    EXPECT_EQ(mic[480], 1000);
    EXPECT_EQ(mic[481], 32767);
    EXPECT_EQ(mic[482], 20000);
    EXPECT_EQ(mic[483], 0);

    RoomConfig n = RoomConfig::parse("noise=-40,seed=3");
    RoomSimulator a(n, 48000, {0.0}), b(n, 48000, {0.0});
    std::fill(speaker.begin(), speaker.end(), 0.0);
    double power = 0;
    std::vector<std::int16_t> mb(RoomSimulator::kBlock);
    for (int blk = 0; blk < 100; ++blk) {
        a.process(speaker.data(), mic.data());
        b.process(speaker.data(), mb.data());
        ASSERT_EQ(mic, mb);
        for (std::int16_t v : mic) power += double(v) * v;
    }
    const double db =
        10 * std::log10(power / (100.0 * RoomSimulator::kBlock) / (32768.0 * 32768.0));
    EXPECT_NEAR(db, -40, 0.1);
}
