// The spectrogram image forms each cell's colour once per paint; the picture
// must be the one of the plain per-pixel rule, pixel for pixel, and end at
// the same pixel where a value cannot be formed.
#include "core/base/numtext.h"
#include "core/measure/spectrogram_image.h"
#include "core/views/view_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace ravlon;

namespace {

// The per-pixel rule: every pixel's level from its own frame and bin.
int64_t PerPixel(const TSpectrogram& s, const std::vector<double>& rowFreq,
                 const std::vector<double>& colTime, double lo, double hi,
                 std::vector<uint32_t>& px) {
    int64_t drawn = 0;
    const auto w = static_cast<int64_t>(colTime.size());
    try {
        for (size_t y = 0; y < rowFreq.size(); ++y) {
            const int32_t bin = FrequencyToBin(rowFreq[y], s.Bins(), s.SampFreq());
            for (int64_t x = 0; x < w; ++x) {
                const int32_t fr = TimeToFrame(colTime[static_cast<size_t>(x)], s.Frames(),
                                               s.Pos3(), s.SampFreq());
                const double mean = FDiv(s.SpecSum(fr)[static_cast<size_t>(bin)],
                                         s.SpecCount()[static_cast<size_t>(fr)]);
                const double v = FDiv(mean, s.NoiseSpecSum()[static_cast<size_t>(bin)]) *
                                 static_cast<double>(s.NoiseSpecCount());
                px[y * colTime.size() + static_cast<size_t>(x)] =
                    GrayPixel(LevelToGrayValue(v, lo, hi));
                ++drawn;
            }
        }
    } catch (const Exception&) {
    }
    return drawn;
}

} // namespace

TEST(SpectrogramImage, CellsFormedOnceGiveThePerPixelPicture) {
    TFFT fft;
    TSpectrogram s(fft);
    TSpectrogram::RunSettings settings; // 48 kHz, 500 Hz, 1 s / 1 s / 1 s
    s.SetupRun(settings);
    std::vector<double> power(static_cast<size_t>(s.Bins()));
    // Frames from `filled` on have no spectra yet (a first cycle in progress).
    const int32_t filled = 400;
    for (int32_t f = 0; f < filled; ++f) {
        for (int32_t b = 0; b < s.Bins(); ++b)
            power[static_cast<size_t>(b)] = std::exp(-0.01 * f) * (1 + 0.3 * ((b * 7 + f) % 5));
        s.AddSpectrum(f, power);
    }
    s.UpdateNoiseReference();

    struct Case {
        int w, h;
        double fLo, fHi, tHi, lo, hi;
    };
    for (const Case& c : {Case{640, 300, 20, 20000, 2.0, -40, 40}, // inside the filled frames
                          Case{333, 517, 100, 5000, 1.9, -10, 60}, // more rows than bins
                          Case{800, 200, 20, 20000, 3.0, -40, 40}, // ends at an empty frame
                          Case{50, 40, 1000, 1000, 2.0, 0, 0}}) {  // a level axis without range
        std::vector<double> rowFreq(static_cast<size_t>(c.h)), colTime(static_cast<size_t>(c.w));
        for (int y = 0; y < c.h; ++y)
            rowFreq[static_cast<size_t>(y)] =
                c.fLo * std::pow(c.fHi / c.fLo, (c.h - 1.0 - y) / std::max(1, c.h - 1));
        for (int x = 0; x < c.w; ++x) colTime[static_cast<size_t>(x)] = c.tHi * x / (c.w - 1);
        const size_t n = static_cast<size_t>(c.w) * static_cast<size_t>(c.h);
        std::vector<uint32_t> expected(n, 0xFFFFFFFFu), got(n, 0xFFFFFFFFu);
        const int64_t want = PerPixel(s, rowFreq, colTime, c.lo, c.hi, expected);
        EXPECT_EQ(RenderSpectrogram(s, rowFreq, colTime, c.lo, c.hi, got.data(), c.w), want)
            << c.w << "x" << c.h;
        EXPECT_TRUE(got == expected) << c.w << "x" << c.h;
    }
}
