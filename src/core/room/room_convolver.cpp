#include "core/room/room_convolver.h"

#include "core/base/errors.h"

#include <algorithm>

namespace ravlon {

RoomConvolver::RoomConvolver(const std::vector<double>& ir, std::size_t blockSize)
    : block_(blockSize), parts_(std::max<std::size_t>(1, (ir.size() + blockSize - 1) / blockSize)),
      fft_(2 * blockSize) {
    if (blockSize < 16 || (blockSize & (blockSize - 1)) != 0)
        throw Exception("Room block size must be a power of two >= 16");
    const std::size_t bins = block_ + 1;
    irSpectra_.assign(parts_ * bins, {});
    history_.assign(parts_ * bins, {});
    lastInput_.assign(block_, 0.0);
    work_.assign(2 * block_, {});
    acc_.assign(bins, {});
    for (std::size_t p = 0; p < parts_; ++p) {
        std::fill(work_.begin(), work_.end(), std::complex<double>{});
        for (std::size_t k = 0; k < block_; ++k) {
            const std::size_t i = p * block_ + k;
            if (i < ir.size()) work_[k] = ir[i];
        }
        fft_.forward(work_.data());
        std::copy_n(work_.begin(), bins, irSpectra_.begin() + std::ptrdiff_t(p * bins));
    }
}

void RoomConvolver::clear() {
    std::fill(history_.begin(), history_.end(), std::complex<double>{});
    std::fill(lastInput_.begin(), lastInput_.end(), 0.0);
}

void RoomConvolver::process(const double* in, double* out) {
    const std::size_t bins = block_ + 1;
    // Overlap-save: the transform sees the previous block followed by this one.
    for (std::size_t k = 0; k < block_; ++k) {
        work_[k] = lastInput_[k];
        work_[block_ + k] = in[k];
        lastInput_[k] = in[k];
    }
    fft_.forward(work_.data());
    newest_ = (newest_ + parts_ - 1) % parts_;
    std::copy_n(work_.begin(), bins, history_.begin() + std::ptrdiff_t(newest_ * bins));

    std::fill(acc_.begin(), acc_.end(), std::complex<double>{});
    for (std::size_t p = 0; p < parts_; ++p) {
        const std::complex<double>* h = &irSpectra_[p * bins];
        const std::complex<double>* x = &history_[((newest_ + p) % parts_) * bins];
        for (std::size_t b = 0; b < bins; ++b) {
            const double re = h[b].real() * x[b].real() - h[b].imag() * x[b].imag();
            const double im = h[b].real() * x[b].imag() + h[b].imag() * x[b].real();
            acc_[b] += std::complex<double>{re, im};
        }
    }
    // Real signal: rebuild the mirrored half before the inverse transform.
    for (std::size_t b = 0; b < bins; ++b) work_[b] = acc_[b];
    for (std::size_t b = 1; b < block_; ++b) work_[2 * block_ - b] = std::conj(acc_[b]);
    fft_.inverse(work_.data());
    const double scale = 1.0 / double(2 * block_);
    for (std::size_t k = 0; k < block_; ++k) out[k] = work_[block_ + k].real() * scale;
}

} // namespace ravlon
