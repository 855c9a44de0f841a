#include "core/measure/noise_generator.h"
#include "core/measure/spectrogram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ravlon;

TEST(NoiseRandom, LinearCongruentialSequence) {
    TNoiseRandom r;
    EXPECT_EQ(r.Seed(), 0u);
    EXPECT_EQ(r.Random(65535), 0u); // seed 1
    EXPECT_EQ(r.Seed(), 1u);
    EXPECT_EQ(r.Random(65535), 2056u); // seed 134775814
    EXPECT_EQ(r.Seed(), 134775814u);
    // The seed wraps modulo 2^32.
    uint32_t seed = 134775814u;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 134775813u + 1u;
        const uint32_t expect = static_cast<uint32_t>((static_cast<uint64_t>(seed) * 100u) >> 32);
        ASSERT_EQ(r.Random(100), expect);
    }
}

TEST(NoiseRandom, RangeIsZeroToNMinusOne) {
    TNoiseRandom r;
    uint32_t lo = 65535, hi = 0;
    for (int i = 0; i < 200000; ++i) {
        const uint32_t v = r.Random(65535);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_EQ(lo, 0u);
    EXPECT_LE(hi, 65534u);
    EXPECT_GT(hi, 65500u);
}

TEST(NoiseGenerator, FirstNoiseSamplesAfterStart) {
    TNoiseRandom r;
    std::vector<int16_t> buf(5, 99);
    int32_t playPos = 0;
    FillNoise(r, buf.data(), 5, playPos, 0, 100, 200);
    EXPECT_EQ(buf, (std::vector<int16_t>{-32768, -30712, 23660, -19492, -14883}));
    EXPECT_EQ(playPos, 5);
}

TEST(NoiseGenerator, DefaultCycleSilenceNoiseSilence) {
    TFFT fft;
    TSpectrogram s(fft);
    s.SetupRun({}); // defaults: 48128 / 96256 / 144384
    TNoiseRandom r;
    std::vector<int16_t> buf(4096);
    std::vector<int16_t> cycle;
    while (cycle.size() < 2 * 144384u) {
        s.FillNoise(r, buf.data(), 4096);
        cycle.insert(cycle.end(), buf.begin(), buf.end());
    }
    for (int i = 0; i < 48128; ++i) ASSERT_EQ(cycle[i], 0) << i;
    EXPECT_EQ(cycle[48128], -32768);
    EXPECT_EQ(cycle[48129], -30712);
    EXPECT_EQ(cycle[48132], -14883);
    int nonzero = 0;
    for (int i = 48128; i < 96256; ++i) nonzero += cycle[i] != 0;
    EXPECT_GT(nonzero, 48000);
    for (int i = 96256; i < 144384 + 48128; ++i) ASSERT_EQ(cycle[i], 0) << i;
    // The second cycle continues the random sequence (no reseeding).
    TNoiseRandom again;
    for (int i = 0; i < 48128; ++i) again.Random(65535);
    EXPECT_EQ(cycle[144384 + 48128],
              static_cast<int16_t>(static_cast<int32_t>(again.Random(65535)) - 32768));
    EXPECT_EQ(s.PlayPos(), static_cast<int32_t>((cycle.size()) % 144384));
}

TEST(NoiseGenerator, PreNoiseZeroStartsEveryCycleWithNoise) {
    TNoiseRandom r;
    const int32_t pos1 = 0, pos2 = 8, pos3 = 12;
    int32_t playPos = 0;
    std::vector<int16_t> buf(36);
    FillNoise(r, buf.data(), 36, playPos, pos1, pos2, pos3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NE(buf[c * 12], 0) << "first sample of cycle " << c;
        for (int i = 8; i < 12; ++i) EXPECT_EQ(buf[c * 12 + i], 0);
    }
    EXPECT_EQ(buf[0], -32768);
    EXPECT_EQ(playPos, 0);
}

TEST(NoiseGenerator, PostNoiseZeroEndsTheCycleWithNoise) {
    TNoiseRandom r;
    const int32_t pos1 = 4, pos2 = 12, pos3 = 12;
    int32_t playPos = 0;
    std::vector<int16_t> buf(24);
    FillNoise(r, buf.data(), 24, playPos, pos1, pos2, pos3);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 4; ++i) EXPECT_EQ(buf[c * 12 + i], 0);
        EXPECT_NE(buf[c * 12 + 11], 0) << "last sample of cycle " << c;
    }
    // The next cycle's pre-noise silence follows the last noise sample at once.
    EXPECT_EQ(buf[12], 0);
}

TEST(NoiseGenerator, DrawsOnlyForNoiseSamplesAndIgnoresNonPositiveCounts) {
    TNoiseRandom r;
    int32_t playPos = 0;
    std::vector<int16_t> buf(10, 7);
    FillNoise(r, buf.data(), 10, playPos, 20, 30, 40);
    EXPECT_EQ(r.Seed(), 0u);
    FillNoise(r, buf.data(), 0, playPos, 20, 30, 40);
    FillNoise(r, buf.data(), -3, playPos, 20, 30, 40);
    EXPECT_EQ(playPos, 10);
}

TEST(NoiseGenerator, AttenuationScalesTheNoiseAndZeroDecibelsIsTheUnscaledNoise) {
    EXPECT_EQ(NoiseGain(0.0), 1.0);
    EXPECT_NEAR(NoiseGain(20.0), 0.1, 1e-15);
    for (double bad : {-0.01, 90.01, std::nan(""), HUGE_VAL})
        EXPECT_THROW(NoiseGain(bad), ERangeError) << bad;

    // Two stores over the same cycle: one plain, one set to 20 dB and back to
    // 0 dB (a bad value in between is refused and changes nothing).
    TFFT fft1, fft2;
    TSpectrogram plain(fft1), reset(fft2);
    plain.SetPositions(3, 900, 1000);
    reset.SetPositions(3, 900, 1000);
    reset.SetNoiseAttenuation(20.0);
    EXPECT_THROW(reset.SetNoiseAttenuation(-1.0), ERangeError);
    EXPECT_EQ(reset.NoiseAttenuation(), 20.0);
    TNoiseRandom r1, r2, reference;
    std::vector<int16_t> a(1000), b(1000);
    reset.FillNoise(r2, b.data(), 1000);
    for (int i = 0; i < 1000; ++i) {
        const bool noise = i >= 3 && i < 900;
        const double v = noise ? int32_t(reference.Random(65535)) - 32768 : 0;
        ASSERT_EQ(b[i], int16_t(std::nearbyint(v / 10))) << i;
    }
    EXPECT_EQ(b[3], -3277); // -32768 / 10, rounded

    // Back at 0 dB the second cycle is the plain store's second cycle, bit for bit.
    reset.SetNoiseAttenuation(0.0);
    plain.FillNoise(r1, a.data(), 1000);
    plain.FillNoise(r1, a.data(), 1000);
    reset.FillNoise(r2, b.data(), 1000);
    EXPECT_EQ(a, b);
    EXPECT_NE(a[3], 0);
}
