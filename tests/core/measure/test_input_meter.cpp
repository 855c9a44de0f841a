// The input meter: dBFS readings of a known sine, clipped samples counted in
// exactly the cycles where they occur (across buffer and cycle boundaries),
// the fixed-capacity cycle list, and the peak hold falling back after its time.
#include "core/base/errors.h"
#include "core/measure/input_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace ravlon;

TEST(InputMeter, MinusTwentyDecibelSineReadsItsPeakAndRms) {
    TInputMeter m;
    m.Configure(48000, 0);
    // 1 kHz at 48 kHz: 100 whole periods; amplitude -20 dBFS.
    std::vector<int16_t> sine(4800);
    const double a = 32768.0 * std::pow(10.0, -20.0 / 20.0);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = int16_t(std::lround(a * std::sin(2 * std::numbers::pi * 1000.0 * i / 48000.0)));
    m.AddBuffer(sine);
    EXPECT_NEAR(m.Peak(), -20.0, 0.1);
    EXPECT_NEAR(m.Rms(), -23.0, 0.1);
    EXPECT_EQ(m.HeldPeak(), m.Peak());
    EXPECT_FALSE(m.Clipped());
    EXPECT_EQ(m.StatusText(), "");
    m.AddBuffer(std::vector<int16_t>(100, 0));
    EXPECT_EQ(m.Peak(), TInputMeter::MeterFloor);
    EXPECT_EQ(m.Rms(), TInputMeter::MeterFloor);
}

TEST(InputMeter, ClippedSamplesAreCountedInTheirCycles) {
    TInputMeter m;
    m.Configure(48000, 1000);
    std::vector<int16_t> rec(5000, 1000);
    for (std::size_t i : {5, 999, 1000, 2500, 2501, 4999}) rec[i] = i % 2 ? 32767 : -32768;
    rec[3500] = -32767; // one short of full scale: not clipped
    for (std::size_t i = 0; i < rec.size(); i += 300)
        m.AddBuffer(std::span(rec).subspan(i, std::min<std::size_t>(300, rec.size() - i)));
    EXPECT_EQ(m.ClippedSamples(), 6);
    const std::vector<std::pair<int64_t, int64_t>> expected{{1, 2}, {2, 1}, {3, 2}, {5, 1}};
    ASSERT_EQ(m.ClippedCycles().size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(m.ClippedCycles()[k].Cycle, expected[k].first);
        EXPECT_EQ(m.ClippedCycles()[k].Samples, expected[k].second);
        EXPECT_EQ(m.ClippedInCycle(expected[k].first), expected[k].second);
    }
    EXPECT_EQ(m.ClippedInCycle(4), 0);
    EXPECT_EQ(m.CurrentCycle(), 6);
    EXPECT_TRUE(m.LastBufferClipped()); // sample 4999 is in the last buffer
    EXPECT_EQ(m.StatusText(), "Input clipped in cycles 1-3, 5 (6 samples)");

    // One-sample cycles, all clipped: the list stops at its capacity, the rest is counted.
    const std::size_t n = TInputMeter::MaxListedCycles + 10;
    m.Configure(48000, 1);
    m.AddBuffer(std::vector<int16_t>(n, 32767));
    EXPECT_EQ(m.ClippedCycles().size(), TInputMeter::MaxListedCycles);
    EXPECT_EQ(m.UnlistedCycles(), 10);
    EXPECT_EQ(m.StatusText(), "Input clipped in cycles 1-4096 and 10 more (4106 samples)");

    m.Configure(48000, 0);
    m.AddBuffer(std::vector<int16_t>{0, -32768, 5});
    EXPECT_EQ(m.StatusText(), "Input clipped (1 sample)");
}

TEST(InputMeter, HoldFallsBackAfterItsTime) {
    TInputMeter m;
    m.Configure(1000, 0, 1.0);                     // hold 1000 samples
    m.AddBuffer(std::vector<int16_t>(100, 16384)); // -6 dB
    for (int i = 1; i <= 10; ++i) {
        m.AddBuffer(std::vector<int16_t>(100, 3277)); // -20 dB
        if (i < 10) {
            ASSERT_NEAR(m.HeldPeak(), -6.02, 0.01) << i;
        }
    }
    EXPECT_NEAR(m.HeldPeak(), -20.0, 0.01);
    EXPECT_THROW(m.Configure(0, 0), ERangeError);
}
