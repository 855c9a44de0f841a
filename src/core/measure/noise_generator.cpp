#include "core/measure/noise_generator.h"

#include "core/base/errors.h"

#include <cmath>

namespace ravlon {

void FillNoise(TNoiseRandom& rng, int16_t* arr, int32_t used, int32_t& PlayPos, int32_t pos1,
               int32_t pos2, int32_t pos3, double gain) {
    const bool scaled = gain != 1.0;
    for (int32_t i = 0; i < used; ++i) {
        if (PlayPos < pos1 || PlayPos >= pos2) {
            arr[i] = 0;
        } else {
            const int32_t v = static_cast<int32_t>(rng.Random(65535)) - 32768;
            // |gain * v| <= 32768 with gain <= 1: the rounded value always fits,
            // and -32768 stays -32768 at 0 dB.
            arr[i] =
                scaled ? static_cast<int16_t>(std::nearbyint(gain * v)) : static_cast<int16_t>(v);
        }
        ++PlayPos;
        if (PlayPos >= pos3) PlayPos = 0;
    }
}

double NoiseGain(double attenuationDb) {
    if (!(attenuationDb >= 0.0 && attenuationDb <= MaxNoiseAttenuation))
        throw ERangeError("Output attenuation must be 0 ... 90 dB");
    return attenuationDb == 0.0 ? 1.0 : std::pow(10.0, -attenuationDb / 20.0);
}

} // namespace ravlon
