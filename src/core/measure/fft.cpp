#include "core/measure/fft.h"

#include "core/base/numtext.h"

#include <bit>
#include <cmath>
#include <string>

namespace ravlon {

namespace {

// 2*pi to the full precision of long double (extended precision on x86).
constexpr long double TwoPi = 6.283185307179586476925286766559005768L;
constexpr long double Pi = 3.141592653589793238462643383279502884L;

std::string FFTSizeMessage(long long v) {
    return "FFT size out of range (" + std::to_string(v) + ")";
}

bool ValidWindow(TFFTWindow w) {
    const auto o = static_cast<int32_t>(w);
    return o >= 0 && o <= 4;
}

} // namespace

TFFT::TFFT() {
    SetLogFFTSize(8);
    SetWindow(TFFTWindow::Hamming);
    SetWindowSize(256);
    MarkStale();
    removeMean_ = true;
    windowskew_ = 0.5;
}

void TFFT::MarkStale() {
    tablesStale_ = true;
    transformStale_ = true;
    powerStale_ = true;
}

void TFFT::SetLogFFTSize(int32_t v) {
    if (v > 20 || v < 2) return;
    logFFTSize_ = v;
    fftSize_ = int32_t{1} << v;
    MarkStale();
}

void TFFT::SetFFTSize(int32_t v) {
    if (v > MaxSize || v < MinSize) throw EFFTError(FFTSizeMessage(v));
    // Trunc(log2(v-1)) + 1, computed exactly: the bit length of v-1.
    const int32_t log = static_cast<int32_t>(std::bit_width(static_cast<uint32_t>(v - 1)));
    logFFTSize_ = log;
    fftSize_ = int32_t{1} << log;
    MarkStale();
}

void TFFT::SetWindowSize(int32_t v) {
    if (v > MaxSize || v < MinSize) throw EFFTError("Window size out of range");
    windowSize_ = v;
    if (fftSize_ < v) SetFFTSize(v);
    MarkStale();
}

void TFFT::SetWindow(TFFTWindow w) {
    if (!ValidWindow(w))
        throw EFFTError("Window function out of range (" + std::to_string(static_cast<int32_t>(w)) +
                        ")");
    window_ = w;
    MarkStale();
    BuildTables();
}

void TFFT::Setwindowskew(double x) {
    if (!(x > 0.0 && x < 1.0)) throw EFFTError("Window skew out of range");
    windowskew_ = x;
    MarkStale();
    BuildTables();
}

void TFFT::SetData(std::span<const double> data) {
    if (data.size() != static_cast<size_t>(windowSize_)) {
        if (data.size() > static_cast<size_t>(MaxSize))
            throw EFFTError(FFTSizeMessage(static_cast<long long>(data.size())));
        const auto len = static_cast<int32_t>(data.size());
        SetFFTSize(len);
        SetWindowSize(len);
    }
    // Copy and sum in one pass: the copy then costs about nothing beyond the
    // sum that removing the mean needs anyway.
    data_.resize(data.size());
    double* dst = data_.data();
    double sum = 0.0;
    for (size_t i = 0; i < data.size(); ++i) {
        dst[i] = data[i];
        sum += data[i];
    }
    dataSum_ = sum;
    haveData_ = true;
    transformStale_ = true;
    powerStale_ = true;
}

// w[n] for 0 <= n <= m = WindowSize-1, in extended precision.
long double TFFT::WindowValue(int32_t n, int32_t m) const {
    const long double ln = n;
    const long double lm = m;
    const long double theta = TwoPi * ln / lm;
    const bool skewed = windowskew_ != 0.5;
    // The warped angle for a skewed window (SkewAngle).
    auto phi = [&]() -> long double {
        return skewed ? static_cast<long double>(SkewAngle(windowskew_, static_cast<double>(theta)))
                      : theta;
    };
    long double w = 1.0L;
    switch (window_) {
    case TFFTWindow::rectangle:
        w = 1.0L;
        break;
    case TFFTWindow::Bartlett:
        if (!skewed) {
            w = (2 * static_cast<int64_t>(n) <= m) ? 2.0L * ln / lm : 2.0L - 2.0L * ln / lm;
        } else {
            const long double p = phi();
            w = p <= Pi ? p / Pi : 2.0L - p / Pi;
        }
        break;
    case TFFTWindow::Hamming:
        w = 0.54L - 0.46L * std::cos(phi());
        break;
    case TFFTWindow::Hanning:
        w = 0.5L * (1.0L - std::cos(phi()));
        break;
    case TFFTWindow::Blackman: {
        const long double p = phi();
        w = 0.42L - 0.5L * std::cos(p) + 0.08L * std::cos(2.0L * p);
        break;
    }
    }
    return w;
}

void TFFT::BuildTables() {
    if (fftSize_ < windowSize_) return; // tables stay stale
    const int32_t n = fftSize_;
    const auto un = static_cast<size_t>(n);
    cosTable_.resize(un);
    sinTable_.resize(un);
    bitRev_.resize(un);
    windowTable_.resize(un);
    scaledWindow_.resize(un);
    re_.resize(un);
    im_.resize(un);
    power_.resize(un);
    scratch_.resize(un);
    twCos_.resize(un / 2 + 1);
    twSin_.resize(un / 2 + 1);

    // cos and sin of 2 pi k / n for k <= n/4 in extended precision; the other
    // quadrants follow by symmetry (exactly, so the table is exactly symmetric).
    const int32_t q = n / 4;
    for (int32_t k = 0; k <= q; ++k) {
        const long double a = TwoPi * static_cast<long double>(k) / static_cast<long double>(n);
        // cos(pi/2) is 0 exactly; extended precision would leave about 1e-20.
        const auto c = 4 * k == n ? 0.0 : static_cast<double>(std::cos(a));
        const auto s = k == 0 ? 0.0 : static_cast<double>(std::sin(a));
        cosTable_[k] = c;
        sinTable_[k] = s;
        if (k > 0) {
            cosTable_[n - k] = c;
            sinTable_[n - k] = -s;
        }
        if (n >= 4 && k < q) {
            cosTable_[n / 2 - k] = -c;
            sinTable_[n / 2 - k] = s;
            if (k > 0) {
                cosTable_[n / 2 + k] = -c;
                sinTable_[n / 2 + k] = -s;
            }
        }
    }
    if (n == 2) {
        cosTable_[1] = -1.0;
        sinTable_[1] = 0.0;
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t b = n / 2, c = 1, r = 0;
        do {
            if (i & c) r |= b;
            b >>= 1;
            c <<= 1;
        } while (b != 0);
        bitRev_[i] = r;
    }
    const int32_t m = windowSize_ - 1;
    for (int32_t i = 0; i < n; ++i) {
        if (i < windowSize_) {
            const long double w = WindowValue(i, m);
            windowTable_[i] = static_cast<double>(w);
            scaledWindow_[i] = static_cast<double>(w / static_cast<long double>(windowSize_));
        } else {
            windowTable_[i] = 0.0;
            scaledWindow_[i] = 0.0;
        }
    }
    // Stage "half = h" uses cos/sin[j * step], step = n / (2h); contiguous per stage.
    for (int32_t h = 4; h < n; h *= 2) {
        const int32_t step = n / (2 * h);
        for (int32_t j = 0; j < h / 2; ++j) {
            twCos_[h / 2 + j] = cosTable_[j * step];
            twSin_[h / 2 + j] = sinTable_[j * step];
        }
    }
    tablesStale_ = false;
}

void TFFT::EnsureTables() {
    if (fftSize_ < windowSize_)
        throw EFFTError("FFT size (" + std::to_string(fftSize_) +
                        ") is smaller than the window size (" + std::to_string(windowSize_) + ")");
    if (tablesStale_) BuildTables();
}

std::span<const double> TFFT::WindowTable() {
    if (tablesStale_) BuildTables();
    return windowTable_;
}

namespace {

// --- Kernels -------------------------------------------------------------------
// Storage between stages: after the stage "half = h", every group of 2h points
// (at g) holds the spectrum Y[0 .. 2h-1] of its real sub-sequence, which is
// conjugate-symmetric, so only Y[0 .. h] is kept: real parts in re[g + m],
// imaginary parts in im[g + m]; Y[0] and Y[h] are real and their im entries are
// kept 0. The plain radix-2 butterfly, Y[j] = E[j] + W^j O[j] and
// Y[j + h] = E[j] - W^j O[j] (W = e^(+i pi / h)), is computed for j = 0 .. h/2;
// its second output is stored as its mirror Y[h - j] = conj(E[j] - W^j O[j]).

// First pass: gather the windowed samples in bit-reversed order and run the
// stages half = 1 and half = 2 at once. The four inputs of group g are
// v[r], v[r + n/2], v[r + n/4], v[r + 3n/4] with r = bitrev(g) (< n/4).
// Result: Y0 = a+b+c+d, Y1 = (a-b) + i(c-d), Y2 = (a+b)-(c+d).
template <class Value>
void FirstStages(double* re, double* im, const int32_t* bitRev, int32_t n, Value v) {
    const int32_t q4 = n / 4, h2 = n / 2, q34 = 3 * (n / 4);
    for (int32_t g = 0; g < n; g += 4) {
        const int32_t r = bitRev[g];
        const double a = v(r), b = v(r + h2), c = v(r + q4), d = v(r + q34);
        const double s1 = a + b, s2 = c + d;
        re[g] = s1 + s2;
        im[g] = 0.0;
        re[g + 1] = a - b;
        im[g + 1] = c - d;
        re[g + 2] = s1 - s2;
        im[g + 2] = 0.0;
    }
}

#if defined(__GNUC__)

// The 4-lane helpers are always inlined into functions compiled for AVX2, so
// the ABI note about passing AVX vectors does not concern them.
#pragma GCC diagnostic ignored "-Wpsabi"

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));

