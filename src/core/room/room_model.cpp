#include "core/room/room_model.h"

#include "core/base/errors.h"
#include "core/room/room_convolver.h"
#include "core/room/room_fft.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace ravlon {

namespace {

double parseNumber(const std::string& key, const std::string& text) {
    double v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v))
        throw Exception("RAVLON_AUDIO: " + key + "=" + text + " is not a number");
    return v;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

} // namespace

RoomConfig RoomConfig::parse(const std::string& text) {
    RoomConfig c;
    if (text.empty()) return c;
    for (const std::string& item : split(text, ',')) {
        const auto eq = item.find('=');
        if (eq == std::string::npos)
            throw Exception("RAVLON_AUDIO: \"" + item + "\" is not key=value");
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (key == "t60") {
            c.t60.clear();
            if (value.find(':') == std::string::npos) {
                c.t60.push_back({1000.0, parseNumber(key, value)});
            } else {
                for (const std::string& point : split(value, '/')) {
                    const auto colon = point.find(':');
                    if (colon == std::string::npos)
                        throw Exception("RAVLON_AUDIO: t60 point \"" + point +
                                        "\" is not <Hz>:<s>");
                    c.t60.push_back({parseNumber(key, point.substr(0, colon)),
                                     parseNumber(key, point.substr(colon + 1))});
                }
                std::sort(c.t60.begin(), c.t60.end());
            }
            for (const auto& [f, t] : c.t60)
                if (f <= 0 || t < 0.01 || t > 30)
                    throw Exception("RAVLON_AUDIO: t60 needs frequencies > 0 and times of "
                                    "0.01 ... 30 s");
        } else if (key == "ir") {
            if (value.empty()) throw Exception("RAVLON_AUDIO: ir= needs a file name");
            c.irFile = value;
        } else if (key == "noise") {
            if (value == "off") {
                c.noiseOn = false;
            } else {
                c.noiseDb = parseNumber(key, value);
                c.noiseOn = true;
                if (c.noiseDb > 0) throw Exception("RAVLON_AUDIO: noise must be <= 0 dBFS");
            }
        } else if (key == "latency") {
            c.latencyMs = parseNumber(key, value);
            if (c.latencyMs < 0 || c.latencyMs > 2000)
                throw Exception("RAVLON_AUDIO: latency must be 0 ... 2000 ms");
        } else if (key == "gain") {
            c.gainDb = parseNumber(key, value);
            if (c.gainDb < -120 || c.gainDb > 40)
                throw Exception("RAVLON_AUDIO: gain must be -120 ... 40 dB");
        } else if (key == "seed") {
            const double s = parseNumber(key, value);
            if (s < 0 || s > 4294967295.0 || s != std::floor(s))
                throw Exception("RAVLON_AUDIO: seed must be an integer 0 ... 4294967295");
            c.seed = std::uint32_t(s);
        } else if (key == "pace") {
            if (value == "fast")
                c.fast = true;
            else if (value == "realtime")
                c.fast = false;
            else
                throw Exception("RAVLON_AUDIO: pace must be realtime or fast");
        } else {
            throw Exception("RAVLON_AUDIO: unknown key \"" + key + "\"");
        }
    }
    return c;
}

double RoomConfig::t60At(double f) const {
    if (t60.empty()) return 0.8;
    if (t60.size() == 1 || f <= t60.front().first) return t60.front().second;
    if (f >= t60.back().first) return t60.back().second;
    for (std::size_t i = 1; i < t60.size(); ++i) {
        if (f <= t60[i].first) {
            const auto [f0, t0] = t60[i - 1];
            const auto [f1, t1] = t60[i];
            const double x = std::log(f / f0) / std::log(f1 / f0);
            return t0 + x * (t1 - t0);
        }
    }
    return t60.back().second;
}

std::vector<double> RoomOctaveCentres() {
    std::vector<double> c;
    for (double f = 31.25; f <= 16000.0; f *= 2) c.push_back(f);
    return c;
}

