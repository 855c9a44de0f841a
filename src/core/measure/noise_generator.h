// The noise generator of the measurement run (MPCPlay1Stash) and its
// random generator, without the sound components: the main window calls
// FillNoise (or TSpectrogram::FillNoise) for every output buffer.
//
// TNoiseRandom is the program's 32-bit linear congruential generator: seed 0
// at program start, never reseeded, so every program start plays the same
// noise and a new run continues the sequence where the previous one stopped.
// The main window holds the one instance for the life of the program.
// Not thread-safe; the UI thread is its only user.
//
// Output level: an attenuation in dB scales every noise sample by NoiseGain;
// 0 dB (the default) leaves the samples exactly as they are.
#pragma once

#include <cstdint>

namespace ravlon {

class TNoiseRandom {
public:
    // One draw with range n: seed := seed * 134775813 + 1 (mod 2^32);
    // result := (seed * n) shr 32 in 64-bit unsigned arithmetic, so 0 <= result < n.
    uint32_t Random(uint32_t n) {
        seed_ = seed_ * 134775813u + 1u;
        return static_cast<uint32_t>((static_cast<uint64_t>(seed_) * n) >> 32);
    }
    uint32_t Seed() const { return seed_; }

private:
    uint32_t seed_ = 0;
};

// Fills arr[0 .. used-1] for the cycle positions pos1 (noise start), pos2
// (noise end) and pos3 (cycle end): silence (0) where PlayPos < pos1 or
// PlayPos >= pos2, otherwise Random(65535) - 32768 (-32768 .. 32766); PlayPos
// advances by one per sample and wraps to 0 when it reaches pos3. A count
// used <= 0 fills nothing. The random generator is drawn only for noise samples.
// gain (from NoiseGain): each noise sample becomes gain * sample rounded to the
// nearest integer, ties to even; a gain of exactly 1 takes the samples as drawn.
void FillNoise(TNoiseRandom& rng, int16_t* arr, int32_t used, int32_t& PlayPos, int32_t pos1,
               int32_t pos2, int32_t pos3, double gain = 1.0);

// Largest output attenuation accepted, dB: below it the noise would be lost in
// the 16-bit rounding.
inline constexpr double MaxNoiseAttenuation = 90.0;
// The amplitude factor 10^(-attenuationDb / 20) of an output attenuation; 0 dB
// gives exactly 1. Raises ERangeError "Output attenuation must be 0 ... 90 dB"
// for a value outside 0 ... MaxNoiseAttenuation or not finite.
double NoiseGain(double attenuationDb);

} // namespace ravlon