template <class Vec> [[gnu::always_inline]] inline Vec Load(const double* p) {
    Vec v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
template <class Vec> [[gnu::always_inline]] inline void Store(double* p, const Vec& v) {
    __builtin_memcpy(p, &v, sizeof v);
}
[[gnu::always_inline]] inline v2d Reverse(v2d v) {
    return __builtin_shufflevector(v, v, 1, 0);
}
[[gnu::always_inline]] inline v4d Reverse(const v4d& v) {
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}

// One stage half = h with vectors of V = sizeof(Vec)/8 doubles; needs h/2 >= V.
// twc/tws: the stage's twiddles for j = 0 .. h/2-1.
template <class Vec>
[[gnu::always_inline]] inline void StageVec(double* re, double* im, int32_t n, int32_t h,
                                            const double* twc, const double* tws) {
    constexpr int32_t V = sizeof(Vec) / sizeof(double);
    const int32_t h2 = h / 2;
    for (int32_t g = 0; g < n; g += 2 * h) {
        double* er = re + g;
        double* ei = im + g;
        const double* orr = re + g + h;
        const double* oi = im + g + h;
        for (int32_t j = 0; j < h2; j += V) {
            const Vec c = Load<Vec>(twc + j), s = Load<Vec>(tws + j);
            const Vec pr = Load<Vec>(orr + j), pi = Load<Vec>(oi + j);
            const Vec xr = Load<Vec>(er + j), xi = Load<Vec>(ei + j);
            const Vec tr = pr * c - pi * s;
            const Vec ti = pr * s + pi * c;
            Store(er + j, xr + tr);
            Store(ei + j, xi + ti);
            Store(er + h - j - (V - 1), Reverse(xr - tr));
            Store(ei + h - j - (V - 1), Reverse(ti - xi));
        }
        // j = h/2: E and O are real there and W^j = i.
        ei[h2] = orr[h2];
    }
}

// Power of bins 0 .. n/2 and the mirror of bins 1 .. n/2-1 onto n-1 .. n/2+1.
template <class Vec>
[[gnu::always_inline]] inline void PowerVec(const double* re, const double* im, double* p,
                                            int32_t n) {
    constexpr int32_t V = sizeof(Vec) / sizeof(double);
    const int32_t h = n / 2;
    int32_t k = 0;
    for (; k + V <= h; k += V) {
        const Vec r = Load<Vec>(re + k), i = Load<Vec>(im + k);
        Store(p + k, r * r + i * i);
    }
    for (; k <= h; ++k) p[k] = re[k] * re[k] + im[k] * im[k];
    k = 1;
    for (; k + V <= h; k += V) Store(p + n - k - (V - 1), Reverse(Load<Vec>(p + k)));
    for (; k < h; ++k) p[n - k] = p[k];
}

void StagesGeneric(double* re, double* im, int32_t n, const double* tc, const double* ts) {
    for (int32_t h = 4; h < n; h *= 2) StageVec<v2d>(re, im, n, h, tc + h / 2, ts + h / 2);
}
void PowerGeneric(const double* re, const double* im, double* p, int32_t n) {
    PowerVec<v2d>(re, im, p, n);
}

#if defined(__x86_64__) || defined(__i386__)
#define RAVLON_FFT_AVX2 1
// The same operations on 4 lanes (no FMA, so the results are bit for bit those
// of the 2-lane path).
[[gnu::target("avx2")]] void StagesAVX2(double* re, double* im, int32_t n, const double* tc,
                                        const double* ts) {
    if (n >= 8) StageVec<v2d>(re, im, n, 4, tc + 2, ts + 2);
    for (int32_t h = 8; h < n; h *= 2) StageVec<v4d>(re, im, n, h, tc + h / 2, ts + h / 2);
}
[[gnu::target("avx2")]] void PowerAVX2(const double* re, const double* im, double* p, int32_t n) {
    PowerVec<v4d>(re, im, p, n);
}
bool gForceGeneric = false;
bool HaveAVX2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have && !gForceGeneric;
}
#endif

