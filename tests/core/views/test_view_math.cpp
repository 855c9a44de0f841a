#include "core/views/view_math.h"

#include "core/base/errors.h"
#include "core/base/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace ravlon;

// 48000 Hz, FFT 256: 128 bins, bin b at b * 24000 / 127 Hz by the views' convention.
TEST(ViewIndices, FrequencyToBinUsesBinsMinusOneAndClampsToTheStore) {
    EXPECT_EQ(FrequencyToBinRaw(1000, 128, 48000), 5); // 127 * 1000 / 24000 = 5.29
    EXPECT_EQ(FrequencyToBin(1000, 128, 48000), 5);
    EXPECT_EQ(FrequencyToBin(24000, 128, 48000), 127);
    // Above half the sampling rate, below 0 and far beyond: the edge bins.
    EXPECT_EQ(FrequencyToBinRaw(30000, 128, 48000), 159);
    EXPECT_EQ(FrequencyToBin(30000, 128, 48000), 127);
    EXPECT_EQ(FrequencyToBin(1e300, 128, 48000), 127);
    EXPECT_EQ(FrequencyToBin(-5, 128, 48000), 0);
    EXPECT_THROW(FrequencyToBinRaw(1e300, 128, 48000), ERangeError);
    // Ties to even: 127 * f / 24000 = 2.5 -> 2, 3.5 -> 4.
    EXPECT_EQ(FrequencyToBin(2.5 * 24000 / 127, 128, 48000), 2);
    EXPECT_EQ(FrequencyToBin(3.5 * 24000 / 127, 128, 48000), 4);
    EXPECT_THROW(FrequencyToBin(1000, 0, 48000), ERangeError);
    EXPECT_THROW(FrequencyToBin(1000, 128, 0), EMathError);
    EXPECT_THROW(FrequencyToBin(std::nan(""), 128, 48000), EMathError);
}

TEST(ViewIndices, SnappedFrequencyIsTheFrequencyOfTheBin) {
    EXPECT_NEAR(SnappedFrequency(1000, 128, 48000), 5 * 24000.0 / 127, 1e-9);
    EXPECT_EQ(FormatSignificant(5, SnappedFrequency(1000, 128, 48000)), "944.88");
    // Before any analysis (no bins, whether or not the rate is set) k = 1.
    EXPECT_EQ(SnappedFrequency(1000, 0, 0), 1000);
    EXPECT_EQ(SnappedFrequency(1000, 0, 48000), 1000);
    EXPECT_EQ(SnappedFrequency(1000.4, 128, 0), 1000);
    EXPECT_EQ(SnappedFrequency(1000.4, 1, 48000), 1000);
    // Not clamped: the selection itself may lie beyond the store.
    EXPECT_NEAR(SnappedFrequency(30000, 128, 48000), 159 * 24000.0 / 127, 1e-9);
    // A zoomed-out frequency axis: Round(k * f) beyond 32 bits still snaps, and
    // from 2^52 on the frequency is whole already.
    const double k = 127 / 24000.0;
    EXPECT_NEAR(SnappedFrequency(1e12, 128, 48000), std::nearbyint(k * 1e12) / k, 1e-3);
    EXPECT_EQ(SnappedFrequency(1e300, 128, 48000), 1e300);
    EXPECT_EQ(SnappedFrequency(-1e300, 128, 2), -1e300);
    EXPECT_THROW(SnappedFrequency(std::nan(""), 128, 48000), EMathError);
}

TEST(ViewIndices, TimesAndFramesOfTheCurves) {
    // 3 s cycle of 564 frames: frame fr is drawn at fr * 3 / 563 s.
    const int32_t pos3 = 144384, sf = 48000, frames = 564;
    const double cycle = 144384.0 / 48000;
    EXPECT_EQ(TimeToFrame(0, frames, pos3, sf), 0);
    EXPECT_EQ(TimeToFrame(cycle, frames, pos3, sf), 563);
    EXPECT_EQ(TimeToFrame(cycle * 2, frames, pos3, sf), 563);
    EXPECT_EQ(TimeToFrame(1e300, frames, pos3, sf), 563);
    EXPECT_EQ(TimeToFrame(-1, frames, pos3, sf), 0);
    EXPECT_EQ(TimeToFrame(1.0, frames, pos3, sf), Round(563 / cycle));
    EXPECT_THROW(TimeToFrame(1, 0, pos3, sf), ERangeError);
    EXPECT_DOUBLE_EQ(FrameToCurveTime(563, frames, pos3, sf), cycle);
    EXPECT_THROW(FrameToCurveTime(0, 1, pos3, sf), EMathError);

    double snapped = SnappedTime(1.0, frames, pos3, sf);
    EXPECT_NEAR(snapped, FrameToCurveTime(TimeToFrame(1.0, frames, pos3, sf), frames, pos3, sf),
                1e-12);
    EXPECT_NE(snapped, 1.0);
    // Nothing to snap to: the time comes back unchanged.
    EXPECT_EQ(SnappedTime(1.234, 0, 0, 0), 1.234);
    EXPECT_EQ(SnappedTime(1.234, 0, pos3, sf), 1.234);
    EXPECT_EQ(SnappedTime(1.234, frames, 0, sf), 1.234);
    EXPECT_EQ(SnappedTime(1.234, frames, pos3, 0), 1.234);
    EXPECT_EQ(SnappedTime(1.234, 1, pos3, sf), 1.234);
    EXPECT_EQ(SnappedTime(1e300, frames, pos3, sf), 1e300);

    EXPECT_DOUBLE_EQ(EvaluationFrameTime(300, 256, 48000), 1.6);
    EXPECT_THROW(EvaluationFrameTime(300, 256, 0), EMathError);
}

