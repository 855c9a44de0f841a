#include "core/axes/axis_math.h"
#include "core/base/errors.h"
#include "core/base/numtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace ravlon {
namespace {

AxisTransform Horizontal(double lo, double hi, int width, bool log = false) {
    AxisTransform t;
    t.lo = lo;
    t.hi = hi;
    t.width = width;
    t.height = 30;
    t.position = posunder;
    t.logarithmic = log;
    return t;
}

AxisTickSettings Settings(const AxisTransform& t, bool music = false) {
    AxisTickSettings s;
    s.transform = t;
    s.rawLo = t.lo;
    s.rawHi = t.hi;
    s.musicScale = music;
    return s;
}

const AxisTick* FindTick(const std::vector<AxisTick>& ticks, double value) {
    for (const AxisTick& t : ticks)
        if (std::fabs(t.value - value) <= 1e-6 * std::fabs(value)) return &t;
    return nullptr;
}

const FixedTextMeasurer kMeasure(6, 13);

// --- Linear ticks -----------------------------------------------------------------

TEST(AxisLinearTicks, ZeroToTenOn269PixelsHasStepTwoAndTwoTicksAtTheEnd) {
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(0, 10, 269)), kMeasure);
    ASSERT_EQ(ticks.size(), 7u);
    for (std::size_t i = 0; i < ticks.size(); ++i)
        EXPECT_DOUBLE_EQ(ticks[i].value, 2.0 * static_cast<double>(i));
    EXPECT_EQ(ticks[0].pixel, 0);
    EXPECT_EQ(ticks[5].pixel, 268); // 10, the high end
    EXPECT_EQ(ticks[6].pixel, 268); // 12, beyond the end, clamped
    EXPECT_EQ(ticks[1].text, "2");
    EXPECT_EQ(ticks[5].text, "10");
    EXPECT_TRUE(ticks[0].major);
    EXPECT_FALSE(ticks[1].major);
    EXPECT_TRUE(ticks[5].major);
}

TEST(AxisLinearTicks, FirstTickIsTheFirstMultipleOfTheStepAtOrAboveTheLowEnd) {
    // 101 pixels: NiceNumber(100) div 40 = 2 provisional ticks, step NiceNumber(30) = 20.
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(45, 105, 101)), kMeasure);
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_DOUBLE_EQ(ticks.front().value, 60);
    EXPECT_DOUBLE_EQ(ticks.back().value, 140);
    EXPECT_EQ(ticks.back().pixel, 100);
}

TEST(AxisLinearTicks, LabelsAndEmphasis) {
    // -50..50 on a 241-pixel axis: step 20 from -40; "0" for a value tiny against the range.
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(-50, 50, 241)), kMeasure);
    ASSERT_EQ(ticks.size(), 7u);
    EXPECT_EQ(ticks[0].text, "-40");
    EXPECT_TRUE(ticks[0].major);
    EXPECT_EQ(ticks[2].text, "0");

    auto s = Settings(Horizontal(0, 1, 241));
    const auto fine = ComputeAxisTicks(s, kMeasure);
    ASSERT_GE(fine.size(), 4u);
    EXPECT_EQ(fine[1].text, "0.2");
    EXPECT_FALSE(fine[1].major);
    EXPECT_EQ(fine[3].text, "0.6");
    EXPECT_FALSE(fine[3].major);
}

TEST(AxisLinearTicks, LabelIsZeroWhenTheValueIsTinyAgainstTheStoredRange) {
    // Shown 0..10 (ticks 0, 2, .., 12) while the stored ends, which the limits
    // clamp, are further apart: a label whose |value / d| < 1e-5 reads "0"
    // (and is emphasised like any 0), with d = stored high - stored low.
    struct Case {
        double rawLo, rawHi;
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {0, 10, {"0", "2", "4", "6", "8", "10", "12"}},
        {0, 3e5, {"0", "0", "4", "6", "8", "10", "12"}},    // 2 / 3e5 < 1e-5 <= 4 / 3e5
        {3e5, 0, {"0", "0", "4", "6", "8", "10", "12"}},    // |value / d|
        {-5e5, 5e5, {"0", "0", "0", "0", "0", "10", "12"}}, // 8 / 1e6 < 1e-5 = 10 / 1e6
        {5, 5, {"0", "0", "0", "0", "0", "0", "0"}},        // d = 0
    };
    for (const Case& c : cases) {
        auto s = Settings(Horizontal(0, 10, 269));
        s.rawLo = c.rawLo;
        s.rawHi = c.rawHi;
        const auto ticks = ComputeAxisTicks(s, kMeasure);
        ASSERT_EQ(ticks.size(), c.labels.size());
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_EQ(ticks[i].text, c.labels[i]) << c.rawLo << ".." << c.rawHi << " tick " << i;
            EXPECT_EQ(ticks[i].major, c.labels[i] == "0" || c.labels[i] == "10") << i;
        }
    }
}