#else // not GCC or clang: plain loops

void StagesGeneric(double* re, double* im, int32_t n, const double* tc, const double* ts) {
    for (int32_t h = 4; h < n; h *= 2) {
        const double* twc = tc + h / 2;
        const double* tws = ts + h / 2;
        const int32_t h2 = h / 2;
        for (int32_t g = 0; g < n; g += 2 * h) {
            double* er = re + g;
            double* ei = im + g;
            const double* orr = re + g + h;
            const double* oi = im + g + h;
            for (int32_t j = 0; j < h2; ++j) {
                const double tr = orr[j] * twc[j] - oi[j] * tws[j];
                const double ti = orr[j] * tws[j] + oi[j] * twc[j];
                const double xr = er[j], xi = ei[j];
                er[j] = xr + tr;
                ei[j] = xi + ti;
                er[h - j] = xr - tr;
                ei[h - j] = ti - xi;
            }
            ei[h2] = orr[h2];
        }
    }
}
void PowerGeneric(const double* re, const double* im, double* p, int32_t n) {
    const int32_t h = n / 2;
    for (int32_t k = 0; k <= h; ++k) p[k] = re[k] * re[k] + im[k] * im[k];
    for (int32_t k = 1; k < h; ++k) p[n - k] = p[k];
}

#endif

} // namespace

