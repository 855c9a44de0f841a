#include "core/room/room_fft.h"

#include "core/base/errors.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace ravlon {

RoomFft::RoomFft(std::size_t size) : n_(size) {
    if (size < 2 || (size & (size - 1)) != 0)
        throw Exception("Room FFT size must be a power of two");
    twiddle_.resize(n_ / 2);
    for (std::size_t k = 0; k < n_ / 2; ++k) {
        const double a = -2.0 * std::numbers::pi * double(k) / double(n_);
        twiddle_[k] = {std::cos(a), std::sin(a)};
    }
    bitrev_.resize(n_);
    std::size_t bits = 0;
    while ((std::size_t(1) << bits) < n_) ++bits;
    for (std::size_t i = 0; i < n_; ++i) {
        std::size_t r = 0;
        for (std::size_t b = 0; b < bits; ++b)
            if (i & (std::size_t(1) << b)) r |= std::size_t(1) << (bits - 1 - b);
        bitrev_[i] = r;
    }
}

void RoomFft::transform(std::complex<double>* data, bool inverse) const {
    for (std::size_t i = 0; i < n_; ++i)
        if (i < bitrev_[i]) std::swap(data[i], data[bitrev_[i]]);
    for (std::size_t len = 2; len <= n_; len <<= 1) {
        const std::size_t half = len / 2;
        const std::size_t step = n_ / len;
        for (std::size_t start = 0; start < n_; start += len) {
            for (std::size_t k = 0; k < half; ++k) {
                const std::complex<double> w = twiddle_[k * step];
                const double wr = w.real();
                const double wi = inverse ? -w.imag() : w.imag();
                const std::complex<double> x = data[start + k + half];
                const std::complex<double> t{wr * x.real() - wi * x.imag(),
                                             wr * x.imag() + wi * x.real()};
                data[start + k + half] = data[start + k] - t;
                data[start + k] += t;
            }
        }
    }
}

} // namespace ravlon