TEST(AxisLinearTicks, DeepZoomStartsAtTheLowEnd) {
    // 2^20 .. 2^20 + 2^-10 on 269 pixels: step 2e-4, and lo / step = 5.2e9 lies
    // beyond 32 bits; the ticks still start at the low end, 55 pixels apart.
    const double lo = 1048576, hi = lo + 0.0009765625;
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(lo, hi, 269)), kMeasure);
    ASSERT_EQ(ticks.size(), 6u);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_NEAR(ticks[i].value, lo + 2e-4 * static_cast<double>(i), 1e-9) << i;
        EXPECT_EQ(ticks[i].pixel, std::min(55 * static_cast<int>(i), 268)) << i;
    }
}

TEST(AxisLinearTicks, DegenerateSettingsGiveFallbacksNotFailures) {
    // Equal ends: step 0, three ticks at the low end.
    auto ticks = ComputeAxisTicks(Settings(Horizontal(5, 5, 200)), kMeasure);
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[0].text, "0");
    // Inverted ends: step 1, and a count of 0 - 10 + 2 < 0 leaves the table empty.
    EXPECT_EQ(LinearTickStep(200, 40, 10, 0), 1);
    ticks = ComputeAxisTicks(Settings(Horizontal(10, 0, 200)), kMeasure);
    EXPECT_TRUE(ticks.empty());
    // TickSpaceAim 0 and an axis of zero length.
    auto s = Settings(Horizontal(0, 10, 0));
    s.tickSpaceAim = 0;
    ticks = ComputeAxisTicks(s, kMeasure);
    EXPECT_FALSE(ticks.empty());
    for (const AxisTick& t : ticks) EXPECT_EQ(t.pixel, 0);
    // A tiny axis over a huge range would need billions of ticks (step 1 for
    // 2e9): refused, the table stays empty.
    EXPECT_EQ(LinearTickStep(20, 40, 0, 2e9), 1);
    ticks = ComputeAxisTicks(Settings(Horizontal(0, 2e9, 20)), kMeasure);
    EXPECT_TRUE(ticks.empty());
}

TEST(AxisLinearTicks, ThinnedLabelsNeverTouchAtAnyLength) {
    // A 3 s time axis at every length: the labels left stand apart, one label
    // step apart; the ticks stay those without thinning (0..3 s on 1500
    // pixels reads 0, 0.1, 0.2 .., not "0.050.10.150.20.25").
    const FixedTextMeasurer wide(8, 16);
    for (int length = 60; length <= 3000; length += 13) {
        const auto ticks = ComputeAxisTicks(Settings(Horizontal(0, 3.008, length)), wide);
        const double step = LinearTickStep(length, 40, 0, 3.008);
        std::vector<const AxisTick*> shown;
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            EXPECT_NEAR(ticks[i].value, static_cast<double>(i) * step, 1e-9);
            if (!ticks[i].text.empty() && ticks[i].value <= 3.008) shown.push_back(&ticks[i]);
        }
        ASSERT_GE(shown.size(), 1u) << length;
        for (std::size_t i = 1; i < shown.size(); ++i) {
            const AxisTick &a = *shown[i - 1], &b = *shown[i];
            EXPECT_GE(b.pixel - a.pixel, 4 * int(a.text.size() + b.text.size())) << length;
            EXPECT_NEAR(b.value - a.value, shown[1]->value - shown[0]->value, 1e-9) << length;
        }
    }
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(0, 3.008, 1500)), wide);
    EXPECT_EQ(FindTick(ticks, 0.05)->text, "");
    EXPECT_EQ(FindTick(ticks, 0.1)->text, "0.1");
    // The grid keeps its emphasis: the same as without thinning.
    const auto unthinned = ComputeAxisTicks(Settings(Horizontal(0, 3.008, 1500)), kMeasure);
    ASSERT_EQ(unthinned.size(), ticks.size());
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].major, unthinned[i].major);
}