void detail::ForceGenericFFTKernels(bool on) {
#ifdef RAVLON_FFT_AVX2
    gForceGeneric = on;
#else
    (void)on;
#endif
}

void TFFT::Transform() {
    if (!haveData_) throw EFFTError("No data handed to the FFT");
    EnsureTables();
    const int32_t n = fftSize_;
    const auto len = static_cast<int32_t>(data_.size());
    if (len > n)
        throw EFFTError("Data block (" + std::to_string(len) + ") longer than the FFT size (" +
                        std::to_string(n) + ")");
    const double* x = data_.data();

    const double mean = removeMean_ ? dataSum_ / static_cast<double>(len) : 0.0;
    const double* w = scaledWindow_.data();
    double* re = re_.data();
    double* im = im_.data();

    if (n == 2) {
        const double a = len > 0 ? (x[0] - mean) * w[0] : 0.0;
        const double b = len > 1 ? (x[1] - mean) * w[1] : 0.0;
        re[0] = a + b;
        re[1] = a - b;
        im[0] = im[1] = 0.0;
        transformStale_ = false;
        return;
    }

    if (len == n) {
        FirstStages(re, im, bitRev_.data(), n, [=](int32_t i) { return (x[i] - mean) * w[i]; });
    } else {
        // Zero padding: the points from len on are 0, whatever the window holds.
        double* v = scratch_.data();
        for (int32_t i = 0; i < len; ++i) v[i] = (x[i] - mean) * w[i];
        for (int32_t i = len; i < n; ++i) v[i] = 0.0;
        FirstStages(re, im, bitRev_.data(), n, [=](int32_t i) { return v[i]; });
    }
#ifdef RAVLON_FFT_AVX2
    if (HaveAVX2())
        StagesAVX2(re, im, n, twCos_.data(), twSin_.data());
    else
#endif
        StagesGeneric(re, im, n, twCos_.data(), twSin_.data());
    transformStale_ = false;
}

void TFFT::ComputePower() {
#ifdef RAVLON_FFT_AVX2
    if (HaveAVX2())
        PowerAVX2(re_.data(), im_.data(), power_.data(), fftSize_);
    else
#endif
        PowerGeneric(re_.data(), im_.data(), power_.data(), fftSize_);
    powerStale_ = false;
}

std::span<const double> TFFT::GetPower() {
    if (powerStale_) {
        if (transformStale_) Transform();
        ComputePower();
    }
    return {power_.data(), static_cast<size_t>(fftSize_)};
}

std::complex<double> TFFT::GetBin(int32_t k) {
    if (transformStale_) Transform();
    if (k < 0 || k >= fftSize_) throw ERangeError("FFT bin index out of range");
    const int32_t h = fftSize_ / 2;
    if (k <= h) return {re_[k], im_[k]};
    return {re_[fftSize_ - k], -im_[fftSize_ - k]};
}

} // namespace ravlon
