#include "core/measure/spectrogram_image.h"

#include "core/base/numtext.h"
#include "core/views/view_math.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace ravlon {

namespace {

// LevelToGrayValue, the same result bit for bit: the level is first formed
// with the double logarithm, and only where that leaves the rounding in doubt
// (within 1e-6 of a half step) or the input is out of the ordinary does the
// exact rule run, with its errors. The exact logarithm is the slow part of a
// paint.
int GrayOf(double p, double lo, double hi) {
    if (p > 0 && std::isfinite(p) && hi != lo) {
        const double x = (10.0 * std::log10(p) - lo) / (hi - lo) * 255;
        if (std::isfinite(x) && std::fabs(x) < 1e9) {
            const double frac = x - std::floor(x);
            if (std::fabs(frac - 0.5) > 1e-6) {
                const int g = static_cast<int>(std::floor(x + 0.5));
                return std::clamp(255 - g, 0, 255);
            }
        }
    }
    return LevelToGrayValue(p, lo, hi);
}

} // namespace

int64_t RenderSpectrogram(const TSpectrogram& store, std::span<const double> rowFreq,
                          std::span<const double> colTime, double levelLo, double levelHi,
                          uint32_t* pixels, int64_t stride) {
    const int32_t frames = store.Frames(), bins = store.Bins();
    const auto width = static_cast<int64_t>(colTime.size());
    int64_t drawn = 0;
    try {
        if (frames <= 0 || bins <= 0) return 0;
        std::vector<int32_t> colFrame(colTime.size());
        for (size_t x = 0; x < colTime.size(); ++x)
            colFrame[x] = TimeToFrame(colTime[x], frames, store.Pos3(), store.SampFreq());
        const auto& counts = store.SpecCount();
        const double noiseCount = static_cast<double>(store.NoiseSpecCount());
        // The pixel colour of each (frame, bin) cell is formed once per paint,
        // when a row of that bin first needs it: a column that shows the same
        // frame as another takes the finished colour. -1: not formed yet.
        std::vector<int32_t> cell(static_cast<size_t>(frames));
        int32_t prevBin = -1;
        for (size_t y = 0; y < rowFreq.size(); ++y) {
            uint32_t* row = pixels + static_cast<int64_t>(y) * stride;
            int32_t bin = FrequencyToBin(rowFreq[y], bins, store.SampFreq());
            if (bin == prevBin) {
                std::memcpy(row, row - stride, static_cast<size_t>(width) * sizeof(uint32_t));
                drawn += width;
                continue;
            }
            prevBin = bin;
            std::fill(cell.begin(), cell.end(), -1);
            double noiseSum = store.NoiseSpecSum()[static_cast<size_t>(bin)];
            for (int64_t x = 0; x < width; ++x) {
                int32_t fr = colFrame[static_cast<size_t>(x)];
                int32_t& gray = cell[static_cast<size_t>(fr)];
                if (gray < 0) {
                    double mean = FDiv(store.SpecSum(fr)[static_cast<size_t>(bin)],
                                       counts[static_cast<size_t>(fr)]);
                    double value = FDiv(mean, noiseSum) * noiseCount;
                    gray = GrayOf(value, levelLo, levelHi);
                }
                row[x] = GrayPixel(gray);
                ++drawn;
            }
        }
    } catch (const Exception&) {
        // The image ends at the first pixel that cannot be formed.
    }
    return drawn;
}

} // namespace ravlon