TEST(AxisFit, DataRangeWithMarginOnNiceEnds) {
    struct Case {
        double lo, hi;
        bool log;
        double margin;
        bool ok;
        double wantLo, wantHi;
    };
    const Case cases[] = {
        {-8, 61, false, 0.1, true, -20, 70},  // levels: margin, then a step of 10
        {0, 3.008, false, 0, true, 0, 3.008}, // a time axis: exactly the data
        {2, 5, false, 1, true, 0, 8},         // a margin does not cross zero
        {-5, -2, false, 1, true, -8, 0},      // nor from below
        {5, 5, false, 0, true, 4, 6},         // equal ends widened by 1
        {200, 200, false, 0, true, 180, 220}, // .. or 10 %
        {187.5, 24000, true, 0, true, 187.5, 24000},
        {100, 100, true, 0, true, 50, 200},
        {1, 0, false, 0, false, 0, 0},
        {0, std::numeric_limits<double>::infinity(), false, 0, false, 0, 0},
        {0, 10, true, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        AxisRange r;
        ASSERT_EQ(FitAxisRange(c.lo, c.hi, c.log, c.margin, r), c.ok) << c.lo << ".." << c.hi;
        if (!c.ok) continue;
        EXPECT_NEAR(r.lo, c.wantLo, 1e-9 * std::fabs(c.wantHi)) << c.lo << ".." << c.hi;
        EXPECT_NEAR(r.hi, c.wantHi, 1e-9 * std::fabs(c.wantHi)) << c.lo << ".." << c.hi;
    }
}

// --- Logarithmic ticks -----------------------------------------------------------

TEST(AxisDecadeTicks, TwentyToTwentyThousandStartAtThirtyAndEndBeyond) {
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(20, 20000, 2000, true)), kMeasure);
    std::vector<double> expected;
    for (double e : {10.0, 100.0, 1000.0})
        for (int d = (e == 10 ? 3 : 1); d <= 9; ++d) expected.push_back(d * e);
    expected.insert(expected.end(), {10000, 20000, 30000});
    ASSERT_EQ(ticks.size(), expected.size());
    for (std::size_t i = 0; i < ticks.size(); ++i)
        EXPECT_NEAR(ticks[i].value, expected[i], 1e-9 * expected[i]) << i;
    EXPECT_EQ(ticks.front().text, "30");
    EXPECT_EQ(ticks[ticks.size() - 2].text, "20000");
    // Log pixels are not clamped: 30000 lies beyond the end.
    EXPECT_GT(ticks.back().pixel, 1999);
    EXPECT_EQ(FindTick(ticks, 20000)->pixel, 1999);
    // Emphasis on 1, 2 and 5 times a power of ten.
    EXPECT_TRUE(FindTick(ticks, 50)->major);
    EXPECT_TRUE(FindTick(ticks, 200)->major);
    EXPECT_FALSE(FindTick(ticks, 300)->major);
    EXPECT_FALSE(FindTick(ticks, 9000)->major);
    // Wide enough for every label within the range; 30000 sits on the end, under 20000.
    for (std::size_t i = 0; i + 1 < ticks.size(); ++i) EXPECT_FALSE(ticks[i].text.empty()) << i;
    EXPECT_TRUE(ticks.back().text.empty());
}

