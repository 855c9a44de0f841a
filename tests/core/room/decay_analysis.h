// Octave-band reverberation time of an impulse response for the room tests:
// a zero-phase band filter in the frequency domain with raised-cosine edges
// (1/6 octave wide, so the time response stays short), then the Schroeder
// backward integral and a least-squares line from -5 to -35 dB (T30).
#pragma once

#include "core/room/room_fft.h"

#include <cmath>
#include <complex>
#include <vector>

namespace ravlon::test {

inline double OctaveBandT30(const std::vector<double>& x, double centre, int rate) {
    std::size_t n = 2;
    while (n < 4 * x.size()) n <<= 1;
    std::vector<std::complex<double>> s(n);
    for (std::size_t i = 0; i < x.size(); ++i) s[i] = x[i];
    RoomFft fft(n);
    fft.forward(s.data());
    const double lo = std::log2(centre / std::sqrt(2.0)), hi = std::log2(centre * std::sqrt(2.0));
    const double w = 1.0 / 12.0; // half width of each edge, octaves
    auto edge = [w](double d) {  // 0 below -w, 1 above +w
        if (d <= -w) return 0.0;
        if (d >= w) return 1.0;
        return 0.5 - 0.5 * std::cos(M_PI * (d + w) / (2 * w));
    };
    for (std::size_t k = 0; k < n; ++k) {
        const double f = double(std::min(k, n - k)) * rate / double(n);
        const double g = f <= 0 ? 0.0 : edge(std::log2(f) - lo) * (1.0 - edge(std::log2(f) - hi));
        s[k] *= g;
    }
    fft.inverse(s.data());
    std::vector<double> e(x.size());
    double acc = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        acc += std::norm(s[i] / double(n));
        e[i] = acc;
    }
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    double m = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
        const double db = 10 * std::log10(e[i] / e[0]);
        if (db > -5) continue;
        if (db < -35) break;
        const double t = double(i) / rate;
        sx += t, sy += db, sxx += t * t, sxy += t * db;
        m += 1;
    }
    const double slope = (m * sxy - sx * sy) / (m * sxx - sx * sx);
    return -60.0 / slope;
}

} // namespace ravlon::test
