// Uniformly partitioned overlap-save convolution of a block stream with a long
// impulse response, so a 2-3 s room response runs in real time at 48 kHz.
// Every block of blockSize input samples yields the blockSize output samples
// of the same instants (no added delay). All memory is allocated by the
// constructor; process() allocates nothing. One thread at a time.
#pragma once

#include "core/room/room_fft.h"

#include <complex>
#include <cstddef>
#include <vector>

namespace ravlon {

class RoomConvolver {
public:
    // blockSize: a power of two >= 16; ir may be empty (the output is silence).
    RoomConvolver(const std::vector<double>& ir, std::size_t blockSize);

    std::size_t blockSize() const { return block_; }

    // in and out hold blockSize() samples each; they may not overlap.
    void process(const double* in, double* out);

    // Forgets the input history (the room falls silent at once).
    void clear();

private:
    std::size_t block_;
    std::size_t parts_;
    RoomFft fft_;
    std::vector<std::complex<double>> irSpectra_; // parts_ x (block_ + 1) bins
    std::vector<std::complex<double>> history_;   // parts_ x (block_ + 1), ring
    std::size_t newest_ = 0;                      // ring slot of the newest input spectrum
    std::vector<double> lastInput_;               // previous block, the overlap half
    std::vector<std::complex<double>> work_;      // 2 * block_
    std::vector<std::complex<double>> acc_;       // block_ + 1
};

} // namespace ravlon