TEST(AxisDecadeTicks, ThinningKeepsLabelsInTheOrderOneTwoFiveThreeFour) {
    // 300 pixels, 6-pixel characters: labels collide and the first digit decides.
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(20, 20000, 300, true)), kMeasure);
    for (double v : {100.0, 1000.0, 10000.0, 200.0, 2000.0, 50.0, 500.0, 5000.0})
        EXPECT_FALSE(FindTick(ticks, v)->text.empty()) << v;
    // 20000 collides with 10000, which was placed first.
    EXPECT_TRUE(FindTick(ticks, 20000)->text.empty());
    // 300 loses against 200, 3000 against 2000; 30 is free.
    EXPECT_TRUE(FindTick(ticks, 300)->text.empty());
    EXPECT_TRUE(FindTick(ticks, 3000)->text.empty());
    EXPECT_FALSE(FindTick(ticks, 30)->text.empty());
    // 40 sits between 30 and 50, both placed before the fours.
    EXPECT_TRUE(FindTick(ticks, 40)->text.empty());

    // No two remaining labels overlap.
    std::vector<std::pair<int, int>> spans;
    for (const AxisTick& t : ticks)
        if (!t.text.empty()) {
            const int w = kMeasure.TextWidth(t.text);
            spans.emplace_back(t.pixel - w / 2, t.pixel + w / 2);
        }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) EXPECT_LT(spans[i - 1].second, spans[i].first);
}

TEST(AxisDecadeTicks, RatioOfFourOrLessUsesTheLinearRules) {
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(100, 300, 269, true)), kMeasure);
    // 269 pixels: 5 provisional ticks, step NiceNumber(40) = 50.
    ASSERT_EQ(ticks.size(), 6u);
    EXPECT_DOUBLE_EQ(ticks[0].value, 100);
    EXPECT_DOUBLE_EQ(ticks[1].value, 150);
    EXPECT_EQ(ticks[1].text, "150");
}

TEST(AxisDecadeTicks, NonPositiveEndFallsBackToLinearTicks) {
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(0, 20000, 269, true)), kMeasure);
    EXPECT_FALSE(ticks.empty());
    EXPECT_DOUBLE_EQ(ticks[0].value, 0);
}

TEST(AxisDecadeTicks, NextTick) {
    EXPECT_NEAR(NextDecadeTick(20), 30, 1e-9);
    EXPECT_NEAR(NextDecadeTick(90), 100, 1e-9);
    EXPECT_NEAR(NextDecadeTick(100), 200, 1e-9);
    EXPECT_NEAR(NextDecadeTick(0.5), 0.6, 1e-12);
    EXPECT_NEAR(NextDecadeTick(1), 2, 1e-12);
}

TEST(AxisMusicTicks, NaturalNotesNamedWithCEmphasised) {
    const auto ticks =
        ComputeAxisTicks(Settings(Horizontal(100, 1000, 2000, true), true), kMeasure);
    ASSERT_FALSE(ticks.empty());
    const AxisTick* a4 = FindTick(ticks, 440);
    ASSERT_NE(a4, nullptr);
    EXPECT_EQ(a4->text, "A4");
    EXPECT_FALSE(a4->major);
    const AxisTick* c5 = FindTick(ticks, NoteFrequency(72));
    ASSERT_NE(c5, nullptr);
    EXPECT_EQ(c5->text, "C5");
    EXPECT_TRUE(c5->major);
    for (const AxisTick& t : ticks) {
        const long n = std::lround(NoteNumber(t.value));
        EXPECT_FALSE(IsBlackKey(n)) << t.value;
        EXPECT_EQ(t.text.find('#'), std::string::npos);
        EXPECT_FALSE(t.text.size() > 1 && t.text[1] == 'b') << t.text;
    }
    EXPECT_NEAR(NextWhiteKey(440), NoteFrequency(71), 1e-9);
    EXPECT_NEAR(NextWhiteKey(NoteFrequency(71)), NoteFrequency(72), 1e-9);
    EXPECT_NEAR(NextWhiteKey(NoteFrequency(65)), NoteFrequency(67), 1e-9); // F -> G over F#
}

TEST(AxisMusicTicks, NarrowAxisKeepsAFirst) {
    const auto ticks = ComputeAxisTicks(Settings(Horizontal(100, 1000, 150, true), true), kMeasure);
    EXPECT_EQ(FindTick(ticks, 440)->text, "A4");
    EXPECT_EQ(FindTick(ticks, NoteFrequency(71))->text, ""); // B4 next to A4
}

TEST(AxisMusicTicks, NonPositiveEndShowsALinearScale) {
    auto ticks = ComputeAxisTicks(Settings(Horizontal(0, 1000, 269, true), true), kMeasure);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks[0].text, "0");
    // A negative end: the linear rules with inverted ends, an empty table.
    ticks = ComputeAxisTicks(Settings(Horizontal(100, -5, 269, true), true), kMeasure);
    EXPECT_TRUE(ticks.empty());
}

