// TFFT (unit CFFT): turns one block of real samples into the power
// spectrum |X[k]|^2 of every bin, with a window function and the block's mean
// removed. X[k] = (1/WindowSize) * sum x[n] w[n] e^(+2 pi i k n / FFTSize).
//
// Ownership and lifetime: the owner (the main window's FFT1) holds one instance
// and uses it from one thread at a time. SetData copies the caller's samples
// into the component's own block, so the caller may reuse or free its array at
// once and a later GetPower never reads memory the caller has let go. GetPower
// hands out the component's own power array; it stays valid until the next
// SetData or size/window change.
//
// Laziness: a size change marks the tables stale (built before the next
// transform); Window and windowskew rebuild them at once. SetData marks the
// transform and the power stale; GetPower recomputes only what is stale. Any
// size or window change also marks the transform and the power stale, so a
// later GetPower never returns a spectrum computed with other settings.
//
// Invariant WindowSize <= FFTSize: the setters keep it except LogFFTSize and
// FFTSize, which may leave FFTSize < WindowSize for a moment (the analysis
// set-up sets FFTSize 16 and then the window size). A transform requested in
// that state raises EFFTError "FFT size (16) is smaller than the window size
// (192)" and leaves tables and results stale; nothing is computed.
//
// Speed: tables, the window scaled by 1/WindowSize and per-stage contiguous
// twiddles are computed once per size or window change (extended precision,
// stored as doubles). The transform is the radix-2 decimation-in-time FFT of
// the transform run in place on preallocated arrays; because the input is real,
// every butterfly group holds a conjugate-symmetric spectrum and only its lower
// half is computed (the upper half is its mirror). No allocation per block.
#pragma once

#include "core/base/errors.h"

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace ravlon {

// Errors of unit CFFT: out-of-range sizes, transforms with inconsistent sizes.
class EFFTError : public Exception {
public:
    using Exception::Exception;
};

// Window functions, by ordinal (the main window lists them in this order).
enum class TFFTWindow : int32_t {
    rectangle = 0,
    Bartlett = 1,
    Hamming = 2,
    Hanning = 3,
    Blackman = 4
};

// The unit's dynamic array of Double.
using tdoublearr = std::vector<double>;

class TFFT {
public:
    static constexpr int32_t MaxSize = 1048576; // 2^20
    static constexpr int32_t MinSize = 2;

    // LogFFTSize 8, Window Hamming, WindowSize 256, windowskew 0.5, results stale.
    TFFT();

    int32_t LogFFTSize() const { return logFFTSize_; }
    // Ignored when v > 20 or v < 2; otherwise FFTSize := 2^v. Raises nothing and
    // does not check WindowSize <= FFTSize.
    void SetLogFFTSize(int32_t v);

    int32_t FFTSize() const { return fftSize_; }
    // The smallest power of two >= v. v outside 2 .. 2^20 raises EFFTError
    // "FFT size out of range (v)" and changes nothing.
    void SetFFTSize(int32_t v);

    int32_t WindowSize() const { return windowSize_; }
    // v outside 2 .. 2^20 raises EFFTError "Window size out of range" and changes
    // nothing; otherwise WindowSize := v and FFTSize grows to hold it.
    void SetWindowSize(int32_t v);

    TFFTWindow Window() const { return window_; }
    // Stores w and rebuilds the tables at once (unless FFTSize < WindowSize).
    void SetWindow(TFFTWindow w);

    // Position of the window's peak as a fraction of its length (0.5: symmetric).
    double windowskew() const { return windowskew_; }
    // Stores x (0 < x < 1, else EFFTError "Window skew out of range" and no
    // change) and rebuilds the tables at once. For x != 0.5 the cosine windows
    // warp their angle with SkewAngle; Bartlett moves its peak to n = x*(M);
    // rectangle is unchanged.
    void Setwindowskew(double x);

    // Copies data into the component's block. If data.size() != WindowSize,
    // first SetFFTSize and then SetWindowSize are called with the length (an
    // empty block raises "FFT size out of range (0)"). Marks transform and power
    // stale. Allocates only when the block grows beyond every earlier one.
    void SetData(std::span<const double> data);

    // The power of every bin, FFTSize values, bin k at index k (the upper half
    // mirrors the lower). Computes what is stale. Raises EFFTError when no data
    // was handed over, when FFTSize < WindowSize, or when the data block is
    // longer than FFTSize (only after a size change following SetData).
    std::span<const double> GetPower();
    void GetPower(std::span<const double>& result) { result = GetPower(); }

    // Extra, for tests and tools: the complex bin X[k], 0 <= k < FFTSize,
    // after the transform (run if stale, same errors as GetPower).
    std::complex<double> GetBin(int32_t k);

    // Extra, for tests: the window array (FFTSize values, 0 from
    // WindowSize on), building the tables if they are stale and can be built.
    std::span<const double> WindowTable();

    bool RemoveMean() const { return removeMean_; }

private:
    void MarkStale();
    void BuildTables();
    void EnsureTables();
    void Transform();
    void ComputePower();
    long double WindowValue(int32_t n, int32_t m) const;

    int32_t logFFTSize_ = 0;
    int32_t fftSize_ = 0;
    int32_t windowSize_ = 0;
    TFFTWindow window_ = TFFTWindow::Hamming;
    double windowskew_ = 0.5;
    bool removeMean_ = true;

    bool tablesStale_ = true;
    bool transformStale_ = true;
    bool powerStale_ = true;

    // The last block handed to SetData (a copy: see the ownership note above).
    std::vector<double> data_;
    double dataSum_ = 0.0; // sum of data_, taken while copying
    bool haveData_ = false;

    // Tables (private state), FFTSize entries each.
    std::vector<double> cosTable_, sinTable_;
    std::vector<int32_t> bitRev_;
    std::vector<double> windowTable_;
    // Derived tables: the window times 1/WindowSize (so the scale costs nothing),
    // and the twiddles of stage half = h (h >= 4) for j = 0 .. h/2-1 at h/2 + j.
    std::vector<double> scaledWindow_;
    std::vector<double> twCos_, twSin_;

    // Work and result arrays, FFTSize entries each.
    std::vector<double> re_, im_, power_, scratch_;
};

namespace detail {
// For tests: true makes every TFFT use the portable 2-lane kernels even where
// the CPU offers the 4-lane (AVX2) ones. Call only while no transform runs.
void ForceGenericFFTKernels(bool on);
} // namespace detail

} // namespace ravlon
