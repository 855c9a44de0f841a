#include "measure/specimage.h"

#include "recording/numtext.h"
#include "views/viewmath.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ravlon {

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
            double noiseSum = store.NoiseSpecSum()[static_cast<size_t>(bin)];
            for (int64_t x = 0; x < width; ++x) {
                int32_t fr = colFrame[static_cast<size_t>(x)];
                double mean = FDiv(store.SpecSum(fr)[static_cast<size_t>(bin)],
                                   counts[static_cast<size_t>(fr)]);
                double value = FDiv(mean, noiseSum) * noiseCount;
                row[x] = GrayPixel(LevelToGrayValue(value, levelLo, levelHi));
                ++drawn;
            }
        }
    } catch (const Exception&) {
        // The image ends at the first pixel that cannot be formed.
    }
    return drawn;
}

} // namespace ravlon