// --- Transform -------------------------------------------------------------------

TEST(AxisTransform, RoundTripWithinOnePixelForEveryPositionAndReverse) {
    for (bool log : {false, true})
        for (tposition pos : {posleft, posright, posover, posunder})
            for (bool reverse : {false, true}) {
                AxisTransform t;
                t.lo = log ? 20 : -3.5;
                t.hi = log ? 20000 : 17.25;
                t.width = 313;
                t.height = 241;
                t.position = pos;
                t.reverse = reverse;
                t.logarithmic = log;
                const int m = t.Length() - 1;
                for (int i = 0; i <= 50; ++i) {
                    const double v = log ? t.lo * std::pow(t.hi / t.lo, i / 50.0)
                                         : t.lo + (t.hi - t.lo) * i / 50;
                    const int p = ValueToPixel(t, v);
                    ASSERT_GE(p, 0);
                    ASSERT_LE(p, m);
                    const double back = PixelToValue(t, p);
                    const double pixelWorth = log ? std::log(t.hi / t.lo) / m : (t.hi - t.lo) / m;
                    const double diff = log ? std::fabs(std::log(back / v)) : std::fabs(back - v);
                    EXPECT_LE(diff, pixelWorth) << pos << reverse << log << " v=" << v;
                }
            }
}

TEST(AxisTransform, EndsAndDirections) {
    AxisTransform t;
    t.lo = 0;
    t.hi = 10;
    t.height = 240;
    t.position = posleft;
    EXPECT_EQ(ValueToPixel(t, 0), 239); // vertical: low end at the bottom
    EXPECT_EQ(ValueToPixel(t, 10), 0);
    t.reverse = true;
    EXPECT_EQ(ValueToPixel(t, 0), 0);
    t.position = posunder;
    t.width = 100;
    t.reverse = false;
    EXPECT_EQ(ValueToPixel(t, 0), 0);
    EXPECT_EQ(ValueToPixel(t, 10), 99);
    EXPECT_EQ(ValueToPixel(t, 20), 198); // not clamped
    EXPECT_EQ(ValueToPixelClamped(t, 20), 99);
    EXPECT_EQ(ValueToPixelClamped(t, -20), 0);
    t.reverse = true;
    EXPECT_EQ(ValueToPixel(t, 0), 99);
    EXPECT_DOUBLE_EQ(PixelToValue(t, 99), 0);
    EXPECT_DOUBLE_EQ(PixelToValue(t, -50), 10); // clamped to the ends
}

TEST(AxisTransform, FailuresGiveZeroResults) {
    AxisTransform t = Horizontal(20, 20000, 300, true);
    EXPECT_EQ(ValueToPixel(t, 0), 0);
    EXPECT_EQ(ValueToPixel(t, -1), 0);
    EXPECT_EQ(ValueToPixel(t, std::nan("")), 0);
    t.lo = 0; // a bad end kept on a log axis
    EXPECT_EQ(ValueToPixel(t, 100), 0);
    EXPECT_DOUBLE_EQ(PixelToValue(t, 100), 0);
    t = Horizontal(5, 5, 300);
    EXPECT_EQ(ValueToPixel(t, 5), 0);
    EXPECT_DOUBLE_EQ(PixelToValue(t, 100), 5);
    t = Horizontal(20, 20, 300, true);
    EXPECT_EQ(ValueToPixel(t, 2000), 0);
    t = Horizontal(0, 1, 1);
    t.position = posunder;
    EXPECT_DOUBLE_EQ(PixelToValue(t, 0), 0);
}

