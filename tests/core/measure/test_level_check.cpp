// The check before measuring on synthetic recordings: white noise of known
// levels gives the margins it implies, and a hum in the background, a quiet or
// clipping noise, or no noise at all change the advice as they should.
#include "core/base/errors.h"
#include "core/measure/level_check.h"
#include "core/measure/noise_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace ravlon;

namespace {

constexpr int32_t kRate = 48000;

// Two seconds of the program's noise attenuated by `dB` (RMS -4.77 - dB dBFS,
// peak -dB dBFS), plus a 60 Hz hum of peak humDb dBFS (none below -200).
std::vector<int16_t> Stretch(TNoiseRandom& rng, double dB, double humDb = -300) {
    std::vector<int16_t> x(2 * kRate);
    int32_t pos = 0;
    FillNoise(rng, x.data(), int32_t(x.size()), pos, 0, int32_t(x.size()), int32_t(x.size()),
              NoiseGain(dB));
    if (humDb > -200)
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] = int16_t(x[i] + std::lround(32768 * std::pow(10, humDb / 20) *
                                              std::sin(2 * std::numbers::pi * 60 * i / kRate)));
    return x;
}

} // namespace

TEST(LevelCheck, MarginsOfWhiteNoiseAndTheAdviceTheyGive) {
    const std::string up = "Turn the amplifier up by about ";
    struct Case {
        double noiseDb, backgroundDb, humDb, attenuation;
        std::vector<std::string> advice; // "#" stands for the rise in whole dB
    } cases[] = {
        {14.5, 55, -300, 0, {up + "# dB"}},
        {14.5, 55, -300, 3, {"Lower the output attenuation by about 3 dB", up + "# dB"}},
        {14.5, 80, -300, 0, {"The level is enough for EDT, T20 and T30 in every octave"}},
        {14.5, 55, -75, 0, {up + "13 dB", "T30 not possible below 125 Hz; use T20"}},
        {14.5, 55, -60, 0, {up + "13 dB", "T30 and T20 not possible below 125 Hz; use EDT"}},
        {14.5,
         55,
         -30,
         0,
         {up + "13 dB",
          "No decay can be evaluated below 125 Hz: the background is too loud there"}},
        {0,
         55,
         -300,
         0,
         {"The input clips: turn the input gain or the amplifier down until the "
          "meter shows no clipping, then check again"}},
        {55,
         55,
         -300,
         0,
         {"The noise does not reach the input: check the output and input "
          "devices, their channels and the connections"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.noiseDb << " " << c.backgroundDb << " " << c.humDb);
        TNoiseRandom rng;
        const std::vector<int16_t> background = Stretch(rng, c.backgroundDb, c.humDb);
        std::vector<int16_t> noise = Stretch(rng, c.noiseDb);
        if (c.noiseDb == 0) noise[50000] = 32767; // one clipped sample is enough
        const TLevelCheck r = CheckLevels(background, noise, kRate, c.attenuation);
        ASSERT_EQ(r.Bands.size(), 8u);
        std::vector<std::string> expected = c.advice;
        for (std::string& a : expected)
            if (const auto hash = a.find('#'); hash != std::string::npos)
                a.replace(hash, 1, std::to_string(int(std::ceil(r.Needed)) - int(c.attenuation)));
        EXPECT_EQ(r.Advice, expected);
        if (c.humDb > -200) continue;
        // White on white: the same margin in every octave, the difference of the levels.
        for (const TLevelCheckBand& b : r.Bands) {
            ASSERT_TRUE(b.Evaluated);
            EXPECT_NEAR(b.Margin, c.backgroundDb - c.noiseDb, 1.0) << b.Band.Nominal;
            EXPECT_EQ(b.T30, b.Margin >= 45.0);
            EXPECT_EQ(b.T20, b.Margin >= 35.0);
            EXPECT_EQ(b.EDT, b.Margin >= 20.0);
            // White noise: the band's share of the whole level.
            const double share = 10 * std::log10((b.Band.Upper - b.Band.Lower) / (kRate / 2.0));
            EXPECT_NEAR(b.Noise, -4.77 - c.noiseDb + share, 0.7) << b.Band.Nominal;
        }
    }
}

TEST(LevelCheck, ShortStretchesLowRatesAndBadRatesAreHandled) {
    TNoiseRandom rng;
    std::vector<int16_t> x = Stretch(rng, 20);
    EXPECT_THROW(CheckLevels(std::span(x).first(1000), x, kRate), ERangeError);
    EXPECT_THROW(CheckLevels(x, x, 999), ERangeError);
    // At 8 kHz only the octaves up to 2 kHz fit below half the rate.
    const TLevelCheck r = CheckLevels(x, x, 8000);
    int evaluated = 0;
    for (const TLevelCheckBand& b : r.Bands) evaluated += b.Evaluated;
    EXPECT_EQ(evaluated, 6);
    EXPECT_FALSE(r.Bands.back().Evaluated);
    EXPECT_TRUE(std::isnan(r.Bands.back().Margin));
}
