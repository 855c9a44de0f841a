// The simulated room: loudspeaker signal -> impulse response -> microphone,
// plus background noise, after a fixed latency, one sample clock for both.
// Qt-free so the acoustics can be tested and benchmarked on their own.
//
// Configuration text (the part after "room:" in RAVLON_AUDIO), comma-separated
// key=value pairs, every key optional:
//   t60=<s>                    one reverberation time for every octave band
//   t60=<Hz>:<s>/<Hz>:<s>/...  per octave band; log-frequency interpolation in
//                              between, constant beyond the first and last point
//   ir=<path>                  impulse response from a mono WAV file (read by the
//                              platform layer; it replaces t60)
//   noise=<dBFS>|off           background noise, RMS relative to full scale
//   latency=<ms>               output-to-input delay
//   gain=<dB>                  energy of the impulse response (0 dB: white noise
//                              keeps its level)
//   seed=<n>                   seed of the impulse response and the noise
//   pace=realtime|fast         fast: as fast as the program consumes buffers
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace ravlon {

class RoomConvolver;

struct RoomConfig {
    // (frequency Hz, T60 s) points, ascending frequency; one point = all bands.
    std::vector<std::pair<double, double>> t60{{1000.0, 0.8}};
    std::string irFile;     // non-empty: use this file instead of t60
    double noiseDb = -70.0; // RMS in dB re full scale (32768)
    bool noiseOn = true;
    double latencyMs = 10.0;
    double gainDb = 0.0;
    std::uint32_t seed = 1;
    bool fast = false;

    // Raises ravlon::Exception with a readable reason for any bad key or value.
    static RoomConfig parse(const std::string& text);

    // T60 [s] at frequency f [Hz] from the points.
    double t60At(double f) const;
};

// Octave-band centres used by the synthesis (31.25 Hz ... 16 kHz).
std::vector<double> RoomOctaveCentres();

// Exponentially decaying noise whose octave bands decay exactly with the
// configured T60: the noise is split into bands by a brick-wall partition of
// its spectrum, every band gets its own envelope, and the bands are summed.
// Length: until the slowest band has fallen 90 dB. Energy scaled to gainDb.
std::vector<double> SynthesizeRoomImpulse(const RoomConfig& config, int sampleRate);

// Streams samples through the room. Allocation happens in the constructor
// only; process() is real-time safe. One thread at a time.
class RoomSimulator {
public:
    // ir: the room's response without the latency (already scaled).
    RoomSimulator(const RoomConfig& config, int sampleRate, std::vector<double> ir);
    ~RoomSimulator();
    RoomSimulator(const RoomSimulator&) = delete;
    RoomSimulator& operator=(const RoomSimulator&) = delete;

    static constexpr std::size_t kBlock = 1024;

    // speaker: kBlock loudspeaker samples (full scale 32768) of the current
    // block; microphone receives the kBlock samples recorded at the same instants,
    // rounded and clipped to 16 bits.
    void process(const double* speaker, std::int16_t* microphone);

    const std::vector<double>& impulseResponse() const { return ir_; }
    std::size_t latencySamples() const { return latency_; }
    double noiseRms() const { return noiseRms_; }

private:
    std::vector<double> ir_;
    std::size_t latency_;
    double noiseRms_;
    std::unique_ptr<RoomConvolver> convolver_;
    std::mt19937 noiseRng_;
    std::normal_distribution<double> gauss_;
    std::vector<double> wet_;
};

} // namespace ravlon