TEST(AxisTransform, ValuesFarBeyondAnEndLieBeyondThatEnd) {
    struct Case {
        double lo, hi;
        bool log;
        std::vector<double> above, below; // values beyond the high and the low end
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        // The radius view: 0..4 m, a room of 1e20 m^3 gives radii of about 1e9 m.
        {0, 4, false, {5.6e8, 1e12, 1e20, 1e300, inf}, {-1e12, -1e300, -inf}},
        // Deep zoom: one pixel is worth 3e-15.
        {1, 1 + 1e-12, false, {1.01, 2, 1e10}, {0.99, 0, -5}},
        // Ends whose difference overflows.
        {-1e308, 1e308, false, {inf}, {-inf}},
        // A zoomed-out and a zoomed-in frequency axis.
        {20, 1e300, true, {1e301, 1e308, inf}, {1, 1e-300}},
        {1000, 1000.000001, true, {2000, 1e300}, {999, 1e-300}},
    };
    for (const Case& c : cases)
        for (tposition pos : {posleft, posunder})
            for (bool reverse : {false, true}) {
                AxisTransform t = Horizontal(c.lo, c.hi, 300, c.log);
                t.height = 200;
                t.position = pos;
                t.reverse = reverse;
                const int hiPixel = ValueToPixel(t, c.hi);
                const int loPixel = ValueToPixel(t, c.lo);
                ASSERT_NE(hiPixel, loPixel);
                const bool hiBelow = hiPixel < loPixel; // the high end at a smaller pixel
                for (double v : c.above) {
                    EXPECT_EQ(ValueToPixelClamped(t, v), hiPixel) << c.lo << " " << v;
                    const int p = ValueToPixel(t, v);
                    EXPECT_TRUE(hiBelow ? p <= hiPixel : p >= hiPixel) << v << " " << p;
                }
                for (double v : c.below) EXPECT_EQ(ValueToPixelClamped(t, v), loPixel) << v;
            }
    // Ends whose difference overflows still place the middle in the middle.
    EXPECT_EQ(ValueToPixel(Horizontal(-1e308, 1e308, 301), 0), 150);
    EXPECT_EQ(ValueToPixel(Horizontal(-1e308, 1e308, 301), 1e308), 300);
}

// --- Clamping on read ---------------------------------------------------------------

TEST(AxisClamping, IsIntegerRoundsAndCeilsToTheLimits) {
    AxisLimits l;
    l.IsInteger = true;
    l.MinLoValue = 0.5;
    EXPECT_DOUBLE_EQ(ClampedLoValue(0.2, l), 1);
    EXPECT_DOUBLE_EQ(ClampedLoValue(2.5, l), 2); // ties to even
    l.MaxLoValue = 7.9;
    EXPECT_DOUBLE_EQ(ClampedLoValue(100, l), 7);
    EXPECT_DOUBLE_EQ(ClampedLoValue(1e300, l), 7);
    l = AxisLimits{};
    l.IsInteger = true;
    EXPECT_DOUBLE_EQ(ClampedLoValue(1e300, l), 1e300); // no range failure on read
    EXPECT_DOUBLE_EQ(ClampedHiValue(3.5, 0, l), 4);
}

TEST(AxisClamping, DifferenceBoundsUseTheStoredLowEndAndTheMinimumWins) {
    AxisLimits l;
    l.MinLoValue = 0;
    l.MaxHiValue = 10;
    l.MaxValueDifference = 5;
    // Difference measured from the unclamped -3, not from the clamped 0.
    EXPECT_DOUBLE_EQ(ClampedLoValue(-3, l), 0);
    EXPECT_DOUBLE_EQ(ClampedHiValue(8, -3, l), 2);
    l.MinValueDifference = 20;
    EXPECT_DOUBLE_EQ(ClampedHiValue(8, -3, l), 17); // beyond MaxHiValue: minimum wins
    AxisLimits m;
    m.MinLoValue = 5;
    m.MaxLoValue = 2; // the maximum is applied last
    EXPECT_DOUBLE_EQ(ClampedLoValue(0, m), 2);
}

// --- Dragging ------------------------------------------------------------------------