std::vector<double> SynthesizeRoomImpulse(const RoomConfig& config, int sampleRate) {
    if (sampleRate <= 0) throw Exception("Room sample rate must be positive");
    const std::vector<double> centres = RoomOctaveCentres();
    std::vector<double> t60s;
    double slowest = 0;
    for (double f : centres) {
        t60s.push_back(config.t60At(f));
        slowest = std::max(slowest, t60s.back());
    }
    // 90 dB of decay: below the 16-bit floor of a full-scale excitation.
    const std::size_t length = std::max<std::size_t>(16, std::size_t(1.5 * slowest * sampleRate));
    std::size_t n = 2;
    while (n < length) n <<= 1;

    std::mt19937 rng(config.seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<std::complex<double>> spectrum(n);
    for (std::size_t i = 0; i < length; ++i) spectrum[i] = gauss(rng);
    RoomFft fft(n);
    fft.forward(spectrum.data());

    std::vector<double> ir(length, 0.0);
    std::vector<std::complex<double>> band(n);
    for (std::size_t b = 0; b < centres.size(); ++b) {
        const double lo = b == 0 ? 0.0 : centres[b] / std::sqrt(2.0);
        const double hi = b + 1 == centres.size() ? 1e12 : centres[b] * std::sqrt(2.0);
        std::fill(band.begin(), band.end(), std::complex<double>{});
        bool any = false;
        for (std::size_t k = 0; k <= n / 2; ++k) {
            const double f = double(k) * sampleRate / double(n);
            if (f >= lo && f < hi) {
                band[k] = spectrum[k];
                if (k != 0 && k != n / 2) band[n - k] = spectrum[n - k];
                any = true;
            }
        }
        if (!any) continue;
        fft.inverse(band.data());
        // A narrow band of noise has a fluctuating envelope, which would make
        // its decay read differently from one seed to the next. Dividing by
        // the band's short-time RMS (window: many periods of the band width)
        // flattens it while keeping the band's mean level.
        const double width = std::max(hi > 1e11 ? sampleRate / 2.0 - lo : hi - lo, 1.0);
        const std::size_t half =
            std::max<std::size_t>(8, std::size_t(std::max(0.005, 2.0 / width) * sampleRate / 2));
        std::vector<double> prefix(length + 1, 0.0);
        for (std::size_t i = 0; i < length; ++i) {
            const double v = band[i].real();
            prefix[i + 1] = prefix[i] + v * v;
        }
        const double meanPower = prefix[length] / double(length);
        // Amplitude falls 60 dB (a factor 1000) in T60 seconds.
        const double rate = 3.0 * std::log(10.0) / (t60s[b] * sampleRate);
        for (std::size_t i = 0; i < length; ++i) {
            const std::size_t a = i > half ? i - half : 0;
            const std::size_t z = std::min(length, i + half + 1);
            const double local = (prefix[z] - prefix[a]) / double(z - a);
            const double flat = local > 0 ? std::sqrt(meanPower / local) : 0.0;
            ir[i] += band[i].real() * flat * std::exp(-rate * double(i));
        }
    }
    double energy = 0;
    for (double v : ir) energy += v * v;
    const double scale = energy > 0 ? std::sqrt(std::pow(10.0, config.gainDb / 10.0) / energy) : 0;
    for (double& v : ir) v *= scale;
    return ir;
}

RoomSimulator::RoomSimulator(const RoomConfig& config, int sampleRate, std::vector<double> ir)
    : ir_(std::move(ir)),
      latency_(std::size_t(std::llround(config.latencyMs * 1e-3 * std::max(sampleRate, 1)))),
      noiseRms_(config.noiseOn ? 32768.0 * std::pow(10.0, config.noiseDb / 20.0) : 0.0),
      noiseRng_(config.seed ^ 0x9e3779b9u), gauss_(0.0, 1.0), wet_(kBlock) {
    // The latency is a run of leading zeros of the response: exact, and the
    // extra partitions cost little.
    std::vector<double> delayed(latency_ + ir_.size(), 0.0);
    std::copy(ir_.begin(), ir_.end(), delayed.begin() + std::ptrdiff_t(latency_));
    convolver_ = std::make_unique<RoomConvolver>(delayed, kBlock);
}

RoomSimulator::~RoomSimulator() = default;

void RoomSimulator::process(const double* speaker, std::int16_t* microphone) {
    convolver_->process(speaker, wet_.data());
    for (std::size_t i = 0; i < kBlock; ++i) {
        double v = wet_[i];
        if (noiseRms_ > 0) v += noiseRms_ * gauss_(noiseRng_);
        v = std::clamp(std::nearbyint(v), -32768.0, 32767.0);
        microphone[i] = std::int16_t(v);
    }
}

} // namespace ravlon