TEST(ViewIndices, ColumnValueNeverLeavesTheArray) {
    std::vector<double> t60(128);
    for (size_t b = 0; b < t60.size(); ++b) t60[b] = static_cast<double>(b);
    EXPECT_EQ(ColumnValue(t60, 1000, 48000), 5);
    EXPECT_EQ(ColumnValue(t60, 20000, 48000), Round(127 * 20000 / 24000.0));
    EXPECT_EQ(ColumnValue(t60, 96000, 48000), 127);
    // Results of an older, smaller store: the convention over the array's length.
    std::vector<double> small{7, 8, 9};
    EXPECT_EQ(ColumnValue(small, 1000, 48000), 7);
    EXPECT_EQ(ColumnValue(small, 23000, 48000), 9);
    EXPECT_THROW(ColumnValue({}, 1000, 48000), ERangeError);
}

TEST(ViewIndices, MarkerTimesNeedArraysCoveringTheBin) {
    std::vector<double> starts{0, 300, 0}, ends{0, 420, 0};
    auto [t1, t2] = MarkerTimes(starts, ends, 1, 256, 48000);
    EXPECT_DOUBLE_EQ(t1, 1.6);
    EXPECT_DOUBLE_EQ(t2, 420 * 256 / 48000.0);
    // No result: both at time 0.
    EXPECT_EQ(MarkerTimes(starts, ends, 2, 256, 48000), std::make_pair(0.0, 0.0));
    EXPECT_THROW(MarkerTimes(starts, ends, 3, 256, 48000), ERangeError);
    EXPECT_THROW(MarkerTimes(starts, ends, -1, 256, 48000), ERangeError);
    EXPECT_THROW(MarkerTimes({}, {}, 0, 256, 48000), ERangeError);
    EXPECT_THROW(MarkerTimes(starts, {0}, 1, 256, 48000), ERangeError);
}

TEST(ViewLevels, GrayValueOfAPowerOnTheLevelAxis) {
    EXPECT_EQ(LevelToGrayValue(1, -40, 40), 127); // g = Round(127.5) = 128 (ties to even)
    EXPECT_EQ(LevelToGrayValue(1e4, -40, 40), 0);
    EXPECT_EQ(LevelToGrayValue(1e5, -40, 40), 0);
    EXPECT_EQ(LevelToGrayValue(1e-4, -40, 40), 255);
    EXPECT_EQ(LevelToGrayValue(1e-6, -40, 40), 255);
    // A deeply zoomed legend: levels far beyond an end take that end's shade.
    EXPECT_EQ(LevelToGrayValue(1e4, 0, 1e-9), 0);
    EXPECT_EQ(LevelToGrayValue(1e-4, 0, 1e-9), 255);
    EXPECT_EQ(LevelToGrayValue(1e300, 1e-300, 2e-300), 0);
    EXPECT_EQ(LevelToGrayValue(1e-300, 1e-300, 2e-300), 255);
    EXPECT_THROW(LevelToGrayValue(0, -40, 40), EMathError);
    EXPECT_THROW(LevelToGrayValue(1, 10, 10), EMathError);
}

TEST(RoomAcoustics, LimitFrequencyAndRadiusOfAHundredCubicMetres) {
    EXPECT_NEAR(LimitFrequency(1.2, 100), 208.14, 0.01);
    EXPECT_NEAR(ReverberationRadius(100, 1.2), 0.5112, 0.0001);
    // Four times the volume: twice the radius, half the limit frequency.
    EXPECT_NEAR(ReverberationRadius(400, 1.2), 2 * ReverberationRadius(100, 1.2), 1e-12);
    EXPECT_NEAR(LimitFrequency(1.2, 400), LimitFrequency(1.2, 100) / 2, 1e-12);

    EXPECT_TRUE(AboveLimitFrequency(208.2, 1.2, 100));
    EXPECT_FALSE(AboveLimitFrequency(208.0, 1.2, 100));
    EXPECT_FALSE(AboveLimitFrequency(20000, 0, 100)); // no result: never strong
    EXPECT_TRUE(AboveLimitFrequency(104.1, 1.2, 400));
    // A volume of 0 or below has no limit frequency.
    EXPECT_THROW(AboveLimitFrequency(1000, 1.2, 0), EMathError);
    EXPECT_THROW(AboveLimitFrequency(1000, 1.2, -100), EMathError);
    EXPECT_THROW(AboveLimitFrequency(1000, 0, 0), EMathError);

    EXPECT_NEAR(DotRadius(100, 1.2), 0.5112, 0.0001);
    EXPECT_EQ(DotRadius(100, 0), 0);
    EXPECT_EQ(DotRadius(-100, 1.2), 0);
}

TEST(HandDrawnLine, T60FromTheSlope) {
    EXPECT_DOUBLE_EQ(LineT60(0.5, -10, 1.0, -40), 1.0); // 30 dB in 0.5 s
    EXPECT_DOUBLE_EQ(LineT60(1.0, -40, 0.5, -10), 1.0); // either end first
    EXPECT_DOUBLE_EQ(LineT60(0, 0, 2, -30), 4.0);
    EXPECT_LT(LineT60(0, -30, 1, 0), 0); // a rising line
    EXPECT_THROW(LineT60(0, -20, 1, -20), EMathError);
    EXPECT_THROW(LineT60(1, -20, 1, -20), EMathError); // a line collapsed to its press point
    EXPECT_THROW(LineT60(0, 1e-300, 1e300, 0), EMathError);
}
