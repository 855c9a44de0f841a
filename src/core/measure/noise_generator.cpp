#include "core/measure/noise_generator.h"

namespace ravlon {

void FillNoise(TNoiseRandom& rng, int16_t* arr, int32_t used, int32_t& PlayPos, int32_t pos1,
               int32_t pos2, int32_t pos3) {
    for (int32_t i = 0; i < used; ++i) {
        if (PlayPos < pos1 || PlayPos >= pos2)
            arr[i] = 0;
        else
            arr[i] = static_cast<int16_t>(static_cast<int32_t>(rng.Random(65535)) - 32768);
        ++PlayPos;
        if (PlayPos >= pos3) PlayPos = 0;
    }
}

} // namespace ravlon
