// A small radix-2 complex FFT for the simulated room's convolution. It is the
// room's private tool, kept apart from the analysis FFT so the two can change
// independently. Any thread; one instance per thread (it holds no scratch).
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace ravlon {

class RoomFft {
public:
    // size: a power of two >= 2; anything else raises ravlon::Exception.
    explicit RoomFft(std::size_t size);

    std::size_t size() const { return n_; }

    // In place, data.size() == size(). forward: e^{-i...}; inverse is unscaled.
    void forward(std::complex<double>* data) const { transform(data, false); }
    void inverse(std::complex<double>* data) const { transform(data, true); }

private:
    void transform(std::complex<double>* data, bool inverse) const;

    std::size_t n_;
    std::vector<std::complex<double>> twiddle_; // e^{-2 pi i k / n}, k < n/2
    std::vector<std::size_t> bitrev_;
};

} // namespace ravlon