TEST(AxisDrag, MidScrollZonesOnA240PixelVerticalAxis) {
    const AxisDragPermissions all{true, true, true};
    const int start = ClampDragStart(5, 240);
    EXPECT_EQ(start, 11);
    EXPECT_EQ(DragModeAt(true, start, 30, 240, all), kDragHighEnd);
    EXPECT_EQ(DragModeAt(true, ClampDragStart(120, 240), 30, 240, all), kDragRange);
    EXPECT_EQ(DragModeAt(true, ClampDragStart(200, 240), 30, 240, all), kDragLowEnd);
    EXPECT_EQ(ClampDragStart(239, 240), 229);
    // Horizontal: the low end at the left.
    EXPECT_EQ(DragModeAt(false, 20, 240, 30, all), kDragLowEnd);
    EXPECT_EQ(DragModeAt(false, 220, 240, 30, all), kDragHighEnd);
    // Halves without mid scrolling; single permissions everywhere.
    const AxisDragPermissions ends{true, true, false};
    EXPECT_EQ(DragModeAt(true, 119, 30, 240, ends), kDragHighEnd);
    EXPECT_EQ(DragModeAt(true, 120, 30, 240, ends), kDragLowEnd);
    EXPECT_EQ(DragModeAt(true, 10, 30, 240, {true, false, true}), kDragLowEnd);
    EXPECT_EQ(DragModeAt(false, 10, 240, 30, {false, true, true}), kDragHighEnd);
    EXPECT_EQ(DragModeAt(false, 10, 240, 30, {false, false, true}), kDragNone);
}

TEST(AxisDrag, LinearFormulasKeepTheValueUnderTheMouse) {
    // Vertical 0..10 on 240 pixels, high end grabbed at y=60, moved to y=120.
    auto r = DragEnds(true, false, kDragHighEnd, 60, 120, 30, 240, 0, 10);
    EXPECT_TRUE(r.setHi);
    EXPECT_FALSE(r.setLo);
    EXPECT_DOUBLE_EQ(r.hi, 0 + (180.0 / 120.0) * 10);
    // Low end at y=180 moved to y=90: Lo := Hi0 + (y0/y)(Lo0-Hi0).
    r = DragEnds(true, false, kDragLowEnd, 180, 90, 30, 240, 0, 10);
    EXPECT_DOUBLE_EQ(r.lo, 10 + 2.0 * (0 - 10));
    // The low end's coordinate is kept at least 10 pixels from the top.
    r = DragEnds(true, false, kDragLowEnd, 180, 0, 30, 240, 0, 10);
    EXPECT_DOUBLE_EQ(r.lo, 10 + 18.0 * (0 - 10));
    // Range: 60 pixels down on 240 moves both ends up by a quarter of the range.
    r = DragEnds(true, false, kDragRange, 100, 160, 30, 240, 0, 10);
    EXPECT_DOUBLE_EQ(r.hi, 12.5);
    EXPECT_DOUBLE_EQ(r.lo, 2.5);
    // Horizontal: range moves opposite to the mouse; ends per the mirrored formulas.
    r = DragEnds(false, false, kDragRange, 100, 160, 240, 30, 0, 10);
    EXPECT_DOUBLE_EQ(r.hi, 7.5);
    EXPECT_DOUBLE_EQ(r.lo, -2.5);
    r = DragEnds(false, false, kDragHighEnd, 200, 100, 240, 30, 0, 10);
    EXPECT_DOUBLE_EQ(r.hi, 20);
    r = DragEnds(false, false, kDragLowEnd, 40, 140, 240, 30, 0, 10);
    EXPECT_DOUBLE_EQ(r.lo, 10 + (200.0 / 100.0) * (0 - 10));
}

TEST(AxisDrag, LogarithmicFormulas) {
    auto r = DragEnds(false, true, kDragHighEnd, 200, 100, 240, 30, 20, 20000);
    EXPECT_NEAR(r.hi, 20 * std::pow(1000.0, 2.0), 1e-6);
    r = DragEnds(false, true, kDragLowEnd, 40, 140, 240, 30, 20, 20000);
    EXPECT_NEAR(r.lo, 20000 * std::pow(0.001, 2.0), 1e-12);
    r = DragEnds(true, true, kDragRange, 100, 160, 30, 240, 20, 20000);
    const double q = std::pow(1000.0, 60.0 / 240.0);
    EXPECT_NEAR(r.hi, 20000 * q, 1e-6);
    EXPECT_NEAR(r.lo, 20 * q, 1e-9);
    // A non-positive end makes the formula fail instead of producing NaN.
    EXPECT_THROW(DragEnds(true, true, kDragRange, 100, 160, 30, 240, 0, 20000), EMathError);
    EXPECT_THROW(DragEnds(true, true, kDragLowEnd, 100, 160, 30, 240, -1, 20000), EMathError);
}

} // namespace
} // namespace ravlon
