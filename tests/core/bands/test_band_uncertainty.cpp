// ISO 3382-2 uncertainty of T20 and T30, with numbers worked by hand.
#include "core/bands/band_uncertainty.h"

#include <gtest/gtest.h>

using namespace ravlon;

TEST(BandUncertainty, IsoFormulaWithNumbers) {
    // 1 kHz octave: B = 710 Hz. T = 1 s, n = 10 decays, N = 1 position:
    // T20: 0.88 * sqrt(1.19 / 710) = 0.036027; T30: 0.55 * sqrt(1.152 / 710) = 0.022155.
    const double b = UncertaintyBandwidth(TBandSet::Octave, 1000);
    EXPECT_DOUBLE_EQ(b, 710);
    EXPECT_NEAR(ReverberationSigma(TSigmaRange::T20, 1.0, 10, 1, b), 0.036027, 1e-6);
    EXPECT_NEAR(ReverberationSigma(TSigmaRange::T30, 1.0, 10, 1, b), 0.022155, 1e-6);
    // 250 Hz third: B = 57.5 Hz; T = 0.4 s, n = 20, N = 3:
    // T30: 0.55 * 0.4 * sqrt(1.076 / (3 * 57.5 * 0.4)) = 0.027473.
    const double b3 = UncertaintyBandwidth(TBandSet::ThirdOctave, 250);
    EXPECT_DOUBLE_EQ(b3, 57.5);
    EXPECT_NEAR(ReverberationSigma(TSigmaRange::T30, 0.4, 20, 3, b3), 0.027473, 1e-6);
    // Nothing to form it from.
    EXPECT_EQ(ReverberationSigma(TSigmaRange::T20, 0, 10, 1, b), 0);
    EXPECT_EQ(ReverberationSigma(TSigmaRange::T20, 1, 0, 1, b), 0);
}
